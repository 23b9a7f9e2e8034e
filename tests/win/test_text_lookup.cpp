// Text lookup by language against the program's real string table.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/shared_record.h"
#include "settings/text_lookup.h"

namespace {

class TextLookup : public ::testing::Test {
protected:
    void SetUp() override { saved_ = Settings().language; }
    void TearDown() override { Settings().language = saved_; }
    int saved_ = 0;
};

TEST_F(TextLookup, LanguageZeroIsGermanAndAnyOtherValueEnglish) {
    Settings().language = 0;
    EXPECT_STREQ(LoadText(1006), "Sie haben keine Rufnummer eingetragen.");
    Settings().language = 1;
    EXPECT_STREQ(LoadText(1006), "Please define a call number.");
    Settings().language = 2;
    EXPECT_STREQ(LoadText(1006), "Please define a call number.");
    Settings().language = -1;
    EXPECT_STREQ(LoadText(2030), "Stop");
    Settings().language = 0;
    EXPECT_STREQ(LoadText(2030), "Stopp");
}

TEST_F(TextLookup, SingleByteUmlautsReachTheCaller) {
    Settings().language = 0;
    EXPECT_STREQ(LoadText(2001), "Rufausl\xF6sung");
    EXPECT_STREQ(LoadText(1000), "M\xF6" "chten Sie Cribwatch wirklich beenden ?");
}

TEST_F(TextLookup, MissingIdentifiersGiveTheEmptyText) {
    Settings().language = 0;
    EXPECT_STREQ(LoadText(2031), "");
    Settings().language = 1;
    EXPECT_STREQ(LoadText(2031), "");
    EXPECT_STREQ(LoadText(60000), "");
}

TEST_F(TextLookup, OneSharedBufferThatTheNextCallOverwrites) {
    Settings().language = 1;
    const char* first = LoadText(2009);
    EXPECT_STREQ(first, "Help");
    const char* second = LoadText(2011);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "Exit");
}

TEST_F(TextLookup, ProfileNamesHaveNoLanguageOffset) {
    Settings().language = 1;
    char name[64];
    LoadPlainText(50000, name, sizeof name);
    EXPECT_STREQ(name, "Settings");
    LoadPlainText(50006, name, sizeof name);
    EXPECT_STREQ(name, "Reaction");
    char tiny[4];
    LoadPlainText(50003, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "Cal");  // cut to the buffer
    LoadPlainText(50003, name, 0);  // no room: nothing written, no crash
}

}  // namespace
