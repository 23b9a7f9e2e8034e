// The program's resources as linked into the executable, held against
// res/resource.h and against what the code relies on: every named text in
// both languages as single-byte Windows-1252, the bitmaps and the icon, the
// five dialog templates with the controls the code drives, and the settings
// dialog's list items.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "calling/dial_sequence.h"
#include "res/resource.h"

namespace {

HINSTANCE Module() { return ::GetModuleHandleA(nullptr); }

// --- texts -----------------------------------------------------------------

std::string LoadA(UINT id) {
    char buf[1024];
    const int n = ::LoadStringA(Module(), id, buf, sizeof buf);
    return std::string(buf, n > 0 ? n : 0);
}

std::wstring LoadW(UINT id) {
    // With a buffer size of 0, LoadStringW hands out a pointer to the
    // resource's text and returns its length; 0 when there is none.
    const wchar_t* p = nullptr;
    const int n = ::LoadStringW(Module(), id, reinterpret_cast<wchar_t*>(&p), 0);
    return n > 0 ? std::wstring(p, n) : std::wstring();
}

std::string To1252(const std::wstring& w) {
    if (w.empty()) return std::string();
    const int size = static_cast<int>(w.size());
    const int n = ::WideCharToMultiByte(1252, 0, w.data(), size, nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    ::WideCharToMultiByte(1252, 0, w.data(), size, &s[0], n, nullptr, nullptr);
    return s;
}

size_t Count(const std::wstring& s, wchar_t c) {
    return static_cast<size_t>(std::count(s.begin(), s.end(), c));
}

// The only characters beyond ASCII that German texts hold: umlauts and sharp s.
bool IsGermanLetter(wchar_t c) { return c != 0 && std::wcschr(L"\xC4\xD6\xDC\xDF\xE4\xF6\xFC", c); }
// A menu entry that opens a dialog ends in the one-character ellipsis.
constexpr wchar_t kEllipsis = L'\x2026';

// Texts in both languages: the German id is named, English is id + IDS_ENGLISH_OFFSET.
const UINT kTwinTexts[] = {
    IDS_CONFIRM_EXIT, IDS_ALREADY_RUNNING, IDS_CONNECT_QUESTION, IDS_INVALID_NUMBER,
    IDS_SOFTPHONE_NOT_FOUND, IDS_NO_SOUNDCARD, IDS_NO_CALL_NUMBER, IDS_MIN_DELAY,
    IDS_PORT_NOT_OPENED, IDS_NO_TELEPHONY_APP, IDS_MICROPHONE, IDS_CALLING, IDS_SENSITIVITY, IDS_THRESHOLD,
    IDS_SETTINGS, IDS_LANGUAGE, IDS_GERMAN, IDS_ENGLISH, IDS_CANCEL, IDS_HELP, IDS_ABOUT,
    IDS_EXIT, IDS_CALLING_PARAMS, IDS_CONNECT_TO, IDS_MISCELLANEOUS, IDS_CALL_NUMBER,
    IDS_CALLING_DELAY, IDS_MAXIMUM, IDS_MINUTES, IDS_CALLS, IDS_MAKE_PROTOCOL,
    IDS_SOFTPHONE_FILE, IDS_BROWSE_FILTER, IDS_CONNECTION_TEST, IDS_DATE_TIME, IDS_STATUS,
    IDS_CONTACT_GROUP, IDS_WEB_LINK, IDS_MAIL_LINK, IDS_START, IDS_STOP, IDS_QUESTIONS,
    IDS_CONTACT, IDS_SERIAL_MODEM, IDS_SERIAL_GROUP, IDS_PORT, IDS_BAUD, IDS_MODEM_COMMAND,
    IDS_TELEPHONY_APP, IDS_RUN_TITLE, IDS_RUN_LEVEL, IDS_RUN_THRESHOLD, IDS_RUN_ALARM_CALL,
    IDS_RUN_TROUBLE_CALL, IDS_RUN_FAILED_CALL, IDS_CALIBRATE, IDS_CALIBRATION_AID, IDS_CALIB_LISTENING, IDS_CALIB_HIGHEST,
    IDS_CALIB_QUIET_LEVEL, IDS_CALIB_THRESHOLD, IDS_CALIB_PROPOSAL, IDS_CALIB_PROPOSED,
    IDS_CALIB_NOT_QUIET, IDS_CALIB_NOTHING_HEARD, IDS_APPLY,
};

// The registry's section and value names: users' settings are stored under
// them, so they never change and have no language.
const struct {
    UINT id;
    const char* name;
} kProfileNames[] = {
    {IDS_PROFILE_SECTION, "Settings"}, {IDS_KEY_LANGUAGE, "Language"},
    {IDS_KEY_CONNECT, "Connect"},      {IDS_KEY_CALLPARAMS, "CallParams"},
    {IDS_KEY_SOFTPHONE, "SoftPhone"},  {IDS_KEY_LOGGING, "Logging"},
    {IDS_KEY_REACTION, "Reaction"},    {IDS_KEY_MODEM, "Modem"},
};

BOOL CALLBACK AddBlockIds(HMODULE, LPCSTR, LPSTR name, LONG_PTR ids) {
    // Texts are stored in blocks of 16: block n holds the ids (n - 1) * 16 and up.
    const UINT first = (static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)) - 1) * 16;
    for (UINT id = first; id < first + 16; ++id) {
        if (!LoadW(id).empty()) reinterpret_cast<std::set<UINT>*>(ids)->insert(id);
    }
    return TRUE;
}

