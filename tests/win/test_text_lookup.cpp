// Text lookup by language against the program's real string table.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "base/shared_record.h"
#include "res/resource.h"
#include "settings/text_lookup.h"

namespace {

std::string Resource(unsigned id) {
    char text[512];
    const int n = ::LoadStringA(::GetModuleHandleA(nullptr), id, text, sizeof text);
    return std::string(text, n > 0 ? n : 0);
}

class TextLookup : public ::testing::Test {
protected:
    void SetUp() override { saved = Settings().language; }
    void TearDown() override { Settings().language = saved; }
    int saved = 0;
};

TEST_F(TextLookup, LanguageZeroIsGermanAndAnyOtherValueEnglish) {
    for (unsigned id : {IDS_NO_CALL_NUMBER, IDS_STOP, IDS_CALLING}) {
        Settings().language = 0;
        EXPECT_EQ(Resource(id), LoadText(id));
        for (int language : {1, 2, -1}) {
            Settings().language = language;
            EXPECT_EQ(Resource(id + IDS_ENGLISH_OFFSET), LoadText(id)) << language;
        }
        EXPECT_NE(Resource(id), Resource(id + IDS_ENGLISH_OFFSET)) << id;
    }
}

TEST_F(TextLookup, MissingIdentifiersGiveTheEmptyText) {
    for (int language : {0, 1}) {
        Settings().language = language;
        EXPECT_STREQ(LoadText(2031), "");  // the gap between the labels
        EXPECT_STREQ(LoadText(60000), "");
    }
}

TEST_F(TextLookup, OneSharedBufferThatTheNextCallOverwrites) {
    Settings().language = 1;
    const char* first = LoadText(IDS_HELP);
    EXPECT_EQ(Resource(IDS_HELP + IDS_ENGLISH_OFFSET), first);
    const char* second = LoadText(IDS_EXIT);
    EXPECT_EQ(first, second);
    EXPECT_EQ(Resource(IDS_EXIT + IDS_ENGLISH_OFFSET), first);
}

TEST_F(TextLookup, ProfileNamesHaveNoLanguageOffset) {
    Settings().language = 1;
    char name[64];
    LoadPlainText(IDS_PROFILE_SECTION, name, sizeof name);
    EXPECT_STREQ(name, "Settings");
    LoadPlainText(IDS_KEY_REACTION, name, sizeof name);
    EXPECT_STREQ(name, "Reaction");
    char tiny[4];
    LoadPlainText(IDS_KEY_CALLPARAMS, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "Cal");  // cut to the buffer
    LoadPlainText(IDS_KEY_CALLPARAMS, name, 0);  // no room: nothing written, no crash
}

}  // namespace
