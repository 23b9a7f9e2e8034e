#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "settings/settings_parse.h"

namespace {

MonitorSettings Zeroed() {
    MonitorSettings s;
    std::memset(&s, 0, sizeof s);
    return s;
}

TEST(ProfileInt, TakesSignAndDigitsUpToTheFirstOtherCharacter) {
    EXPECT_EQ(ParseProfileInt("42"), 42);
    EXPECT_EQ(ParseProfileInt("  \t-17abc"), -17);
    EXPECT_EQ(ParseProfileInt("+8"), 8);
    EXPECT_EQ(ParseProfileInt("12 34"), 12);
    EXPECT_EQ(ParseProfileInt("abc"), 0);
    EXPECT_EQ(ParseProfileInt(""), 0);
    EXPECT_EQ(ParseProfileInt("-"), 0);
    EXPECT_EQ(ParseProfileInt(nullptr), 0);
}

TEST(ProfileInt, ClampsBeyondTheIntRange) {
    EXPECT_EQ(ParseProfileInt("2147483647"), INT_MAX);
    EXPECT_EQ(ParseProfileInt("2147483648"), INT_MAX);
    EXPECT_EQ(ParseProfileInt("99999999999999999999999999"), INT_MAX);
    EXPECT_EQ(ParseProfileInt("-2147483648"), INT_MIN);
    EXPECT_EQ(ParseProfileInt("-2147483649"), INT_MIN);
    EXPECT_EQ(ParseProfileInt(std::string(2000, '9').c_str()), INT_MAX);
    EXPECT_EQ(ParseProfileInt(("-" + std::string(2000, '9')).c_str()), INT_MIN);
}

TEST(TrimTrailingBlanks, RemovesSpacesOnlyFromTheEnd) {
    char a[] = "0301  ";
    TrimTrailingBlanks(a);
    EXPECT_STREQ(a, "0301");
    char b[] = "   ";
    TrimTrailingBlanks(b);
    EXPECT_STREQ(b, "");
    char c[] = " 12\t";
    TrimTrailingBlanks(c);
    EXPECT_STREQ(c, " 12\t");
}

TEST(SplitFields, SkipsLeadingCommasAndRunsOfCommas) {
    ProfileFields f;
    SplitFields(",5,10", f);
    ASSERT_EQ(f.count, 2);
    EXPECT_STREQ(f.field[0], "5");
    EXPECT_STREQ(f.field[1], "10");

    SplitFields("a,,,b,,c", f);
    ASSERT_EQ(f.count, 3);
    EXPECT_STREQ(f.field[0], "a");
    EXPECT_STREQ(f.field[1], "b");
    EXPECT_STREQ(f.field[2], "c");

    SplitFields(",,,,", f);
    EXPECT_EQ(f.count, 0);
    SplitFields("", f);
    EXPECT_EQ(f.count, 0);

    SplitFields(" 1 , 2 ", f);
    ASSERT_EQ(f.count, 2);
    EXPECT_STREQ(f.field[0], " 1 ");
    EXPECT_STREQ(f.field[1], " 2 ");
}

TEST(SplitFields, KeepsOnlyThreeFieldsAndCutsTheValueToTheWorkingBuffer) {
    ProfileFields f;
    SplitFields("1,2,3,4,5", f);
    ASSERT_EQ(f.count, 3);
    EXPECT_STREQ(f.field[2], "3");

    const std::string huge(2000, 'x');
    SplitFields(huge.c_str(), f);
    ASSERT_EQ(f.count, 1);
    EXPECT_EQ(std::strlen(f.field[0]), kProfileBufferSize - 1);
}

TEST(CallParams, NumberIsTrimmedAndMissingFieldsStayAsTheyWere) {
    MonitorSettings s = Zeroed();
    ApplyCallParams(s, "0301234  ,2,4");
    EXPECT_STREQ(s.callNumber, "0301234");
    EXPECT_EQ(s.callingDelay, 2);
    EXPECT_EQ(s.maxCalls, 4);

    s = Zeroed();
    ApplyCallParams(s, ",5,10");
    EXPECT_STREQ(s.callNumber, "5");
    EXPECT_EQ(s.callingDelay, 10);
    EXPECT_EQ(s.maxCalls, 0);

    s = Zeroed();
    ApplyCallParams(s, "0171");
    EXPECT_STREQ(s.callNumber, "0171");
    EXPECT_EQ(s.callingDelay, 0);
    EXPECT_EQ(s.maxCalls, 0);

    s = Zeroed();
    ApplyCallParams(s, " ,1,10");  // the default
    EXPECT_STREQ(s.callNumber, "");
    EXPECT_EQ(s.callingDelay, 1);
    EXPECT_EQ(s.maxCalls, 10);
}

// A pasted number with commas would be read back as number, delay and maximum.
TEST(CallParams, ANumberWithoutItsCommasReadsBackAsItWasStored) {
    MonitorSettings s = {};
    std::strcpy(s.callNumber, ",030,1234,1,10,");
    s.callingDelay = 5;
    s.maxCalls = 7;
    RemoveCommas(s.callNumber);
    EXPECT_STREQ(s.callNumber, "0301234110");
    char stored[kProfileBufferSize];
    FormatCallParams(stored, sizeof stored, s);
    MonitorSettings back = {};
    ApplyCallParams(back, stored);
    EXPECT_STREQ(back.callNumber, s.callNumber);
    EXPECT_EQ(back.callingDelay, 5);
    EXPECT_EQ(back.maxCalls, 7);
}

TEST(CallParams, OverlongNumberIsCutToItsField) {
    MonitorSettings s = Zeroed();
    std::memset(s.modemCommand, 'M', sizeof s.modemCommand - 1);
    const std::string value = std::string(2000, '7') + ",3,4";
    ApplyCallParams(s, value.c_str());
    EXPECT_EQ(std::strlen(s.callNumber), sizeof s.callNumber - 1);
    // The fields behind the cut are gone with the rest of the 2000 characters.
    EXPECT_EQ(s.callingDelay, 0);
    EXPECT_EQ(std::strlen(s.modemCommand), sizeof s.modemCommand - 1);  // neighbour untouched
}

TEST(Reaction, PartialValuesSetOnlyTheirFields) {
    MonitorSettings s = Zeroed();
    ApplyReaction(s, "80");
    EXPECT_EQ(s.sensitivity, 80);
    EXPECT_EQ(s.micThreshold, 0);
    EXPECT_EQ(s.callThreshold, 0);
    ApplyReaction(s, "75,50,30");
    EXPECT_EQ(s.sensitivity, 75);
    EXPECT_EQ(s.micThreshold, 50);
    EXPECT_EQ(s.callThreshold, 30);
    ApplyReaction(s, "x,-5,99999999999");
    EXPECT_EQ(s.sensitivity, 0);
    EXPECT_EQ(s.micThreshold, -5);
    EXPECT_EQ(s.callThreshold, INT_MAX);
}

TEST(Modem, ExtraFieldsAreIgnoredAndACommaCutsTheCommand) {
    MonitorSettings s = Zeroed();
    ApplyModem(s, "2,9600,ATDT,extra");
    EXPECT_EQ(s.comPort, 2);
    EXPECT_EQ(s.baudRate, 9600);
    EXPECT_STREQ(s.modemCommand, "ATDT");

    s = Zeroed();
    ApplyModem(s, ("1,115200," + std::string(600, 'A')).c_str());
    EXPECT_EQ(std::strlen(s.modemCommand), sizeof s.modemCommand - 1);
}

TEST(Formats, StoredTextsReadBackToTheSameRecord) {
    MonitorSettings s = Zeroed();
    std::strcpy(s.callNumber, "?");
    s.callingDelay = 5;
    s.maxCalls = 0;
    s.sensitivity = 80;
    s.micThreshold = 40;
    s.callThreshold = 20;
    s.comPort = 3;
    s.baudRate = 19200;
    std::strcpy(s.modemCommand, "ATD");
    char buf[kProfileBufferSize];
    FormatCallParams(buf, sizeof buf, s);
    EXPECT_STREQ(buf, "?,5,0");
    FormatReaction(buf, sizeof buf, s);
    EXPECT_STREQ(buf, "80,40,20");
    FormatModem(buf, sizeof buf, s);
    EXPECT_STREQ(buf, "3,19200,ATD");
    FormatInt(buf, sizeof buf, INT_MIN);
    EXPECT_STREQ(buf, "-2147483648");

    MonitorSettings back = Zeroed();
    FormatCallParams(buf, sizeof buf, s);
    ApplyCallParams(back, buf);
    EXPECT_STREQ(back.callNumber, "?");
    EXPECT_EQ(back.callingDelay, 5);
    EXPECT_EQ(back.maxCalls, 0);
}

TEST(Formats, UnterminatedFieldsDoNotOverrun) {
    MonitorSettings s = Zeroed();
    std::memset(s.callNumber, '1', sizeof s.callNumber);      // no terminator
    std::memset(s.modemCommand, 'A', sizeof s.modemCommand);  // no terminator
    char buf[kProfileBufferSize];
    FormatCallParams(buf, sizeof buf, s);
    EXPECT_EQ(std::string(buf), std::string(sizeof s.callNumber - 1, '1') + ",0,0");
    FormatModem(buf, sizeof buf, s);
    EXPECT_EQ(std::string(buf), "0,0," + std::string(sizeof s.modemCommand - 1, 'A'));
}

TEST(CopyField, StopsAtTheNulOrOneShortOfTheFieldSize) {
    const char full[4] = {'a', 'b', 'c', 'd'};  // no terminator
    char out[4];
    EXPECT_STREQ(CopyField(out, full), "abc");
    const char shorter[4] = {'a', '\0', 'c', 'd'};
    EXPECT_STREQ(CopyField(out, shorter), "a");
}

TEST(Formats, DefaultSoftPhonePath) {
    char buf[kProfileBufferSize];
    FormatDefaultSoftPhonePath(buf, sizeof buf, "C:\\Program Files");
    EXPECT_STREQ(buf, "C:\\Program Files\\1&1\\1&1 SoftPhone\\ipphone.exe");
    char small[20];
    FormatDefaultSoftPhonePath(small, sizeof small, "C:\\Program Files");
    EXPECT_EQ(std::strlen(small), sizeof small - 1);
}

TEST(TextLookup, LanguageOffset) {
    EXPECT_EQ(TextIdForLanguage(1006, 0), 1006u);
    EXPECT_EQ(TextIdForLanguage(1006, 1), 11006u);
    EXPECT_EQ(TextIdForLanguage(1006, 2), 11006u);
    EXPECT_EQ(TextIdForLanguage(1006, -1), 11006u);
}

}  // namespace
