// What the dialler sends: softphone buttons, the modem's dial text, port names.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "calling/dial_sequence.h"

namespace {

std::vector<int> ButtonsFor(const char* number) {
    std::vector<int> ids;
    PressSoftPhoneButtons(
        number, [](int id, void* context) { static_cast<std::vector<int>*>(context)->push_back(id); },
        &ids);
    return ids;
}

TEST(SoftPhoneButtons, EveryDigitInOrderThenTheDialButtonOthersSkipped) {
    std::vector<int> expected;
    for (char digit : std::string("1234567890")) expected.push_back(SoftPhoneDigitButton(digit));
    expected.push_back(kSoftPhoneDialButton);
    EXPECT_EQ(expected, ButtonsFor("12-34 5(6)7/8+9*0"));
}

TEST(SoftPhoneButtons, APlaceholderPressesOnlyTheDialButton) {
    const std::vector<int> dialOnly = {kSoftPhoneDialButton};
    EXPECT_EQ(dialOnly, ButtonsFor("?"));
    EXPECT_EQ(dialOnly, ButtonsFor(""));
    EXPECT_EQ(dialOnly, ButtonsFor(nullptr));
    EXPECT_EQ(dialOnly, ButtonsFor("+*#/ -()abc\x80\xff"));
}

TEST(SoftPhoneButtons, DigitButtonOfEachCharacter) {
    std::set<int> buttons;
    for (int c = -128; c < 128; ++c) {
        const int id = SoftPhoneDigitButton(static_cast<char>(c));
        if (c >= '1' && c <= '9') {
            EXPECT_EQ(kSoftPhoneFirstDigitButton + (c - '1'), id);
        } else if (c == '0') {
            EXPECT_EQ(kSoftPhoneZeroButton, id);
        } else {
            EXPECT_EQ(0, id) << "character " << c;
        }
        if (id != 0) buttons.insert(id);
    }
    // Ten buttons of their own, none of them the dial button or the number box.
    EXPECT_EQ(10u, buttons.size());
    EXPECT_EQ(0u, buttons.count(kSoftPhoneDialButton) + buttons.count(kSoftPhoneNumberBox));
}

TEST(ModemDial, CommandBlankNumberCarriageReturn) {
    char out[kModemDialBufferSize];
    const std::size_t n = FormatModemDial("ATD", "555", out, sizeof out);
    ASSERT_EQ(8u, n);
    EXPECT_EQ(std::string("ATD 555\r"), std::string(out, n));
    EXPECT_EQ('\0', out[8]);
}

TEST(ModemDial, EmptyOrMissingTexts) {
    char out[kModemDialBufferSize];
    EXPECT_EQ(2u, FormatModemDial("", "", out, sizeof out));
    EXPECT_STREQ(" \r", out);
    EXPECT_EQ(5u, FormatModemDial(nullptr, "123", out, sizeof out));
    EXPECT_STREQ(" 123\r", out);
    EXPECT_EQ(6u, FormatModemDial("ATDT", nullptr, out, sizeof out));
    EXPECT_STREQ("ATDT \r", out);
}

TEST(ModemDial, TooLongTextIsCutAndStillEndsTheCommand) {
    const std::string command(400, 'C');
    const std::string number(400, '9');
    char out[kModemDialBufferSize + 8];
    std::memset(out, 'z', sizeof out);
    const std::size_t n = FormatModemDial(command.c_str(), number.c_str(), out, kModemDialBufferSize);
    ASSERT_EQ(511u, n);
    EXPECT_EQ('\r', out[510]);
    EXPECT_EQ('\0', out[511]);
    EXPECT_EQ('z', out[512]);  // nothing written past the buffer
    EXPECT_EQ(command + " " + std::string(109, '9') + "\r", std::string(out));
}

TEST(ModemDial, TinyBuffers) {
    char out[4] = {'z', 'z', 'z', 'z'};
    EXPECT_EQ(0u, FormatModemDial("ATD", "555", out, 0));
    EXPECT_EQ('z', out[0]);
    EXPECT_EQ(0u, FormatModemDial("ATD", "555", out, 1));
    EXPECT_EQ('\0', out[0]);
    EXPECT_EQ(1u, FormatModemDial("ATD", "555", out, 2));
    EXPECT_STREQ("\r", out);
    EXPECT_EQ(3u, FormatModemDial("ATD", "555", out, 4));
    EXPECT_STREQ("AT\r", out);
    EXPECT_EQ(0u, FormatModemDial("ATD", "555", nullptr, 100));
}

TEST(ModemPortName, AnyPortNumberFits) {
    char out[kPortNameSize];
    EXPECT_EQ(4u, FormatModemPortName(3, out, sizeof out));
    EXPECT_STREQ("COM3", out);
    EXPECT_EQ(4u, FormatModemPortName(0, out, sizeof out));
    EXPECT_STREQ("COM0", out);
    FormatModemPortName(INT_MIN, out, sizeof out);
    EXPECT_STREQ("COM-2147483648", out);
    FormatModemPortName(INT_MAX, out, sizeof out);
    EXPECT_STREQ("COM2147483647", out);
    char small[5];
    EXPECT_EQ(0u, FormatModemPortName(12, small, sizeof small));
    EXPECT_STREQ("", small);
    EXPECT_EQ(4u, FormatModemPortName(12 - 3, small, sizeof small));
    EXPECT_STREQ("COM9", small);
}

TEST(ModemBaudRates, TheListedRatesInAscendingOrderAndNoOther) {
    for (std::size_t i = 0; i < kModemBaudRateCount; ++i) {
        const int rate = kModemBaudRates[i];
        EXPECT_TRUE(IsModemBaudRate(rate)) << rate;
        for (int other : {rate - 1, rate + 1, -rate}) EXPECT_FALSE(IsModemBaudRate(other)) << other;
        if (i == 0) continue;
        const int before = kModemBaudRates[i - 1];
        EXPECT_LT(before, rate);
        EXPECT_FALSE(IsModemBaudRate(before + (rate - before) / 2)) << "between " << before;
    }
    // Common rates that are not offered, and the extremes.
    for (int rate : {0, 28800, 230400, INT_MAX, INT_MIN}) {
        EXPECT_FALSE(IsModemBaudRate(rate)) << rate;
    }
}

// What goes to the telephony app: "tel:", a leading "+" and the digits.
TEST(TelLink, DigitsAndALeadingPlusOnlyAndNothingThatDoesNotFit) {
    char out[kTelLinkBytes];
    EXPECT_TRUE(FormatTelLink(" +49 (30) 123-45/6?", out, sizeof out));
    EXPECT_STREQ(out, "tel:+4930123456");
    EXPECT_TRUE(FormatTelLink("0049+30#*", out, sizeof out));
    EXPECT_STREQ(out, "tel:004930");
    for (const char* none : {"?", "", "+", "abc"}) {
        EXPECT_FALSE(FormatTelLink(none, out, sizeof out)) << none;
        EXPECT_STREQ(out, "");
    }
    EXPECT_FALSE(FormatTelLink(nullptr, out, sizeof out));
    // The longest number the connection test takes fits; one digit more than the room does not.
    const std::string longest(kDialNumberBytes - 1, '7');
    EXPECT_TRUE(FormatTelLink(longest.c_str(), out, sizeof out));
    EXPECT_EQ("tel:" + longest, out);
    char small[8];
    EXPECT_FALSE(FormatTelLink("1234", small, sizeof small));
    EXPECT_STREQ(small, "");
    EXPECT_TRUE(FormatTelLink("123", small, sizeof small));
}

}  // namespace