// Every id that holds a text, found by walking the string table.
std::set<UINT> TableIds() {
    std::set<UINT> ids;
    ::EnumResourceNamesA(Module(), RT_STRING, AddBlockIds, reinterpret_cast<LONG_PTR>(&ids));
    return ids;
}

TEST(Resources, StringTableHoldsEveryNamedTextAndNothingElse) {
    std::set<UINT> named = {IDS_CAPTURE_ERROR};
    for (const auto& p : kProfileNames) named.insert(p.id);
    for (UINT id : kTwinTexts) named.insert({id, id + IDS_ENGLISH_OFFSET});
    const std::set<UINT> table = TableIds();
    for (UINT id : named) EXPECT_EQ(1u, table.count(id)) << "no text " << id;
    for (UINT id : table) {
        EXPECT_EQ(1u, named.count(id)) << "text " << id << " has no name";
        if (id > IDS_ENGLISH_OFFSET && id < 2 * IDS_ENGLISH_OFFSET) {
            EXPECT_EQ(1u, table.count(id - IDS_ENGLISH_OFFSET)) << "English " << id << " alone";
        }
    }
    for (const auto& p : kProfileNames) EXPECT_EQ(p.name, LoadA(p.id)) << p.id;
}

TEST(Resources, TextsAreSingleByteWindows1252) {
    // The code reads its texts through the ANSI functions; they show as
    // written when the ANSI code page is Western European.
    ASSERT_EQ(1252u, ::GetACP());
    for (UINT id : TableIds()) {
        SCOPED_TRACE(id);
        const std::wstring text = LoadW(id);
        const std::string bytes = LoadA(id);
        EXPECT_EQ(To1252(text), bytes);
        EXPECT_EQ(text.size(), bytes.size());
        const bool german = id < IDS_ENGLISH_OFFSET;
        for (wchar_t c : text)
            EXPECT_TRUE(c < 0x80 || c == kEllipsis || (german && IsGermanLetter(c))) << int(c);
        // Line breaks are single line feeds; no escape is left unconverted.
        EXPECT_EQ(std::wstring::npos, text.find_first_of(L"\r\\"));
        EXPECT_TRUE(text.front() != L' ' && text.back() != L' ');  // no stray blanks
    }
    for (UINT id : {IDS_CONFIRM_EXIT, IDS_INVALID_NUMBER, IDS_SOFTPHONE_NOT_FOUND,
                    IDS_PORT_NOT_OPENED, IDS_CALLING, IDS_MAXIMUM, IDS_MAKE_PROTOCOL,
                    IDS_CONNECTION_TEST}) {
        const std::string bytes = LoadA(id);
        EXPECT_TRUE(std::any_of(bytes.begin(), bytes.end(),
                                [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
            << "umlaut text " << id;
    }
}

TEST(Resources, TwinsAgreeAndOnlyTheFormatsHoldPlaceholders) {
    for (UINT id : TableIds()) {
        const std::wstring text = LoadW(id);
        const UINT own = id % IDS_ENGLISH_OFFSET;
        const size_t placeholders = own == IDS_CONNECT_QUESTION || id == IDS_CAPTURE_ERROR ? 1
                                    : own == IDS_RUN_TITLE                                ? 4
                                                                                          : 0;
        EXPECT_EQ(placeholders, Count(text, L'%')) << id;
        size_t filled = 0;
        for (size_t at = 0; (at = text.find(L"%s", at)) != std::wstring::npos; at += 2) ++filled;
        EXPECT_EQ(placeholders, filled) << id;
    }
    for (UINT id : kTwinTexts) {
        EXPECT_EQ(Count(LoadW(id), L'\n'), Count(LoadW(id + IDS_ENGLISH_OFFSET), L'\n')) << id;
    }
    EXPECT_EQ(1u, Count(LoadW(IDS_SOFTPHONE_NOT_FOUND), L'\n'));  // a message of two lines

    // The file filter, "name|pattern|...||": both languages offer the same patterns.
    auto split = [](std::wstring s) {
        std::vector<std::wstring> parts;
        for (size_t at; (at = s.find(L'|')) != std::wstring::npos; s.erase(0, at + 1))
            parts.push_back(s.substr(0, at));
        parts.push_back(s);
        return parts;
    };
    const auto de = split(LoadW(IDS_BROWSE_FILTER));
    const auto en = split(LoadW(IDS_BROWSE_FILTER + IDS_ENGLISH_OFFSET));
    ASSERT_EQ(de.size(), en.size());
    ASSERT_GE(de.size(), 4u);
    for (size_t i = 1; i < de.size(); i += 2) EXPECT_EQ(de[i], en[i]) << i;
    EXPECT_TRUE(de.back().empty() && de[de.size() - 2].empty());  // ends with "||"
}

// --- resources as bytes ------------------------------------------------------

struct Bytes {
    const unsigned char* p = nullptr;
    size_t size = 0;
};

Bytes ResourceBytes(LPCSTR name, LPCSTR type) {
    HRSRC res = ::FindResourceA(Module(), name, type);
    if (!res) return Bytes{};
    return Bytes{static_cast<const unsigned char*>(::LockResource(::LoadResource(Module(), res))),
                 ::SizeofResource(Module(), res)};
}

// Bounds-checked reader over a resource.
class Reader {
public:
    Reader(const unsigned char* p, size_t n) : p_(p), n_(n) {}
    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    void Align4() { pos_ = (pos_ + 3) & ~static_cast<size_t>(3); }
    unsigned Word() {
        if (pos_ + 2 > n_) return Fail();
        WORD v;
        std::memcpy(&v, p_ + pos_, 2);
        pos_ += 2;
        return v;
    }
    unsigned long Dword() {
        unsigned long lo = Word();
        unsigned long hi = Word();
        return lo | (hi << 16);
    }
    int Short() { return static_cast<short>(Word()); }
    std::wstring String() {
        std::wstring s;
        for (;;) {
            unsigned c = Word();
            if (!ok_ || c == 0) break;
            s.push_back(static_cast<wchar_t>(c));
        }
        return s;
    }
    // A name or ordinal field: 0xFFFF followed by a number, or a string.
    std::wstring NameOrOrdinal(int* ordinal) {
        *ordinal = -1;
        if (pos_ + 2 <= n_ && p_[pos_] == 0xFF && p_[pos_ + 1] == 0xFF) {
            Word();
            *ordinal = static_cast<int>(Word());
            return std::wstring();
        }
        return String();
    }
    void Skip(size_t n) {
        if (pos_ + n > n_) Fail();
        else pos_ += n;
    }

private:
    unsigned Fail() {
        ok_ = false;
        pos_ = n_;
        return 0;
    }
    const unsigned char* p_;
    size_t n_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// --- bitmaps ---------------------------------------------------------------

struct Rgb {
    int r, g, b;
};

// A bitmap resource as a 24-bit DIB section, read pixel by pixel (y = 0 at the top).
class Dib {
public:
    explicit Dib(UINT id)
        : bmp_(static_cast<HBITMAP>(::LoadImageA(Module(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0,
                                                 0, LR_CREATEDIBSECTION))) {
        if (bmp_ && ::GetObjectA(bmp_, sizeof ds_, &ds_) == sizeof ds_) ok_ = true;
    }
    ~Dib() {
        if (bmp_) ::DeleteObject(bmp_);
    }
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;

    bool ok() const { return ok_ && ds_.dsBm.bmBits != nullptr; }
    int width() const { return ds_.dsBm.bmWidth; }
    int height() const { return ds_.dsBm.bmHeight; }
    int bits() const { return ds_.dsBm.bmBitsPixel; }
    Rgb at(int x, int y) const {
        const unsigned char* base = static_cast<const unsigned char*>(ds_.dsBm.bmBits);
        const int row = ds_.dsBmih.biHeight > 0 ? height() - 1 - y : y;
        const unsigned char* p = base + row * ds_.dsBm.bmWidthBytes + x * 3;
        return Rgb{p[2], p[1], p[0]};
    }

private:
    HBITMAP bmp_;
    DIBSECTION ds_{};
    bool ok_ = false;
};

void ExpectRgb(const Rgb& want, const Rgb& got, int x, int y) {
    EXPECT_TRUE(want.r == got.r && want.g == got.g && want.b == got.b)
        << "pixel " << x << "," << y << ": want " << want.r << "," << want.g << "," << want.b
        << " got " << got.r << "," << got.g << "," << got.b;
}

// The program's manifest (this test program carries the same resources):
// embedded, asking for no elevation, and taken by the loader, whose
// activation context then sends comctl32.dll to its version 6.
TEST(Resources, TheManifestIsEmbeddedAndTaken) {
    HRSRC found = ::FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const char* text = static_cast<const char*>(::LockResource(::LoadResource(nullptr, found)));
    const std::string manifest(text, ::SizeofResource(nullptr, found));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    ACTCTX_SECTION_KEYED_DATA data = {};
    data.cbSize = sizeof data;
    EXPECT_TRUE(::FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                           L"comctl32.dll", &data));
}

TEST(Resources, BitmapsLoadAsTwentyFourBitPictures) {
    // Their sizes are checked with their pictures below.
    for (UINT id :
         {IDB_FLAG_GERMANY, IDB_FLAG_UK, IDB_INDICATOR_ON, IDB_INDICATOR_OFF, IDB_BANNER}) {
        SCOPED_TRACE(id);
        Dib dib(id);
        ASSERT_TRUE(dib.ok());
        EXPECT_EQ(24, dib.bits());
        // The way the program loads them.
        HBITMAP bmp = ::LoadBitmapA(Module(), MAKEINTRESOURCEA(id));
        ASSERT_NE(nullptr, bmp);
        BITMAP bm{};
        EXPECT_EQ(static_cast<int>(sizeof bm), ::GetObjectA(bmp, sizeof bm, &bm));
        EXPECT_TRUE(bm.bmWidth == dib.width() && bm.bmHeight == dib.height());
        ::DeleteObject(bmp);
    }
}

void ExpectIndicator(UINT id, Rgb (*column)(int)) {
    Dib dib(id);
    ASSERT_TRUE(dib.ok());
    ASSERT_EQ(14, dib.width());
    ASSERT_EQ(6, dib.height());
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 14; ++x) {
            const bool frame = x == 0 || y == 0 || x == 13 || y == 5;
            ExpectRgb(frame ? Rgb{0, 0, 0} : column(x - 1), dib.at(x, y), x, y);
        }
    }
}

TEST(Resources, IndicatorSegments) {
    ExpectIndicator(IDB_INDICATOR_ON, [](int k) { return Rgb{255, 16 * k, 16 * k}; });
    ExpectIndicator(IDB_INDICATOR_OFF, [](int k) { return Rgb{4 * k, 4 * k, 4 * k}; });
}

TEST(Resources, FlagPictures) {
    auto isRed = [](Rgb c) { return c.r > 150 && c.g < 80 && c.b < 80; };
    auto isWhite = [](Rgb c) { return c.r > 200 && c.g > 200 && c.b > 200; };
    auto isBlue = [](Rgb c) { return c.b > 80 && c.r < 60 && c.g < 80; };
    Dib de(IDB_FLAG_GERMANY), uk(IDB_FLAG_UK);
    ASSERT_TRUE(de.ok() && uk.ok());
    ASSERT_TRUE(de.width() == 16 && de.height() == 12 && uk.width() == 16 && uk.height() == 12);
    // Black, red and gold stripes.
    for (int x = 0; x < 16; ++x) {
        const Rgb top = de.at(x, 1), mid = de.at(x, 6), bottom = de.at(x, 10);
        EXPECT_LT(top.r + top.g + top.b, 60) << x;
        EXPECT_TRUE(mid.r > 150 && mid.g < 60 && mid.b < 60) << x;
        EXPECT_TRUE(bottom.r > 200 && bottom.g > 150 && bottom.b < 80) << x;
    }
    // The Union Flag: the upright red cross through the middle, with white edges.
    for (int y = 0; y < 12; ++y) EXPECT_TRUE(isRed(uk.at(7, y)) && isRed(uk.at(8, y))) << y;
    for (int x = 0; x < 16; ++x) EXPECT_TRUE(isRed(uk.at(x, 5)) && isRed(uk.at(x, 6))) << x;
    EXPECT_TRUE(isWhite(uk.at(6, 1)) && isWhite(uk.at(9, 1)));
    EXPECT_TRUE(isWhite(uk.at(1, 4)) && isWhite(uk.at(1, 7)));
    // Blue fields between the arms, red diagonals in the corners.
    int blue = 0, white = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            blue += isBlue(uk.at(x, y));
            white += isWhite(uk.at(x, y));
        }
    EXPECT_GT(blue, 30);
    EXPECT_GT(white, 30);
    EXPECT_TRUE(isRed(uk.at(0, 0)) && isRed(uk.at(15, 0)) && isRed(uk.at(0, 11)) &&
                isRed(uk.at(15, 11)));
}

TEST(Resources, BannerIsWhiteOnDarkeningBlue) {
    Dib dib(IDB_BANNER);
    ASSERT_TRUE(dib.ok());
    ASSERT_EQ(128, dib.width());
    ASSERT_EQ(27, dib.height());
    const Rgb top = dib.at(0, 0), bottom = dib.at(0, 26);
    EXPECT_GT(top.b, top.r);
    EXPECT_GT(bottom.b, bottom.r);
    EXPECT_GT(top.r + top.g + top.b, bottom.r + bottom.g + bottom.b);
    int white = 0, whiteLeft = 0, whiteRight = 0;
    for (int y = 0; y < 27; ++y)
        for (int x = 0; x < 128; ++x) {
            const Rgb c = dib.at(x, y);
            if (c.r == 255 && c.g == 255 && c.b == 255) {
                ++white;
                (x < 64 ? whiteLeft : whiteRight) += 1;
            }
        }
    EXPECT_GT(white, 200);  // the lettering
    EXPECT_GT(whiteLeft, 60);  // and it spans the width
    EXPECT_GT(whiteRight, 60);
}

// --- icon ------------------------------------------------------------------

TEST(Resources, IconHoldsSixteenAndTwoHundredFiftySixColoursAtBothSizes) {
    const Bytes group = ResourceBytes(MAKEINTRESOURCEA(IDI_APP), RT_GROUP_ICON);
    ASSERT_NE(nullptr, group.p);
    Reader r(group.p, group.size);
    r.Word();
    EXPECT_EQ(1u, r.Word());  // icons, not cursors
    const unsigned count = r.Word();
    std::set<std::pair<unsigned, unsigned>> images;  // (side, bits per pixel)
    for (unsigned i = 0; i < count && r.ok(); ++i) {
        const unsigned sides = r.Word();  // width, height
        r.Skip(4);                        // colours, reserved, planes
        const unsigned bits = r.Word();
        r.Skip(6);  // size, id
        EXPECT_EQ(sides & 0xFF, sides >> 8);
        images.insert({sides & 0xFF, bits});
    }
    ASSERT_TRUE(r.ok());
    const std::set<std::pair<unsigned, unsigned>> want = {{16, 4}, {16, 8}, {32, 4}, {32, 8}};
    EXPECT_EQ(want, images);

    for (int side : {16, 32}) {
        SCOPED_TRACE(side);
        HICON icon = static_cast<HICON>(
            ::LoadImageA(Module(), MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, side, side, 0));
        ASSERT_NE(nullptr, icon);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAP bm{};
        ASSERT_NE(nullptr, info.hbmColor);
        ASSERT_TRUE(::GetObjectA(info.hbmColor, sizeof bm, &bm));
        EXPECT_EQ(side, bm.bmWidth);
        EXPECT_EQ(side, bm.bmHeight);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
    }
    EXPECT_NE(nullptr, ::LoadIconA(Module(), MAKEINTRESOURCEA(IDI_APP)));
}

// --- dialog templates --------------------------------------------------------

struct Item {
    DWORD style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;
    std::wstring cls;    // predefined classes by name: "button", "edit", "static", ...
    std::wstring text;   // empty when the text is an ordinal
    int ordinal = -1;    // resource id given as the text (pictures, icons)
};

struct Template {
    DWORD style = 0;
    int cx = 0, cy = 0;
    std::wstring caption;
    int pointSize = 0;
    std::wstring font;
    std::vector<Item> items;
};

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(::towlower(c));
    return s;
}

