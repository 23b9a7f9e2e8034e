#include "settings/text_lookup.h"

#include <windows.h>

#include "base/shared_record.h"
#include "settings/settings_parse.h"

namespace {
char g_textBuffer[512];
}

void LoadPlainText(unsigned id, char* out, std::size_t size) {
    if (!out || size == 0) return;
    out[0] = '\0';
    int maxChars = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
    if (::LoadStringA(::GetModuleHandleA(nullptr), id, out, maxChars) <= 0) out[0] = '\0';
}

const char* LoadText(unsigned id) {
    LoadPlainText(TextIdForLanguage(id, Settings().language), g_textBuffer, sizeof g_textBuffer);
    return g_textBuffer;
}
