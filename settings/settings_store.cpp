#include "settings/settings_store.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "base/shared_record.h"
#include "res/resource.h"
#include "settings/profile.h"
#include "settings/settings_parse.h"
#include "settings/text_lookup.h"

#ifndef CSIDL_PROGRAM_FILESX86
#define CSIDL_PROGRAM_FILESX86 0x002a
#endif

namespace {

struct ProfileName {
    char text[64];
    explicit ProfileName(unsigned id) { LoadPlainText(id, text, sizeof text); }
};

void ReadKey(unsigned keyId, const char* defaultText, char* out, std::size_t size) {
    ProfileName section(IDS_PROFILE_SECTION);
    ProfileName key(keyId);
    ProfileGetText(section.text, key.text, defaultText, out, size);
}

// The folder programs are installed in, without a trailing backslash; for a
// 32-bit program on 64-bit Windows (and for the 64-bit build) the 32-bit one.
void ProgramFolder(char* out, std::size_t size) {
    char path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, SHGFP_TYPE_CURRENT, path)) &&
        FAILED(::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, path)))
        CopyTruncated(path, sizeof path, "C:\\Program Files");
    path[MAX_PATH - 1] = '\0';
    std::size_t n = std::strlen(path);
    while (n > 0 && path[n - 1] == '\\') path[--n] = '\0';
    CopyTruncated(out, size, path);
}

}  // namespace

void WriteSettingsKey(unsigned keyId) {
    const MonitorSettings& s = Settings();
    char value[kProfileBufferSize];
    switch (keyId) {
    case IDS_KEY_LANGUAGE: FormatInt(value, sizeof value, s.language); break;
    case IDS_KEY_CONNECT: FormatInt(value, sizeof value, s.connectionType); break;
    case IDS_KEY_CALLPARAMS: FormatCallParams(value, sizeof value, s); break;
    case IDS_KEY_SOFTPHONE: CopyTruncated(value, sizeof s.softPhonePath, s.softPhonePath); break;
    case IDS_KEY_LOGGING: FormatInt(value, sizeof value, s.logging); break;
    case IDS_KEY_REACTION: FormatReaction(value, sizeof value, s); break;
    case IDS_KEY_MODEM: FormatModem(value, sizeof value, s); break;
    default: return;
    }
    ProfileName section(IDS_PROFILE_SECTION);
    ProfileName key(keyId);
    ProfileWriteText(section.text, key.text, value);
}

void LoadSettings(HWND owner, LanguageQuestion askLanguage) {
    MonitorSettings& s = Settings();
    char work[kProfileBufferSize];

    ReadKey(IDS_KEY_LANGUAGE, "-1", work, sizeof work);
    int language = ParseProfileInt(work);
    if (language < 0) {
        if (askLanguage) askLanguage(owner);
    } else {
        s.language = language;
    }

    ReadKey(IDS_KEY_CONNECT, "1", work, sizeof work);
    s.connectionType = ParseProfileInt(work);

    ReadKey(IDS_KEY_CALLPARAMS, " ,1,10", work, sizeof work);
    ApplyCallParams(s, work);

    char folder[512];
    char defaultPath[kProfileBufferSize];
    ProgramFolder(folder, sizeof folder);
    FormatDefaultSoftPhonePath(defaultPath, sizeof defaultPath, folder);
    ReadKey(IDS_KEY_SOFTPHONE, defaultPath, s.softPhonePath, sizeof s.softPhonePath);

    ReadKey(IDS_KEY_LOGGING, "0", work, sizeof work);
    s.logging = ParseProfileInt(work);

    ReadKey(IDS_KEY_REACTION, "75,50,30", work, sizeof work);
    ApplyReaction(s, work);

    ReadKey(IDS_KEY_MODEM, "1,115200,ATD", work, sizeof work);
    ApplyModem(s, work);
}

void SaveExitSettings() {
    WriteSettingsKey(IDS_KEY_LANGUAGE);
    WriteSettingsKey(IDS_KEY_REACTION);
}
