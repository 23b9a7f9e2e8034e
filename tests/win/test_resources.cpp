// The program's resources as linked into the executable: texts in both
// languages (single-byte Windows-1252 through the ANSI functions), bitmaps,
// the icon, the four dialog templates and the settings dialog's list items.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "res/resource.h"

namespace {

HINSTANCE Module() { return ::GetModuleHandleA(nullptr); }

// --- texts -----------------------------------------------------------------

std::string LoadA(UINT id) {
    char buf[1024];
    int n = ::LoadStringA(Module(), id, buf, sizeof buf);
    return std::string(buf, n > 0 ? n : 0);
}

std::wstring LoadW(UINT id) {
    wchar_t buf[1024];
    int n = ::LoadStringW(Module(), id, buf, sizeof buf / sizeof buf[0]);
    return std::wstring(buf, n > 0 ? n : 0);
}

bool HasText(UINT id) {
    // With a buffer size of 0, LoadStringW hands out a pointer to the
    // resource's text and returns its length; 0 when there is none.
    const wchar_t* p = nullptr;
    return ::LoadStringW(Module(), id, reinterpret_cast<wchar_t*>(&p), 0) > 0;
}

std::string To1252(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = ::WideCharToMultiByte(1252, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                  nullptr, nullptr);
    std::string s(n, '\0');
    ::WideCharToMultiByte(1252, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr,
                          nullptr);
    return s;
}

struct TextRow {
    UINT id;
    const wchar_t* german;
    const wchar_t* english;  // under id + 10000
};

const TextRow kTexts[] = {
    {1000, L"M\u00F6chten Sie Cribwatch wirklich beenden ?", L"Do you want exit Cribwatch now ?"},
    {1001, L"Cribwatch ist auf diesem System bereits aktiviert !",
     L"Cribwatch is already active on this system !"},
    {1002, L"M\u00F6chten Sie eine Verbindung zu '%s' herstellen ?",
     L"Make a connection to '%s' now ?"},
    {1003, L"Bitte definieren Sie eine g\u00FCltige Rufnummer.",
     L"Please define a vaild call number."},
    {1004,
     L"SoftPhone : Programm wurde nicht gefunden.\nBitte \u00FCberpr\u00FCfen Sie den "
     L"Programmpfad und die Programmdatei.",
     L"SoftPhone : program not found error.\nPlease check the path and program file."},
    {1005, L"Es wurde auf diesem System keine Soundkarte gefunden.",
     L"No soundcard found on this system !"},
    {1006, L"Sie haben keine Rufnummer eingetragen.", L"Please define a call number."},
    {1007, L"Die Wahlpause muss mindestens 1 Minute betragen.",
     L"The minimum number of calling delay is one minute."},
    {1008, L"Der gew\u00E4hlte Kommunikationsport konnte nicht ge\u00F6ffnet werden !",
     L"Cannot open the selected communication port !"},
    {2000, L"Mikrofon", L"Microphone"},
    {2001, L"Rufausl\u00F6sung", L"Calling"},
    {2002, L"Empfindlichkeit", L"Sensitivity"},
    {2003, L"Schwelle", L"Threshold"},
    {2004, L"Einstellungen", L"Settings"},
    {2005, L"Sprache", L"Language"},
    {2006, L"Deutsch", L"German"},
    {2007, L"Englisch", L"English"},
    {2008, L"Abbrechen", L"Cancel"},
    {2009, L"Hilfe", L"Help"},
    {2010, L"Info", L"About"},
    {2011, L"Beenden", L"Exit"},
    {2012, L"Wahlparameter", L"Calling parameters"},
    {2013, L"Anschluss", L"Connect to"},
    {2014, L"Sonstiges", L"Miscellaneous"},
    {2015, L"Rufnummer", L"Call number"},
    {2016, L"Wahlpause", L"Calling delay"},
    {2017, L"H\u00F6chstens", L"Maximum"},
    {2018, L"Minute(n)", L"Minute(s)"},
    {2019, L"Anruf(e)", L"Call(s)"},
    {2020, L"Ger\u00E4uschpegelprotokoll erstellen", L"Make a protocol of volume level"},
    {2021, L"SoftPhone Programmdatei", L"SoftPhone program file"},
    {2022, L"Programm Dateien (*.exe) |*.exe|Alle Dateien (*.*)|*.* ||",
     L"Program Files (*.exe) |*.exe|All Files (*.*)|*.* ||"},
    {2023, L"Verbindungstest durchf\u00FChren", L"Make a connection test"},
    {2024, L"Datum / Uhrzeit", L"Date / Time"},
    {2025, L"Status", L"Status"},
    {2026, L"Info", L"Contact"},
    {2027, L"Besuchen Sie unsere Homepage", L"Visit our homepage"},
    {2028, L"Feedback senden", L"Send feedback"},
    {2029, L"Start", L"Start"},
    {2030, L"Stopp", L"Stop"},
    {2032, L"Fragen , Anregungen oder Probleme ?", L"Questions or problems ?"},
    {2033, L"Kontakt:", L"Contact:"},
    {2034, L"Seriell ( Modem )", L"Serial ( Modem )"},
    {2035, L"Serielle Schnittstelle / Modemparameter", L"Serial Interface / Modemparameter"},
    {2036, L"Port", L"Port"},
    {2037, L"Baud + 8N1", L"Baud + 8N1"},
    {2038, L"Modembefehl", L"Modem command"},
};

TEST(Resources, AnsiCodePageIsWindows1252) {
    // The single-byte texts below are only what the user sees when the
    // ANSI code page is Western European.
    EXPECT_EQ(1252u, ::GetACP());
}

TEST(Resources, EveryTextInBothLanguages) {
    for (const TextRow& row : kTexts) {
        SCOPED_TRACE(row.id);
        EXPECT_EQ(std::wstring(row.german), LoadW(row.id));
        EXPECT_EQ(std::wstring(row.english), LoadW(row.id + IDS_ENGLISH_OFFSET));
        // Through the ANSI function each text arrives as Windows-1252 bytes.
        EXPECT_EQ(To1252(row.german), LoadA(row.id));
        EXPECT_EQ(To1252(row.english), LoadA(row.id + IDS_ENGLISH_OFFSET));
    }
}

TEST(Resources, UmlautsAreSingleBytes) {
    const std::string exitQuestion = LoadA(IDS_CONFIRM_EXIT);
    ASSERT_GE(exitQuestion.size(), 2u);
    EXPECT_EQ('M', exitQuestion[0]);
    EXPECT_EQ(static_cast<char>(0xF6), exitQuestion[1]);  // o with diaeresis
    EXPECT_EQ("chten Sie", exitQuestion.substr(2, 9));

    EXPECT_EQ(std::string("Rufausl\xF6") + "sung", LoadA(2001));
    EXPECT_EQ(std::string("Ger\xE4") + "uschpegelprotokoll erstellen", LoadA(2020));
    EXPECT_EQ(std::string("Verbindungstest durchf\xFC") + "hren", LoadA(2023));
    EXPECT_EQ(std::string("H\xF6") + "chstens", LoadA(2017));
    for (const TextRow& row : kTexts) {
        for (UINT id : {row.id, row.id + IDS_ENGLISH_OFFSET}) {
            for (unsigned char c : LoadA(id)) {
                EXPECT_NE(0xC3, c) << "UTF-8 lead byte in text " << id;
            }
        }
    }
}

TEST(Resources, LineBreaksAreSingleLineFeeds) {
    const std::string de = LoadA(1004);
    const std::string en = LoadA(11004);
    EXPECT_EQ(1, static_cast<int>(std::count(de.begin(), de.end(), '\n')));
    EXPECT_EQ(1, static_cast<int>(std::count(en.begin(), en.end(), '\n')));
    EXPECT_EQ(std::string::npos, de.find('\r'));
    EXPECT_EQ(std::string::npos, de.find('\\'));
    EXPECT_EQ("SoftPhone : program not found error.", en.substr(0, en.find('\n')));
}

TEST(Resources, GapsInTheTableStayEmpty) {
    for (UINT id : {999u, 1009u, 2031u, 2039u, 10999u, 11009u, 12031u, 12039u, 13004u, 50008u,
                    60000u}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(HasText(id));
        EXPECT_EQ("", LoadA(id));
    }
    for (const TextRow& row : kTexts) {
        EXPECT_TRUE(HasText(row.id)) << row.id;
        EXPECT_TRUE(HasText(row.id + IDS_ENGLISH_OFFSET)) << row.id + IDS_ENGLISH_OFFSET;
    }
}

TEST(Resources, ConnectQuestionFormatsTheNumber) {
    char out[512];
    std::snprintf(out, sizeof out, LoadA(1002).c_str(), "0301234567");
    EXPECT_EQ(std::string("M\xF6") + "chten Sie eine Verbindung zu '0301234567' herstellen ?",
              out);
    std::snprintf(out, sizeof out, LoadA(11002).c_str(), "0301234567");
    EXPECT_STREQ("Make a connection to '0301234567' now ?", out);
}

TEST(Resources, ProfileNames) {
    const char* names[] = {"Settings", "Language", "Connect", "CallParams",
                           "SoftPhone", "Logging", "Reaction", "Modem"};
    for (UINT i = 0; i < 8; ++i) {
        EXPECT_EQ(names[i], LoadA(IDS_PROFILE_SECTION + i)) << IDS_PROFILE_SECTION + i;
    }
    EXPECT_EQ("Language", LoadA(IDS_KEY_LANGUAGE));
    EXPECT_EQ("Modem", LoadA(IDS_KEY_MODEM));
}

TEST(Resources, CaptureErrorFormatHasOnePlaceholder) {
    const std::string format = LoadA(IDS_CAPTURE_ERROR);
    ASSERT_FALSE(format.empty());
    const size_t first = format.find("%s");
    ASSERT_NE(std::string::npos, first);
    EXPECT_EQ(std::string::npos, format.find("%s", first + 2));
    EXPECT_EQ(1, static_cast<int>(std::count(format.begin(), format.end(), '%')));
    char out[256];
    std::snprintf(out, sizeof out, format.c_str(), "MMSYSERR_NOMEM");
    EXPECT_NE(nullptr, std::strstr(out, "MMSYSERR_NOMEM"));
    EXPECT_FALSE(HasText(IDS_CAPTURE_ERROR + IDS_ENGLISH_OFFSET));
}

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

TEST(Resources, BitmapsLoadWithTheirSizes) {
    const struct {
        UINT id;
        int w, h;
    } expected[] = {{IDB_FLAG_GERMANY, 16, 12}, {IDB_FLAG_UK, 16, 12},
                    {IDB_INDICATOR_ON, 14, 6},  {IDB_INDICATOR_OFF, 14, 6},
                    {IDB_BANNER, 128, 27}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        HBITMAP bmp = ::LoadBitmapA(Module(), MAKEINTRESOURCEA(e.id));
        ASSERT_NE(nullptr, bmp);
        BITMAP bm{};
        ASSERT_EQ(static_cast<int>(sizeof bm), ::GetObjectA(bmp, sizeof bm, &bm));
        EXPECT_EQ(e.w, bm.bmWidth);
        EXPECT_EQ(e.h, bm.bmHeight);
        ::DeleteObject(bmp);

        Dib dib(e.id);
        ASSERT_TRUE(dib.ok());
        EXPECT_EQ(24, dib.bits());
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

TEST(Resources, GermanFlagStripes) {
    Dib dib(IDB_FLAG_GERMANY);
    ASSERT_TRUE(dib.ok());
    for (int x = 0; x < 16; ++x) {
        const Rgb top = dib.at(x, 1), mid = dib.at(x, 6), bottom = dib.at(x, 10);
        EXPECT_LT(top.r + top.g + top.b, 60) << x;
        EXPECT_TRUE(mid.r > 150 && mid.g < 60 && mid.b < 60) << x;
        EXPECT_TRUE(bottom.r > 200 && bottom.g > 150 && bottom.b < 80) << x;
    }
}

TEST(Resources, UnionFlag) {
    Dib dib(IDB_FLAG_UK);
    ASSERT_TRUE(dib.ok());
    auto isRed = [](Rgb c) { return c.r > 150 && c.g < 80 && c.b < 80; };
    auto isWhite = [](Rgb c) { return c.r > 200 && c.g > 200 && c.b > 200; };
    auto isBlue = [](Rgb c) { return c.b > 80 && c.r < 60 && c.g < 80; };
    // The upright red cross through the middle.
    for (int y = 0; y < 12; ++y) EXPECT_TRUE(isRed(dib.at(7, y)) && isRed(dib.at(8, y))) << y;
    for (int x = 0; x < 16; ++x) EXPECT_TRUE(isRed(dib.at(x, 5)) && isRed(dib.at(x, 6))) << x;
    // Its white edges.
    EXPECT_TRUE(isWhite(dib.at(6, 1)) && isWhite(dib.at(9, 1)));
    EXPECT_TRUE(isWhite(dib.at(1, 4)) && isWhite(dib.at(1, 7)));
    // Blue fields between the arms, diagonals in the corners.
    int blue = 0, white = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            blue += isBlue(dib.at(x, y));
            white += isWhite(dib.at(x, y));
        }
    EXPECT_GT(blue, 30);
    EXPECT_GT(white, 30);
    EXPECT_TRUE(isRed(dib.at(0, 0)) && isRed(dib.at(15, 0)) && isRed(dib.at(0, 11)) &&
                isRed(dib.at(15, 11)));
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

TEST(Resources, IconLoadsAtBothSizes) {
    for (int size : {16, 32}) {
        SCOPED_TRACE(size);
        HICON icon = static_cast<HICON>(
            ::LoadImageA(Module(), MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, size, size, 0));
        ASSERT_NE(nullptr, icon);
        ICONINFO info{};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAP bm{};
        ASSERT_NE(nullptr, info.hbmColor);
        ASSERT_TRUE(::GetObjectA(info.hbmColor, sizeof bm, &bm));
        EXPECT_EQ(size, bm.bmWidth);
        EXPECT_EQ(size, bm.bmHeight);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
    }
    EXPECT_NE(nullptr, ::LoadIconA(Module(), MAKEINTRESOURCEA(IDI_APP)));
}

TEST(Resources, IconHoldsSixteenAndTwoHundredFiftySixColours) {
    HRSRC res = ::FindResourceA(Module(), MAKEINTRESOURCEA(IDI_APP), RT_GROUP_ICON);
    ASSERT_NE(nullptr, res);
    const unsigned char* p =
        static_cast<const unsigned char*>(::LockResource(::LoadResource(Module(), res)));
    const DWORD size = ::SizeofResource(Module(), res);
    ASSERT_NE(nullptr, p);
    ASSERT_GE(size, 6u);
    WORD type = 0, count = 0;
    std::memcpy(&type, p + 2, 2);
    std::memcpy(&count, p + 4, 2);
    EXPECT_EQ(1, type);
    ASSERT_EQ(4, count);
    ASSERT_GE(size, 6u + 14u * count);
    std::set<std::pair<int, int>> images;  // (size, bits per pixel)
    for (int i = 0; i < count; ++i) {
        const unsigned char* e = p + 6 + 14 * i;
        WORD bits = 0;
        std::memcpy(&bits, e + 6, 2);
        EXPECT_EQ(e[0], e[1]);
        images.insert({e[0], bits});
    }
    const std::set<std::pair<int, int>> want = {{16, 4}, {16, 8}, {32, 4}, {32, 8}};
    EXPECT_EQ(want, images);
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

std::wstring ClassName(const std::wstring& name, int atom) {
    switch (atom) {
        case 0x80: return L"button";
        case 0x81: return L"edit";
        case 0x82: return L"static";
        case 0x83: return L"listbox";
        case 0x84: return L"scrollbar";
        case 0x85: return L"combobox";
        default: break;
    }
    std::wstring lower = name;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(::towlower(c));
    return lower;
}

bool ParseTemplate(const char* name, Template* out) {
    HRSRC res = ::FindResourceA(Module(), name, RT_DIALOG);
    if (!res) return false;
    const unsigned char* p =
        static_cast<const unsigned char*>(::LockResource(::LoadResource(Module(), res)));
    if (!p) return false;
    Reader r(p, ::SizeofResource(Module(), res));
    const bool ex = r.Word() == 1 && r.Word() == 0xFFFF;
    r = Reader(p, ::SizeofResource(Module(), res));
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

// One expected control: id, class, position, text (or picture id).
struct Want {
    int id;
    const wchar_t* cls;
    int x, y, cx, cy;
    const wchar_t* text;  // nullptr: a picture, see ordinal
    int ordinal;
};

void ExpectItems(const Template& t, const std::vector<Want>& want) {
    ASSERT_EQ(want.size(), t.items.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const Want& w = want[i];
        const Item& it = t.items[i];
        SCOPED_TRACE(testing::Message() << "control #" << i << " id " << w.id);
        EXPECT_EQ(w.id, it.id);
        EXPECT_EQ(std::wstring(w.cls), it.cls);
        EXPECT_EQ(w.x, it.x);
        EXPECT_EQ(w.y, it.y);
        EXPECT_EQ(w.cx, it.cx);
        EXPECT_EQ(w.cy, it.cy);
        if (w.text) {
            EXPECT_EQ(-1, it.ordinal);
            EXPECT_EQ(std::wstring(w.text), it.text);
        } else {
            EXPECT_EQ(w.ordinal, it.ordinal);
        }
        EXPECT_TRUE(it.style & WS_CHILD);
        EXPECT_TRUE(it.style & WS_VISIBLE);
    }
}

const Item* FindItem(const Template& t, int id) {
    for (const Item& it : t.items)
        if (it.id == id) return &it;
    return nullptr;
}

void ExpectHeader(const Template& t, int cx, int cy) {
    EXPECT_EQ(cx, t.cx);
    EXPECT_EQ(cy, t.cy);
    EXPECT_EQ(8, t.pointSize);
    EXPECT_EQ(L"MS Sans Serif", t.font);
    EXPECT_TRUE(t.style & WS_POPUP);
    EXPECT_EQ(static_cast<DWORD>(WS_CAPTION), t.style & WS_CAPTION);
    EXPECT_TRUE(t.style & WS_SYSMENU);
    EXPECT_TRUE(t.style & DS_MODALFRAME);
    EXPECT_FALSE(t.style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(t.style & WS_THICKFRAME);
}

TEST(Resources, AppDlgTemplate) {
    Template t;
    ASSERT_TRUE(ParseTemplate("AppDlg", &t));
    ExpectHeader(t, 316, 193);
    EXPECT_TRUE(t.style & WS_MINIMIZEBOX);
    EXPECT_EQ(L"Cribwatch", t.caption);
    const wchar_t* tb = L"msctls_trackbar32";
    ExpectItems(t, {
        {700, L"button", 99, 21, 71, 14, L"start", 0},
        {200, tb, 13, 67, 290, 15, L"Slider1", 0},
        {250, tb, 13, 95, 290, 15, L"Slider1", 0},
        {300, tb, 13, 144, 290, 15, L"Slider1", 0},
        {100, L"button", 7, 172, 50, 14, L"&Hilfe", 0},
        {101, L"button", 60, 172, 78, 14, L"&Einstellungen", 0},
        {103, L"button", 140, 172, 53, 14, L"Mixer", 0},
        {102, L"button", 196, 172, 52, 14, L"Info", 0},
        {150, L"button", 251, 172, 58, 14, L"&Beenden", 0},
        {201, L"static", 14, 57, 284, 8, L"empfindlichkeit", 0},
        {251, L"static", 14, 85, 282, 8, L"schwelle", 0},
        {301, L"static", 14, 134, 282, 8, L"schwelle", 0},
        {50, L"button", 7, 40, 302, 77, L"micro", 0},
        {51, L"button", 7, 118, 302, 49, L"ruf", 0},
        {52, L"button", 7, 3, 83, 35, L"Uhrzeit", 0},
        {54, L"button", 181, 3, 128, 35, L"Info", 0},
        {53, L"button", 94, 3, 84, 35, L"Status", 0},
        {600, L"static", 14, 15, 69, 8, L"", 0},
        {800, L"static", 189, 15, 117, 8, L"Web", 0},
        {810, L"static", 189, 25, 117, 8, L"mail", 0},
        {610, L"static", 14, 25, 69, 8, L"", 0},
        {750, L"static", 100, 15, 9, 4, nullptr, IDB_INDICATOR_OFF},
        {751, L"static", 112, 15, 9, 4, nullptr, IDB_INDICATOR_OFF},
        {752, L"static", 124, 15, 9, 4, nullptr, IDB_INDICATOR_OFF},
        {753, L"static", 136, 15, 9, 4, nullptr, IDB_INDICATOR_OFF},
        {754, L"static", 148, 15, 9, 4, nullptr, IDB_INDICATOR_OFF},
        {755, L"static", 160, 15, 9, 4, nullptr, IDB_INDICATOR_OFF},
    });
    for (const Item& it : t.items) {
        SCOPED_TRACE(it.id);
        if (it.cls == L"msctls_trackbar32") {
            EXPECT_FALSE(it.style & TBS_VERT);
            EXPECT_TRUE(it.style & TBS_NOTICKS);
            EXPECT_TRUE(it.style & TBS_BOTH);  // the rectangular thumb
            EXPECT_TRUE(it.style & WS_TABSTOP);
        } else if (it.id >= 50 && it.id <= 54) {
            EXPECT_EQ(static_cast<DWORD>(BS_GROUPBOX), it.style & BS_TYPEMASK);
            EXPECT_FALSE(it.style & WS_TABSTOP);
        } else if (it.cls == L"button") {
            EXPECT_EQ(static_cast<DWORD>(BS_PUSHBUTTON), it.style & BS_TYPEMASK);
            EXPECT_TRUE(it.style & WS_TABSTOP);
        } else if (it.ordinal >= 0) {
            EXPECT_EQ(static_cast<DWORD>(SS_BITMAP), it.style & SS_TYPEMASK);
        } else {
            EXPECT_EQ(static_cast<DWORD>(SS_LEFT), it.style & SS_TYPEMASK);
        }
    }
}

TEST(Resources, SelLangDlgTemplate) {
    Template t;
    ASSERT_TRUE(ParseTemplate("SelLangDlg", &t));
    ExpectHeader(t, 244, 146);
    EXPECT_FALSE(t.style & WS_MINIMIZEBOX);
    EXPECT_EQ(L"Cribwatch", t.caption);
    ExpectItems(t, {
        {IDOK, L"button", 76, 119, 84, 14, L"&OK", 0},
        {100, L"button", 90, 89, 80, 10, L"Deutsch / Germany", 0},
        {101, L"button", 90, 103, 80, 10, L"Englisch / English", 0},
        {-1, L"static", 74, 89, 11, 7, nullptr, IDB_FLAG_GERMANY},
        {-1, L"static", 74, 103, 11, 7, nullptr, IDB_FLAG_UK},
        {-1, L"static", 79, 8, 85, 17, nullptr, IDB_BANNER},
        {-1, L"static", 7, 33, 226, 43,
         L"Cribwatch PC 1.000 \n\nBitte w\u00E4hlen Sie eine Sprache aus :\n\n"
         L"Please choose a language :",
         0},
    });
    EXPECT_EQ(static_cast<DWORD>(BS_DEFPUSHBUTTON), t.items[0].style & BS_TYPEMASK);
    EXPECT_TRUE(t.items[0].style & WS_TABSTOP);
    for (int i : {1, 2}) {
        EXPECT_EQ(static_cast<DWORD>(BS_AUTORADIOBUTTON), t.items[i].style & BS_TYPEMASK);
        EXPECT_FALSE(t.items[i].style & WS_TABSTOP);
    }
    for (int i : {3, 4, 5}) EXPECT_EQ(static_cast<DWORD>(SS_BITMAP), t.items[i].style & SS_TYPEMASK);
    EXPECT_EQ(static_cast<DWORD>(SS_CENTER), t.items[6].style & SS_TYPEMASK);
}

TEST(Resources, SetupDlgTemplate) {
    Template t;
    ASSERT_TRUE(ParseTemplate("SetupDlg", &t));
    ExpectHeader(t, 264, 257);
    ExpectItems(t, {
        {100, L"button", 30, 21, 65, 10, L"Germany", 0},
        {101, L"button", 30, 34, 65, 10, L"English", 0},
        {400, L"button", 13, 75, 82, 10, L"ISDN / TAPI", 0},
        {401, L"button", 13, 90, 82, 10, L"1&&1 SoftPhone", 0},
        {402, L"button", 13, 105, 82, 10, L"Seriell ( Modem )", 0},
        {200, L"edit", 112, 24, 138, 12, L"", 0},
        {250, L"edit", 112, 49, 62, 12, L"", 0},
        {300, L"edit", 112, 74, 62, 12, L"", 0},
        {350, L"button", 112, 104, 140, 14, L"verbindungstest", 0},
        {700, L"combobox", 13, 147, 59, 89, L"", 0},
        {701, L"combobox", 76, 147, 59, 90, L"", 0},
        {702, L"edit", 139, 147, 112, 13, L"", 0},
        {500, L"edit", 13, 182, 216, 13, L"", 0},
        {550, L"button", 231, 182, 19, 13, L"...", 0},
        {600, L"button", 13, 229, 172, 10, L"protokoll schreiben", 0},
        {IDOK, L"button", 207, 219, 50, 14, L"&OK", 0},
        {IDCANCEL, L"button", 207, 236, 50, 14, L"&Abbrechen", 0},
        {50, L"button", 7, 3, 94, 53, L"Sprache", 0},
        {-1, L"static", 15, 22, 11, 7, nullptr, IDB_FLAG_GERMANY},
        {-1, L"static", 15, 35, 11, 7, nullptr, IDB_FLAG_UK},
        {51, L"button", 106, 3, 151, 120, L"wahlparameter", 0},
        {201, L"static", 112, 16, 105, 8, L"anrufen bei", 0},
        {52, L"button", 7, 57, 94, 66, L"anschluss", 0},
        {251, L"static", 112, 40, 59, 8, L"wahlpause", 0},
        {252, L"static", 178, 53, 67, 8, L"minuten", 0},
        {301, L"static", 112, 66, 59, 8, L"maximal", 0},
        {302, L"static", 178, 78, 67, 8, L"anrufe", 0},
        {53, L"button", 7, 211, 195, 40, L"sonstiges", 0},
        {54, L"button", 7, 167, 250, 42, L"softphone install", 0},
        {55, L"button", 7, 125, 250, 40, L"seriell", 0},
        {56, L"static", 13, 138, 51, 8, L"Port", 0},
        {57, L"static", 76, 138, 53, 8, L"Baud + 8N1", 0},
        {58, L"static", 139, 138, 95, 8, L"Modembefehl", 0},
    });
    for (int id : {100, 101, 400, 401, 402}) {
        const Item* it = FindItem(t, id);
        ASSERT_NE(nullptr, it);
        EXPECT_EQ(static_cast<DWORD>(BS_RADIOBUTTON), it->style & BS_TYPEMASK) << id;
        EXPECT_FALSE(it->style & WS_TABSTOP) << id;
        EXPECT_EQ(id == 400, (it->style & WS_DISABLED) != 0) << id;
    }
    for (int id : {200, 250, 300}) {
        const Item* it = FindItem(t, id);
        EXPECT_TRUE(it->style & ES_NUMBER) << id;
        EXPECT_TRUE(it->style & WS_BORDER) << id;
        EXPECT_TRUE(it->style & WS_TABSTOP) << id;
    }
    for (int id : {702, 500}) {
        const Item* it = FindItem(t, id);
        EXPECT_FALSE(it->style & ES_NUMBER) << id;
        EXPECT_TRUE(it->style & ES_AUTOHSCROLL) << id;
        EXPECT_TRUE(it->style & WS_BORDER) << id;
    }
    const Item* ports = FindItem(t, 700);
    const Item* rates = FindItem(t, 701);
    EXPECT_EQ(static_cast<DWORD>(CBS_DROPDOWNLIST), ports->style & 3);
    EXPECT_EQ(static_cast<DWORD>(CBS_DROPDOWNLIST), rates->style & 3);
    EXPECT_TRUE(ports->style & CBS_SORT);
    EXPECT_FALSE(rates->style & CBS_SORT);
    EXPECT_TRUE(ports->style & WS_VSCROLL);
    EXPECT_TRUE(rates->style & WS_VSCROLL);
    EXPECT_EQ(static_cast<DWORD>(BS_AUTOCHECKBOX), FindItem(t, 600)->style & BS_TYPEMASK);
    EXPECT_EQ(static_cast<DWORD>(BS_DEFPUSHBUTTON), FindItem(t, IDOK)->style & BS_TYPEMASK);
}

TEST(Resources, SetupDlgListItems) {
    HRSRC res = ::FindResourceA(Module(), "SetupDlg", MAKEINTRESOURCEA(RT_DLGINIT));
    ASSERT_NE(nullptr, res);
    const unsigned char* p =
        static_cast<const unsigned char*>(::LockResource(::LoadResource(Module(), res)));
    ASSERT_NE(nullptr, p);
    Reader r(p, ::SizeofResource(Module(), res));
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
        ASSERT_EQ('\0', static_cast<char>(p[at + n - 1]));
        std::string text(reinterpret_cast<const char*>(p + at));
        if (id == IDC_COM_PORT) ports.push_back(text);
        else if (id == IDC_BAUD_RATE) rates.push_back(text);
        else ADD_FAILURE() << "items for control " << id;
    }
    EXPECT_EQ((std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
                                        "COM8", "COM9"}),
              ports);
    EXPECT_EQ((std::vector<std::string>{"110", "300", "600", "1200", "2400", "4800", "9600",
                                        "14400", "19200", "38400", "56000", "57600", "115200"}),
              rates);
}

TEST(Resources, InfoDlgTemplate) {
    Template t;
    ASSERT_TRUE(ParseTemplate("InfoDlg", &t));
    ExpectHeader(t, 233, 134);
    ASSERT_EQ(9u, t.items.size());
    const struct {
        int id, x, y, cx, cy;
    } want[] = {{IDOK, 170, 16, 50, 14}, {-1, 7, 7, 20, 20},  {-1, 7, 37, 210, 9},
                {50, 7, 56, 216, 8},     {51, 7, 80, 41, 8},  {-1, 7, 99, 46, 8},
                {300, 57, 99, 163, 8},   {-1, 7, 111, 46, 8}, {301, 57, 111, 163, 8}};
    for (size_t i = 0; i < t.items.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(want[i].id, t.items[i].id);
        EXPECT_EQ(want[i].x, t.items[i].x);
        EXPECT_EQ(want[i].y, t.items[i].y);
        EXPECT_EQ(want[i].cx, t.items[i].cx);
        EXPECT_EQ(want[i].cy, t.items[i].cy);
    }
    EXPECT_EQ(static_cast<DWORD>(BS_DEFPUSHBUTTON), t.items[0].style & BS_TYPEMASK);
    EXPECT_EQ(static_cast<DWORD>(SS_ICON), t.items[1].style & SS_TYPEMASK);
    EXPECT_EQ(IDI_APP, t.items[1].ordinal);
    EXPECT_EQ(L"E-Mail", t.items[5].text);
    EXPECT_EQ(L"Web", t.items[7].text);
    EXPECT_EQ(static_cast<DWORD>(SS_LEFT), t.items[6].style & SS_TYPEMASK);
    EXPECT_EQ(static_cast<DWORD>(SS_LEFT), t.items[8].style & SS_TYPEMASK);
}

// --- the templates as real dialogs -----------------------------------------------

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

class LiveDialog {
public:
    explicit LiveDialog(const char* name) {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
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

std::string ClassOf(HWND w) {
    char buf[64] = "";
    ::GetClassNameA(w, buf, sizeof buf);
    std::string s(buf);
    for (char& c : s) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    return s;
}

TEST(Resources, AppDlgCreatesItsControls) {
    LiveDialog dlg("AppDlg");
    ASSERT_NE(nullptr, dlg.hwnd());
    for (int id : {IDC_SENSITIVITY, IDC_MIC_THRESHOLD, IDC_CALL_THRESHOLD}) {
        HWND w = ::GetDlgItem(dlg.hwnd(), id);
        ASSERT_NE(nullptr, w) << id;
        EXPECT_EQ("msctls_trackbar32", ClassOf(w));
    }
    for (int i = 0; i < 6; ++i) {
        HWND w = ::GetDlgItem(dlg.hwnd(), IDC_INDICATOR_FIRST + i);
        ASSERT_NE(nullptr, w);
        HBITMAP shown = reinterpret_cast<HBITMAP>(::SendMessageA(w, STM_GETIMAGE, IMAGE_BITMAP, 0));
        ASSERT_NE(nullptr, shown) << "segment " << i;
        BITMAP bm{};
        ASSERT_TRUE(::GetObjectA(shown, sizeof bm, &bm));
        EXPECT_EQ(14, bm.bmWidth);
        EXPECT_EQ(6, bm.bmHeight);
    }
    char text[64] = "";
    ::GetDlgItemTextA(dlg.hwnd(), IDC_START_STOP, text, sizeof text);
    EXPECT_STREQ("start", text);
    ::GetWindowTextA(dlg.hwnd(), text, sizeof text);
    EXPECT_STREQ("Cribwatch", text);
}

TEST(Resources, SelLangDlgShowsItsPictures) {
    LiveDialog dlg("SelLangDlg");
    ASSERT_NE(nullptr, dlg.hwnd());
    std::vector<std::pair<int, int>> sizes;
    for (HWND w = ::GetWindow(dlg.hwnd(), GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
        if ((::GetWindowLongA(w, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP || ClassOf(w) != "static")
            continue;
        HBITMAP shown = reinterpret_cast<HBITMAP>(::SendMessageA(w, STM_GETIMAGE, IMAGE_BITMAP, 0));
        ASSERT_NE(nullptr, shown);
        BITMAP bm{};
        ASSERT_TRUE(::GetObjectA(shown, sizeof bm, &bm));
        sizes.push_back({bm.bmWidth, bm.bmHeight});
    }
    EXPECT_EQ((std::vector<std::pair<int, int>>{{16, 12}, {16, 12}, {128, 27}}), sizes);

    // Choosing one language clears the other without code of the dialog.
    HWND german = ::GetDlgItem(dlg.hwnd(), IDC_LANG_GERMAN);
    HWND english = ::GetDlgItem(dlg.hwnd(), IDC_LANG_ENGLISH);
    ::SendMessageA(german, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, ::SendMessageA(german, BM_GETCHECK, 0, 0));
    ::SendMessageA(english, BM_CLICK, 0, 0);
    EXPECT_EQ(BST_CHECKED, ::SendMessageA(english, BM_GETCHECK, 0, 0));
    EXPECT_EQ(BST_UNCHECKED, ::SendMessageA(german, BM_GETCHECK, 0, 0));
}

TEST(Resources, SetupDlgAndInfoDlgCreate) {
    {
        LiveDialog dlg("SetupDlg");
        ASSERT_NE(nullptr, dlg.hwnd());
        char text[64] = "";
        ::GetDlgItemTextA(dlg.hwnd(), IDC_CONN_SOFTPHONE, text, sizeof text);
        EXPECT_STREQ("1&&1 SoftPhone", text);  // the && shows as one &
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dlg.hwnd(), IDC_CONN_ISDN)));
        EXPECT_EQ("combobox", ClassOf(::GetDlgItem(dlg.hwnd(), IDC_BAUD_RATE)));
    }
    {
        LiveDialog dlg("InfoDlg");
        ASSERT_NE(nullptr, dlg.hwnd());
        EXPECT_NE(nullptr, ::GetDlgItem(dlg.hwnd(), IDC_INFO_MAIL_LINK));
        EXPECT_NE(nullptr, ::GetDlgItem(dlg.hwnd(), IDC_INFO_WEB_LINK));
    }
}

}  // namespace