// A control's class: the predefined ones come as atoms 0x80..0x85.
std::wstring ClassName(const std::wstring& name, int atom) {
    static const wchar_t* const kAtoms[] = {L"button",  L"edit",      L"static",
                                            L"listbox", L"scrollbar", L"combobox"};
    return atom >= 0x80 && atom <= 0x85 ? kAtoms[atom - 0x80] : Lower(name);
}

bool ParseTemplate(const char* name, Template* out) {
    const Bytes bytes = ResourceBytes(name, RT_DIALOG);
    if (!bytes.p) return false;
    Reader r(bytes.p, bytes.size);
    const bool ex = r.Word() == 1 && r.Word() == 0xFFFF;
    r = Reader(bytes.p, bytes.size);
    unsigned count;
    if (ex) {
        r.Skip(4 + 4);  // version and signature, help id
        r.Dword();      // extended style
        out->style = r.Dword();
    } else {
        out->style = r.Dword();
        r.Dword();
    }
    count = r.Word();
    r.Short();
    r.Short();
    out->cx = r.Short();
    out->cy = r.Short();
    int ord;
    r.NameOrOrdinal(&ord);  // menu
    r.NameOrOrdinal(&ord);  // class
    out->caption = r.String();
    if (out->style & DS_SETFONT) {
        out->pointSize = r.Word();
        if (ex) r.Skip(4);  // weight, italic, charset
        out->font = r.String();
    }
    for (unsigned i = 0; i < count && r.ok(); ++i) {
        r.Align4();
        Item it;
        if (ex) {
            r.Dword();  // help id
            r.Dword();  // extended style
            it.style = r.Dword();
        } else {
            it.style = r.Dword();
            r.Dword();
        }
        it.x = r.Short();
        it.y = r.Short();
        it.cx = r.Short();
        it.cy = r.Short();
        it.id = ex ? static_cast<int>(r.Dword()) : static_cast<short>(r.Word());
        int atom;
        std::wstring cls = r.NameOrOrdinal(&atom);
        it.cls = ClassName(cls, atom);
        it.text = r.NameOrOrdinal(&it.ordinal);
        unsigned extra = r.Word();
        r.Skip(extra);
        out->items.push_back(it);
    }
    return r.ok() && out->items.size() == count;
}

