// The capture error message: names of the wave result codes and the text
// that carries the name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/placeholder.h"
#include "monitor/capture_error.h"

TEST(CaptureErrorName, KnownCodes) {
    EXPECT_STREQ(CaptureErrorName(2), "MMSYSERR_BADDEVICEID");
    EXPECT_STREQ(CaptureErrorName(4), "MMSYSERR_ALLOCATED");
    EXPECT_STREQ(CaptureErrorName(5), "MMSYSERR_INVALHANDLE");
    EXPECT_STREQ(CaptureErrorName(6), "MMSYSERR_NODRIVER");
    EXPECT_STREQ(CaptureErrorName(7), "MMSYSERR_NOMEM");
    EXPECT_STREQ(CaptureErrorName(32), "WAVERR_BADFORMAT");
    EXPECT_STREQ(CaptureErrorName(33), "WAVERR_STILLPLAYING");
}

TEST(CaptureErrorName, EveryOtherCodeIsUnknown) {
    for (unsigned code : {0u, 1u, 3u, 8u, 10u, 11u, 12u, 31u, 34u, 35u, 0xFFFFFFFFu})
        EXPECT_STREQ(CaptureErrorName(code), "UNKNOWN") << code;
}

namespace {
std::string Format(const char* format, const char* name, std::size_t size = 256) {
    char out[512];
    std::memset(out, '#', sizeof out);
    const std::size_t n = FillPlaceholder(out, size, format, name);
    EXPECT_EQ(n, std::strlen(out));
    EXPECT_LT(n, size);
    if (size < sizeof out) {
        EXPECT_EQ(out[size], '#') << "written past the buffer";
    }
    return out;
}
}  // namespace

TEST(CaptureErrorText, NameTakesThePlaceholder) {
    EXPECT_EQ(Format("Recording failed: %s.", "WAVERR_BADFORMAT"), "Recording failed: WAVERR_BADFORMAT.");
    EXPECT_EQ(Format("%s", "UNKNOWN"), "UNKNOWN");
}

TEST(CaptureErrorText, OtherPlaceholdersAreNotInterpreted) {
    EXPECT_EQ(Format("%d %s %s %n 100%%", "X"), "%d X %s %n 100%");
    EXPECT_EQ(Format("trailing %", "X"), "trailing %");
}

TEST(CaptureErrorText, TruncatedToTheBuffer) {
    const std::string longName(400, 'N');
    const std::string text = Format("Error %s", longName.c_str(), 256);
    EXPECT_EQ(text.size(), 255u);
    EXPECT_EQ(text.substr(0, 6), "Error ");
}

TEST(CaptureErrorText, MissingPiecesAreHarmless) {
    EXPECT_EQ(Format(nullptr, "X"), "");
    EXPECT_EQ(Format("a %s b", nullptr), "a  b");
    char one[1] = {'#'};
    EXPECT_EQ(FillPlaceholder(one, 1, "abc", "X"), 0u);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(FillPlaceholder(nullptr, 10, "abc", "X"), 0u);
}