const Item* FindItem(const Template& t, int id) {
    for (const Item& it : t.items)
        if (it.id == id) return &it;
    return nullptr;
}

// What a control has to be for the code that drives it: its class, the type
// bits of its style, and style bits it needs or must not have.
struct Kind {
    const wchar_t* cls;
    DWORD typeMask, type, needed, refused;
};
const Kind kPush{L"button", BS_TYPEMASK, BS_PUSHBUTTON, WS_TABSTOP, 0};
const Kind kDefault{L"button", BS_TYPEMASK, BS_DEFPUSHBUTTON, WS_TABSTOP, 0};
const Kind kRadio{L"button", BS_TYPEMASK, BS_RADIOBUTTON, 0, WS_TABSTOP};  // the code checks it
const Kind kAutoRadio{L"button", BS_TYPEMASK, BS_AUTORADIOBUTTON, 0, WS_TABSTOP};
const Kind kCheck{L"button", BS_TYPEMASK, BS_AUTOCHECKBOX, WS_TABSTOP, 0};
const Kind kGroup{L"button", BS_TYPEMASK, BS_GROUPBOX, 0, WS_TABSTOP};
const Kind kText{L"static", SS_TYPEMASK, SS_LEFT, 0, 0};
const Kind kPicture{L"static", SS_TYPEMASK, SS_BITMAP, 0, 0};
const Kind kSlider{L"msctls_trackbar32", TBS_VERT, TBS_HORZ,
                   TBS_NOTICKS | TBS_BOTH | WS_TABSTOP, 0};
const Kind kList{L"combobox", 3, CBS_DROPDOWNLIST, WS_VSCROLL | WS_TABSTOP, 0};
const Kind kNumber{L"edit", 0, 0, ES_NUMBER | WS_BORDER | WS_TABSTOP, 0};
const Kind kProgress{L"msctls_progress32", 0, 0, 0, 0};
const Kind kDrawn{L"static", SS_TYPEMASK, SS_OWNERDRAW, 0, 0};
const Kind kLine{L"edit", 0, 0, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, ES_NUMBER};

// Every control that resource.h names, per dialog.
const struct {
    const char* name;
    std::vector<std::pair<int, const Kind*>> controls;
} kDialogs[] = {
    {"AppDlg",
     {{IDC_START_STOP, &kPush}, {IDC_HELP_BUTTON, &kPush}, {IDC_SETTINGS, &kPush},
      {IDC_MIXER, &kPush}, {IDC_ABOUT, &kPush}, {IDC_EXIT, &kPush},
      {IDC_SENSITIVITY, &kSlider}, {IDC_MIC_THRESHOLD, &kSlider}, {IDC_CALL_THRESHOLD, &kSlider},
      {IDC_SENSITIVITY_LABEL, &kText}, {IDC_MIC_THRESHOLD_LABEL, &kText},
      {IDC_CALL_THRESHOLD_LABEL, &kText}, {IDC_DATE, &kText}, {IDC_TIME, &kText},
      {IDC_WEB_LINK, &kText}, {IDC_MAIL_LINK, &kText}, {IDC_GROUP_MIC, &kGroup},
      {IDC_GROUP_CALL, &kGroup}, {IDC_GROUP_CLOCK, &kGroup}, {IDC_GROUP_STATUS, &kGroup},
      {IDC_GROUP_CONTACT, &kGroup}, {IDC_INDICATOR_FIRST, &kPicture},
      {IDC_INDICATOR_FIRST + 1, &kPicture}, {IDC_INDICATOR_FIRST + 2, &kPicture},
      {IDC_INDICATOR_FIRST + 3, &kPicture}, {IDC_INDICATOR_FIRST + 4, &kPicture},
      {IDC_INDICATOR_FIRST + 5, &kPicture}}},
    {"SelLangDlg",
     {{IDOK, &kDefault}, {IDC_LANG_GERMAN, &kAutoRadio}, {IDC_LANG_ENGLISH, &kAutoRadio}}},
    {"SetupDlg",
     {{IDC_LANG_GERMAN, &kRadio}, {IDC_LANG_ENGLISH, &kRadio}, {IDC_CONN_TELEPHONY_APP, &kRadio},
      {IDC_CONN_SOFTPHONE, &kRadio}, {IDC_CONN_MODEM, &kRadio}, {IDC_CALL_NUMBER, &kNumber},
      {IDC_CALLING_DELAY, &kNumber}, {IDC_MAX_CALLS, &kNumber}, {IDC_CONNECTION_TEST, &kPush},
      {IDC_COM_PORT, &kList}, {IDC_BAUD_RATE, &kList}, {IDC_MODEM_COMMAND, &kLine},
      {IDC_SOFTPHONE_PATH, &kLine}, {IDC_BROWSE, &kPush}, {IDC_LOGGING, &kCheck},
      {IDOK, &kDefault}, {IDCANCEL, &kPush}, {IDC_GROUP_LANGUAGE, &kGroup},
      {IDC_GROUP_CALLING, &kGroup}, {IDC_GROUP_CONNECT, &kGroup}, {IDC_GROUP_MISC, &kGroup},
      {IDC_GROUP_SOFTPHONE, &kGroup}, {IDC_GROUP_SERIAL, &kGroup}, {IDC_PORT_LABEL, &kText},
      {IDC_BAUD_LABEL, &kText}, {IDC_MODEM_LABEL, &kText}, {IDC_CALL_NUMBER_LABEL, &kText},
      {IDC_CALLING_DELAY_LABEL, &kText}, {IDC_MINUTES_LABEL, &kText},
      {IDC_MAX_CALLS_LABEL, &kText}, {IDC_CALLS_LABEL, &kText}}},
    {"InfoDlg",
     {{IDOK, &kDefault}, {IDC_INFO_QUESTIONS, &kText}, {IDC_INFO_CONTACT, &kText},
      {IDC_INFO_MAIL_LINK, &kText}, {IDC_INFO_WEB_LINK, &kText}}},
    {"CalibrateDlg",
     {{IDC_CALIB_STATUS, &kText}, {IDC_CALIB_PROGRESS, &kProgress}, {IDC_CALIB_PICTURE, &kDrawn},
      {IDC_CALIB_HIGHEST_LABEL, &kText}, {IDC_CALIB_HIGHEST, &kText},
      {IDC_CALIB_QUIET_LABEL, &kText}, {IDC_CALIB_QUIET, &kText},
      {IDC_CALIB_THRESHOLD_LABEL, &kText}, {IDC_CALIB_THRESHOLD, &kText},
      {IDC_CALIB_PROPOSAL_LABEL, &kText}, {IDC_CALIB_PROPOSAL, &kText}, {IDOK, &kDefault},
      {IDCANCEL, &kPush}}},
};

bool LoadsAs(int ordinal, UINT type) {
    HANDLE h = ::LoadImageA(Module(), MAKEINTRESOURCEA(ordinal), type, 0, 0, 0);
    if (h && type == IMAGE_BITMAP) ::DeleteObject(h);
    if (h && type == IMAGE_ICON) ::DestroyIcon(static_cast<HICON>(h));
    return h != nullptr;
}

TEST(Resources, DialogTemplatesHoldTheNamedControlsOfTheirKind) {
    for (const auto& dialog : kDialogs) {
        SCOPED_TRACE(dialog.name);
        Template t;
        ASSERT_TRUE(ParseTemplate(dialog.name, &t));
        EXPECT_EQ(8, t.pointSize);
        EXPECT_EQ(L"MS Sans Serif", t.font);
        const DWORD frame = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
        EXPECT_EQ(frame, t.style & frame);
        EXPECT_FALSE(t.style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
        // Only the main window minimises (to the notification area).
        EXPECT_EQ(std::strcmp(dialog.name, "AppDlg") == 0, (t.style & WS_MINIMIZEBOX) != 0);

        std::set<int> ids;
        for (const Item& it : t.items) {
            SCOPED_TRACE(testing::Message() << "control " << it.id);
            const DWORD shown = WS_CHILD | WS_VISIBLE;
            EXPECT_EQ(shown, it.style & shown);
            // Nothing is switched off: every channel is offered.
            EXPECT_EQ(0u, it.style & WS_DISABLED);
            if (it.id == IDC_STATIC) {
                EXPECT_EQ(L"static", it.cls);
            } else {
                EXPECT_TRUE(ids.insert(it.id).second) << "id twice";
                EXPECT_TRUE(std::any_of(dialog.controls.begin(), dialog.controls.end(),
                                        [&](const auto& c) { return c.first == it.id; }))
                    << "a control resource.h does not name";
            }
            const DWORD type = it.style & SS_TYPEMASK;
            if (it.cls == L"static" && (type == SS_BITMAP || type == SS_ICON)) {
                EXPECT_TRUE(LoadsAs(it.ordinal, type == SS_BITMAP ? IMAGE_BITMAP : IMAGE_ICON))
                    << "picture " << it.ordinal;
            } else {
                EXPECT_EQ(-1, it.ordinal);
            }
            for (wchar_t c : it.text)
                EXPECT_TRUE(c < 0x80 || IsGermanLetter(c) || c == L'\xA9') << int(c);
        }
        for (const auto& named : dialog.controls) {
            const Item* it = FindItem(t, named.first);
            if (it == nullptr) {
                ADD_FAILURE() << "no control " << named.first;
                continue;
            }
            const Kind& k = *named.second;
            SCOPED_TRACE(testing::Message() << "control " << named.first);
            EXPECT_EQ(std::wstring(k.cls), it->cls);
            EXPECT_EQ(k.type, it->style & k.typeMask);
            EXPECT_EQ(k.needed, it->style & k.needed);
            EXPECT_EQ(0u, it->style & k.refused);
        }
    }
}

TEST(Resources, DialogDetailsTheCodeReliesOn) {
    Template app, lang, setup;
    ASSERT_TRUE(ParseTemplate("AppDlg", &app));
    ASSERT_TRUE(ParseTemplate("SelLangDlg", &lang));
    ASSERT_TRUE(ParseTemplate("SetupDlg", &setup));
    // A second start looks for a dialog of this title.
    EXPECT_EQ(L"Cribwatch", app.caption);
    EXPECT_EQ(L"Cribwatch", lang.caption);
    // The level indicator: six dark segments in a row, lit from left to right.
    for (int i = 0; i < 6; ++i) {
        const Item* segment = FindItem(app, IDC_INDICATOR_FIRST + i);
        ASSERT_NE(nullptr, segment);
        EXPECT_EQ(IDB_INDICATOR_OFF, segment->ordinal);
        if (i == 0) continue;
        const Item* before = FindItem(app, IDC_INDICATOR_FIRST + i - 1);
        EXPECT_EQ(before->y, segment->y);
        EXPECT_GE(segment->x, before->x + before->cx) << i;
    }
    // The ports sort by name; the baud rates keep their numeric order.
    EXPECT_TRUE(FindItem(setup, IDC_COM_PORT)->style & CBS_SORT);
    EXPECT_FALSE(FindItem(setup, IDC_BAUD_RATE)->style & CBS_SORT);
}

struct Box {
    int left, top, right, bottom;
    bool Meets(const Box& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
    bool Within(const Box& o) const {
        return left >= o.left && right <= o.right && top >= o.top && bottom <= o.bottom;
    }
};

TEST(Resources, DialogLayout) {
    for (const auto& dialog : kDialogs) {
        SCOPED_TRACE(dialog.name);
        Template t;
        ASSERT_TRUE(ParseTemplate(dialog.name, &t));
        std::vector<Box> boxes;
        std::vector<bool> groups;
        const Box client{0, 0, t.cx, t.cy};
        for (const Item& it : t.items) {
            const Box full{it.x, it.y, it.x + it.cx, it.y + it.cy};
            EXPECT_TRUE(full.Within(client)) << "control " << it.id << " leaves the dialog";
            // A drop-down list counts with its closed height, one line.
            const int cy = it.cls == L"combobox" ? 12 : it.cy;
            boxes.push_back({it.x, it.y, it.x + it.cx, it.y + cy});
            groups.push_back(it.cls == L"button" && (it.style & BS_TYPEMASK) == BS_GROUPBOX);
        }
        // Controls do not overlap, nor do group boxes; a control lies inside
        // a group box or apart from it.
        for (size_t i = 0; i < boxes.size(); ++i) {
            for (size_t j = i + 1; j < boxes.size(); ++j) {
                const Box& a = boxes[i];
                const Box& b = boxes[j];
                const bool fine = !a.Meets(b) ||
                                  (groups[i] != groups[j] && (a.Within(b) || b.Within(a)));
                EXPECT_TRUE(fine) << "controls " << t.items[i].id << " (#" << i << ") and "
                                  << t.items[j].id << " (#" << j << ")";
            }
        }
    }
}

TEST(Resources, SetupDlgListItems) {
    const Bytes init = ResourceBytes("SetupDlg", MAKEINTRESOURCEA(RT_DLGINIT));
    ASSERT_NE(nullptr, init.p);
    Reader r(init.p, init.size);
    std::vector<std::string> ports, rates;
    for (;;) {
        const unsigned id = r.Word();
        ASSERT_TRUE(r.ok());
        if (id == 0) break;
        EXPECT_EQ(static_cast<unsigned>(DLGINIT_CB_ADDSTRING), r.Word());
        const unsigned long n = r.Dword();
        ASSERT_TRUE(r.ok());
        ASSERT_GE(n, 1u);
        const size_t at = r.pos();
        r.Skip(n);
        ASSERT_TRUE(r.ok());
        ASSERT_EQ('\0', static_cast<char>(init.p[at + n - 1]));
        const std::string text(reinterpret_cast<const char*>(init.p + at));
        if (id == IDC_COM_PORT) ports.push_back(text);
        else if (id == IDC_BAUD_RATE) rates.push_back(text);
        else ADD_FAILURE() << "items for control " << id;
    }
    // COM1 to COM9 as the dialler names them; the rates the dialler accepts, in order.
    std::vector<std::string> wantPorts, wantRates;
    for (int port = 1; port <= 9; ++port) {
        char name[kPortNameSize];
        FormatModemPortName(port, name, sizeof name);
        wantPorts.push_back(name);
    }
    for (int rate : kModemBaudRates) wantRates.push_back(std::to_string(rate));
    EXPECT_EQ(wantPorts, ports);
    EXPECT_EQ(wantRates, rates);
}

// --- the templates as real dialogs -----------------------------------------------

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

class LiveDialog {
public:
    explicit LiveDialog(const char* name) {
        INITCOMMONCONTROLSEX icc{sizeof icc,
                                 ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&icc);
        hwnd_ = ::CreateDialogParamA(Module(), name, nullptr, QuietProc, 0);
    }
    ~LiveDialog() {
        if (hwnd_) ::DestroyWindow(hwnd_);
    }
    LiveDialog(const LiveDialog&) = delete;
    LiveDialog& operator=(const LiveDialog&) = delete;
    HWND hwnd() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

std::wstring ClassOf(HWND w) {
    wchar_t buf[64] = L"";
    ::GetClassNameW(w, buf, 64);
    return Lower(buf);
}

TEST(Resources, DialogsCreateTheirControlsAndShowTheirPictures) {
    for (const auto& dialog : kDialogs) {
        SCOPED_TRACE(dialog.name);
        Template t;
        ASSERT_TRUE(ParseTemplate(dialog.name, &t));
        LiveDialog dlg(dialog.name);
        ASSERT_NE(nullptr, dlg.hwnd());
        // The children in creation order, one per control of the template.
        size_t i = 0;
        for (HWND w = ::GetWindow(dlg.hwnd(), GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT), ++i) {
            ASSERT_LT(i, t.items.size());
            const Item& it = t.items[i];
            SCOPED_TRACE(testing::Message() << "control #" << i << " id " << it.id);
            EXPECT_EQ(it.id, static_cast<short>(::GetDlgCtrlID(w)));
            EXPECT_EQ(it.cls, ClassOf(w));
            if (it.cls != L"static" || (it.style & SS_TYPEMASK) != SS_BITMAP) continue;
            HBITMAP shown =
                reinterpret_cast<HBITMAP>(::SendMessageA(w, STM_GETIMAGE, IMAGE_BITMAP, 0));
            ASSERT_NE(nullptr, shown);
            BITMAP bm{};
            ASSERT_TRUE(::GetObjectA(shown, sizeof bm, &bm));
            Dib picture(it.ordinal);
            EXPECT_EQ(picture.width(), bm.bmWidth);
            EXPECT_EQ(picture.height(), bm.bmHeight);
        }
        EXPECT_EQ(t.items.size(), i);
    }
}

TEST(Resources, LanguageChoicesClearEachOther) {
    // Choosing one language clears the other without code of the dialog.
    LiveDialog dlg("SelLangDlg");
    ASSERT_NE(nullptr, dlg.hwnd());
    HWND german = ::GetDlgItem(dlg.hwnd(), IDC_LANG_GERMAN);
    HWND english = ::GetDlgItem(dlg.hwnd(), IDC_LANG_ENGLISH);
    ::SendMessageA(german, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, ::SendMessageA(german, BM_GETCHECK, 0, 0));
    ::SendMessageA(english, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, ::SendMessageA(english, BM_GETCHECK, 0, 0));
    EXPECT_EQ(BST_UNCHECKED, ::SendMessageA(german, BM_GETCHECK, 0, 0));
}

}  // namespace
