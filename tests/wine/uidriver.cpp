// uidriver: a small, long-lived console program that looks at and works the
// windows of other programs in the same Wine prefix, for the end-to-end tests.
//
// Protocol: one command per line on stdin, fields separated by TAB; inside a
// field the sequences \t \n \r \\ stand for TAB, line feed, carriage return
// and backslash. Text is UTF-8. Each command is answered by exactly one line
// on stdout, a JSON object: {"ok":true,"v":<value>} or {"ok":false,"error":"..."}.
// Numbers may be written in decimal or with 0x; window handles are integers.
// The command list is in Commands() at the bottom; tests/wine/world.py wraps
// every command in a Python method.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---------------------------------------------------------------- text ----

std::wstring Widen(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

void AppendHex4(std::string& out, unsigned v) {
    static const char digits[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(v >> shift) & 0xF];
}

// JSON string literal of UTF-16 text (non-ASCII as \u escapes).
std::string JsonString(const std::wstring& w) {
    std::string out = "\"";
    for (wchar_t c : w) {
        unsigned v = static_cast<unsigned>(c) & 0xFFFF;
        if (v == '"') out += "\\\"";
        else if (v == '\\') out += "\\\\";
        else if (v == '\n') out += "\\n";
        else if (v == '\r') out += "\\r";
        else if (v == '\t') out += "\\t";
        else if (v < 0x20 || v >= 0x7F) AppendHex4(out, v);
        else out += static_cast<char>(v);
    }
    out += "\"";
    return out;
}

std::string JsonString(const std::string& ascii) { return JsonString(Widen(ascii)); }

std::string JsonInt(long long v) { return std::to_string(v); }
std::string JsonBool(bool b) { return b ? "true" : "false"; }
std::string JsonHwnd(HWND h) { return JsonInt(static_cast<long long>(reinterpret_cast<INT_PTR>(h))); }

// A JSON object built field by field.
class Obj {
public:
    Obj& Add(const char* key, const std::string& json) {
        body_ += body_.empty() ? "" : ",";
        body_ += JsonString(std::string(key));
        body_ += ":";
        body_ += json;
        return *this;
    }
    std::string Str() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

std::string JsonArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += ",";
        out += items[i];
    }
    return out + "]";
}

struct Failure {
    std::string message;
};

[[noreturn]] void Fail(const std::string& message) { throw Failure{message}; }

// ----------------------------------------------------------- arguments ----

class Args {
public:
    explicit Args(std::vector<std::string> fields) : f_(std::move(fields)) {}
    size_t Count() const { return f_.size(); }
    bool Has(size_t i) const { return i < f_.size(); }
    const std::string& Str(size_t i) const {
        if (i >= f_.size()) Fail("missing argument " + std::to_string(i));
        return f_[i];
    }
    std::wstring WStr(size_t i) const { return Widen(Str(i)); }
    long long Int(size_t i) const {
        const std::string& s = Str(i);
        char* end = nullptr;
        long long v;
        if (!s.empty() && s[0] == '-') {
            v = std::strtoll(s.c_str(), &end, 0);
        } else {
            v = static_cast<long long>(std::strtoull(s.c_str(), &end, 0));
        }
        if (s.empty() || !end || *end) Fail("not a number: " + s);
        return v;
    }
    long long Int(size_t i, long long fallback) const { return Has(i) && !f_[i].empty() ? Int(i) : fallback; }
    HWND Hwnd(size_t i) const {
        HWND h = reinterpret_cast<HWND>(static_cast<INT_PTR>(Int(i)));
        if (!::IsWindow(h)) Fail("no such window: " + Str(i));
        return h;
    }

private:
    std::vector<std::string> f_;
};

std::vector<std::string> SplitLine(const std::string& line) {
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            char n = line[++i];
            fields.back() += n == 't' ? '\t' : n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// ------------------------------------------------------------- windows ----

const UINT kSendTimeout = 5000;

std::wstring ClassOf(HWND h) {
    wchar_t buf[256] = {0};
    ::GetClassNameW(h, buf, 256);
    return buf;
}

std::wstring TitleOf(HWND h) {
    wchar_t buf[1024] = {0};
    ::InternalGetWindowText(h, buf, 1024);
    return buf;
}

// The text a window reports to WM_GETTEXT (works across processes), or its
// stored title when the owner does not answer.
std::wstring TextOf(HWND h) {
    DWORD_PTR len = 0;
    if (::SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeout, &len)) {
        std::vector<wchar_t> buf(len + 2, L'\0');
        DWORD_PTR got = 0;
        if (::SendMessageTimeoutW(h, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                                  SMTO_ABORTIFHUNG, kSendTimeout, &got)) {
            return std::wstring(buf.data(), wcsnlen(buf.data(), buf.size()));
        }
    }
    return TitleOf(h);
}

DWORD PidOf(HWND h, DWORD* tid = nullptr) {
    DWORD pid = 0;
    DWORD t = ::GetWindowThreadProcessId(h, &pid);
    if (tid) *tid = t;
    return pid;
}

bool StyleVisible(HWND h) { return (::GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0; }

std::string RectJson(const RECT& r) {
    return Obj().Add("left", JsonInt(r.left)).Add("top", JsonInt(r.top))
        .Add("right", JsonInt(r.right)).Add("bottom", JsonInt(r.bottom)).Str();
}

BOOL CALLBACK CollectWindow(HWND h, LPARAM p) {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> out;
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&out));
    return out;
}

std::vector<HWND> ChildWindows(HWND parent, bool directOnly) {
    std::vector<HWND> out;
    ::EnumChildWindows(parent, &CollectWindow, reinterpret_cast<LPARAM>(&out));
    if (directOnly) {
        std::vector<HWND> direct;
        for (HWND h : out)
            if (::GetParent(h) == parent || ::GetAncestor(h, GA_PARENT) == parent) direct.push_back(h);
        return direct;
    }
    return out;
}

std::string TopJson(HWND h) {
    DWORD tid = 0;
    DWORD pid = PidOf(h, &tid);
    RECT r = {0, 0, 0, 0};
    ::GetWindowRect(h, &r);
    return Obj().Add("hwnd", JsonHwnd(h)).Add("cls", JsonString(ClassOf(h)))
        .Add("title", JsonString(TitleOf(h))).Add("pid", JsonInt(pid)).Add("tid", JsonInt(tid))
        .Add("visible", JsonBool(::IsWindowVisible(h) != 0)).Add("enabled", JsonBool(::IsWindowEnabled(h) != 0))
        .Add("owner", JsonHwnd(::GetWindow(h, GW_OWNER))).Add("rect", RectJson(r)).Str();
}

std::string ChildJson(HWND h) {
    RECT r = {0, 0, 0, 0};
    ::GetWindowRect(h, &r);
    return Obj().Add("hwnd", JsonHwnd(h)).Add("id", JsonInt(::GetDlgCtrlID(h)))
        .Add("cls", JsonString(ClassOf(h))).Add("text", JsonString(TitleOf(h)))
        .Add("parent", JsonHwnd(::GetAncestor(h, GA_PARENT)))
        .Add("style", JsonInt(static_cast<unsigned long>(::GetWindowLongW(h, GWL_STYLE))))
        .Add("visible", JsonBool(StyleVisible(h))).Add("enabled", JsonBool(::IsWindowEnabled(h) != 0))
        .Add("rect", RectJson(r)).Str();
}

// "*" matches anything; otherwise an exact, case-sensitive match.
bool Matches(const std::wstring& pattern, const std::wstring& value) {
    return pattern == L"*" || pattern == value;
}

HWND FindTop(const std::wstring& cls, const std::wstring& title, DWORD pid, bool visibleOnly) {
    for (HWND h : TopLevelWindows()) {
        if (pid && PidOf(h) != pid) continue;
        if (visibleOnly && !::IsWindowVisible(h)) continue;
        if (!Matches(cls, ClassOf(h)) || !Matches(title, TitleOf(h))) continue;
        return h;
    }
    return nullptr;
}

// A screen coordinate as SendInput's absolute coordinate (0..65535 across the
// virtual screen that starts at `origin` and is `extent` pixels wide). The
// system maps n back to origin + n * extent / 65536; rounding up here makes
// that land on the very pixel.
LONG AbsoluteMouse(LONG pos, int origin, int extent) {
    if (extent <= 1) return 0;
    long long offset = static_cast<long long>(pos) - origin;
    if (offset < 0) offset = 0;
    if (offset > extent - 1) offset = extent - 1;
    long long n = (offset * 65536 + extent - 1) / extent;
    return static_cast<LONG>(n > 65535 ? 65535 : n);
}

// ------------------------------------------------------- message boxes ----

// Wine keeps a message box's icon in static 1088, Windows in static 0x14;
// the text is in static 0xFFFF.
const int kMsgBoxText = 0xFFFF;
const int kMsgBoxIconWine = 1088;
const int kMsgBoxIconWindows = 0x14;

bool IsPushButton(HWND h) {
    if (ClassOf(h) != L"Button") return false;
    LONG type = ::GetWindowLongW(h, GWL_STYLE) & 0x0F;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// A dialog that holds only the message text, an icon static and push buttons.
bool IsMessageBox(HWND h) {
    if (ClassOf(h) != L"#32770") return false;
    bool text = false;
    bool button = false;
    for (HWND c : ChildWindows(h, true)) {
        int id = ::GetDlgCtrlID(c);
        std::wstring cls = ClassOf(c);
        if (cls == L"Static" && id == kMsgBoxText) { text = true; continue; }
        if (cls == L"Static" && (id == kMsgBoxIconWine || id == kMsgBoxIconWindows)) continue;
        if (IsPushButton(c)) { button = true; continue; }
        return false;
    }
    return text && button;
}

HWND MessageBoxIconStatic(HWND box) {
    HWND icon = ::GetDlgItem(box, kMsgBoxIconWine);
    if (!icon) icon = ::GetDlgItem(box, kMsgBoxIconWindows);
    return icon;
}

// Pixels of a screen rectangle, as 0x00RRGGBB, top row first.
struct Pixels {
    int w = 0;
    int h = 0;
    std::vector<DWORD> px;
    DWORD At(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
};

Pixels GrabScreen(const RECT& r) {
    Pixels out;
    out.w = r.right - r.left;
    out.h = r.bottom - r.top;
    if (out.w <= 0 || out.h <= 0) Fail("empty rectangle");
    if (out.w > 8192 || out.h > 8192) Fail("rectangle too large");
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = out.w;
    bi.bmiHeader.biHeight = -out.h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits) {
        ::DeleteDC(mem);
        ::ReleaseDC(nullptr, screen);
        Fail("CreateDIBSection failed");
    }
    HGDIOBJ old = ::SelectObject(mem, dib);
    BOOL ok = ::BitBlt(mem, 0, 0, out.w, out.h, screen, r.left, r.top, SRCCOPY);
    ::GdiFlush();
    out.px.assign(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + out.w * out.h);
    for (DWORD& p : out.px) p &= 0x00FFFFFF;
    ::SelectObject(mem, old);
    ::DeleteObject(dib);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    if (!ok) Fail("BitBlt from the screen failed");
    return out;
}

// Draws `icon` over `background` into a w x h picture, as the static does.
Pixels RenderIcon(HICON icon, int w, int h, DWORD background) {
    Pixels out;
    out.w = w;
    out.h = h;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, dib);
    COLORREF bg = RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF);
    HBRUSH brush = ::CreateSolidBrush(bg);
    RECT all = {0, 0, w, h};
    ::FillRect(mem, &all, brush);
    ::DeleteObject(brush);
    ::DrawIconEx(mem, 0, 0, icon, w, h, 0, nullptr, DI_NORMAL);
    ::GdiFlush();
    out.px.assign(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + w * h);
    for (DWORD& p : out.px) p &= 0x00FFFFFF;
    ::SelectObject(mem, old);
    ::DeleteObject(dib);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return out;
}

double MeanDifference(const Pixels& a, const Pixels& b) {
    if (a.w != b.w || a.h != b.h || a.px.empty()) return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.px.size(); ++i)
        for (int shift = 0; shift <= 16; shift += 8)
            sum += std::abs(static_cast<int>((a.px[i] >> shift) & 0xFF) - static_cast<int>((b.px[i] >> shift) & 0xFF));
    return sum / (a.px.size() * 3.0);
}

// Which standard icon a visible message box shows: "stop", "question",
// "exclamation", "information", "none" (no icon static or no icon set) or
// "unknown" (hidden or covered, or none of the four).
std::string IdentifyIcon(HWND box) {
    HWND icon = MessageBoxIconStatic(box);
    if (!icon || !StyleVisible(icon)) return "none";
    DWORD_PTR handle = 0;
    ::SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeout, &handle);
    if (!handle) return "none";
    if (!::IsWindowVisible(box)) return "unknown";
    RECT r;
    ::GetWindowRect(icon, &r);
    Pixels shot;
    try {
        shot = GrabScreen(r);
    } catch (const Failure&) {
        return "unknown";
    }
    // The corners of the standard icons are transparent: the top-left pixel
    // is the background the static painted.
    DWORD background = shot.At(0, 0);
    struct Ref { const char* name; LPCWSTR id; } refs[] = {
        {"stop", MAKEINTRESOURCEW(32513)},         // IDI_HAND
        {"question", MAKEINTRESOURCEW(32514)},     // IDI_QUESTION
        {"exclamation", MAKEINTRESOURCEW(32515)},  // IDI_EXCLAMATION
        {"information", MAKEINTRESOURCEW(32516)},  // IDI_ASTERISK
    };
    const char* best = "unknown";
    double bestScore = 1e9;
    for (const Ref& ref : refs) {
        HICON h = ::LoadIconW(nullptr, ref.id);
        if (!h) continue;
        double score = MeanDifference(shot, RenderIcon(h, shot.w, shot.h, background));
        if (score < bestScore) {
            bestScore = score;
            best = ref.name;
        }
    }
    return bestScore < 12.0 ? best : "unknown";
}

std::string MessageBoxJson(HWND box, bool withIcon) {
    std::vector<std::string> buttons;
    for (HWND c : ChildWindows(box, true)) {
        if (!IsPushButton(c) || !StyleVisible(c)) continue;
        buttons.push_back(Obj().Add("id", JsonInt(::GetDlgCtrlID(c))).Add("text", JsonString(TitleOf(c))).Str());
    }
    HWND text = ::GetDlgItem(box, kMsgBoxText);
    Obj o;
    o.Add("hwnd", JsonHwnd(box)).Add("pid", JsonInt(PidOf(box))).Add("title", JsonString(TitleOf(box)))
        .Add("text", JsonString(text ? TextOf(text) : std::wstring()))
        .Add("buttons", JsonArray(buttons)).Add("visible", JsonBool(::IsWindowVisible(box) != 0))
        .Add("owner", JsonHwnd(::GetWindow(box, GW_OWNER)));
    HWND icon = MessageBoxIconStatic(box);
    DWORD_PTR handle = 0;
    if (icon) ::SendMessageTimeoutW(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeout, &handle);
    o.Add("has_icon", JsonBool(icon && StyleVisible(icon) && handle));
    if (withIcon) o.Add("icon", JsonString(IdentifyIcon(box)));
    return o.Str();
}

// ------------------------------------------------------------- keyboard ----

LPARAM KeyLParam(UINT vk, bool up) {
    UINT scan = ::MapVirtualKeyW(vk, 0 /* MAPVK_VK_TO_VSC */);
    LPARAM l = 1 | (static_cast<LPARAM>(scan & 0xFF) << 16);
    switch (vk) {
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: case VK_HOME: case VK_END:
    case VK_PRIOR: case VK_NEXT: case VK_INSERT: case VK_DELETE:
        l |= 1 << 24;
        break;
    default:
        break;
    }
    if (up) l |= static_cast<LPARAM>(3u << 30);
    return l;
}

// The window that has the keyboard focus in `h`'s thread, if it is `h` or
// lies within it; otherwise `h`.
HWND FocusWithin(HWND h) {
    DWORD tid = ::GetWindowThreadProcessId(h, nullptr);
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (::GetGUIThreadInfo(tid, &info) && info.hwndFocus) {
        if (info.hwndFocus == h || ::IsChild(h, info.hwndFocus)) return info.hwndFocus;
    }
    return h;
}

std::vector<UINT> ParseKeys(const std::string& list) {
    std::vector<UINT> keys;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string k = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!k.empty()) {
            char* end = nullptr;
            unsigned long v = std::strtoul(k.c_str(), &end, 0);
            if (*end || v == 0 || v > 0xFE) Fail("bad virtual key: " + k);
            keys.push_back(static_cast<UINT>(v));
        }
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (keys.empty()) Fail("no keys");
    return keys;
}

// Runs `fn` with our input state attached to the thread of `h`, so that
// focus and activation calls reach it.
template <class F>
void WithAttachedInput(HWND h, F fn) {
    DWORD target = ::GetWindowThreadProcessId(h, nullptr);
    DWORD self = ::GetCurrentThreadId();
    BOOL attached = target != self && ::AttachThreadInput(self, target, TRUE);
    fn();
    if (attached) ::AttachThreadInput(self, target, FALSE);
}

// ------------------------------------------------------------- registry ----

struct KeyPath {
    HKEY root;
    std::wstring sub;
};

KeyPath ParseKey(const std::wstring& path) {
    struct { const wchar_t* name; HKEY root; } roots[] = {
        {L"HKCU\\", HKEY_CURRENT_USER}, {L"HKEY_CURRENT_USER\\", HKEY_CURRENT_USER},
        {L"HKLM\\", HKEY_LOCAL_MACHINE}, {L"HKEY_LOCAL_MACHINE\\", HKEY_LOCAL_MACHINE},
    };
    for (auto& r : roots) {
        size_t n = wcslen(r.name);
        if (path.size() >= n && _wcsnicmp(path.c_str(), r.name, n) == 0) return {r.root, path.substr(n)};
    }
    return {HKEY_CURRENT_USER, path};
}

std::string ValueJson(DWORD type, const std::vector<BYTE>& data) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring s(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
        while (!s.empty() && s.back() == L'\0') s.pop_back();
        return JsonString(s);
    }
    if (type == REG_DWORD && data.size() >= 4) {
        DWORD v;
        std::memcpy(&v, data.data(), 4);
        return Obj().Add("type", JsonInt(type)).Add("dword", JsonInt(v)).Str();
    }
    std::string hex;
    static const char digits[] = "0123456789abcdef";
    for (BYTE b : data) {
        hex += digits[b >> 4];
        hex += digits[b & 0xF];
    }
    return Obj().Add("type", JsonInt(type)).Add("hex", JsonString(hex)).Str();
}

// An object {name: value} of the key's values (built without Obj so that
// names with any characters stay intact).
std::string ValuesObject(HKEY key) {
    std::string body;
    for (DWORD i = 0;; ++i) {
        std::vector<wchar_t> name(16384);
        DWORD nameLen = static_cast<DWORD>(name.size());
        DWORD type = 0;
        DWORD size = 0;
        LONG rc = ::RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, nullptr, &size);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) break;
        std::vector<BYTE> data(size + 2, 0);
        DWORD got = static_cast<DWORD>(data.size());
        nameLen = static_cast<DWORD>(name.size());
        if (::RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &got) != ERROR_SUCCESS)
            continue;
        data.resize(got);
        body += body.empty() ? "" : ",";
        body += JsonString(std::wstring(name.data(), nameLen)) + ":" + ValueJson(type, data);
    }
    return "{" + body + "}";
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD len = 256;
        if (::RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, len);
    }
    return names;
}

std::string DumpKey(HKEY key, int depth) {
    std::string subs;
    if (depth < 32) {
        for (const std::wstring& name : SubkeyNames(key)) {
            HKEY sub;
            if (::RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
            subs += subs.empty() ? "" : ",";
            subs += JsonString(name) + ":" + DumpKey(sub, depth + 1);
            ::RegCloseKey(sub);
        }
    }
    return "{\"values\":" + ValuesObject(key) + ",\"keys\":{" + subs + "}}";
}

LONG DeleteTree(HKEY root, const std::wstring& path) {
    HKEY key;
    LONG rc = ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WRITE, &key);
    if (rc != ERROR_SUCCESS) return rc;
    for (const std::wstring& name : SubkeyNames(key)) DeleteTree(key, name);
    ::RegCloseKey(key);
    return ::RegDeleteKeyW(root, path.c_str());
}

// ---------------------------------------------------------------- files ----

void WriteBmp(const std::wstring& path, const Pixels& p) {
    const DWORD rowBytes = static_cast<DWORD>((p.w * 3 + 3) & ~3);
    const DWORD imageBytes = rowBytes * p.h;
    BITMAPFILEHEADER fh = {};
    BITMAPINFOHEADER ih = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(ih);
    fh.bfSize = fh.bfOffBits + imageBytes;
    ih.biSize = sizeof(ih);
    ih.biWidth = p.w;
    ih.biHeight = p.h;  // bottom-up
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biCompression = BI_RGB;
    ih.biSizeImage = imageBytes;
    std::vector<BYTE> image(imageBytes, 0);
    for (int y = 0; y < p.h; ++y) {
        BYTE* row = &image[static_cast<size_t>(p.h - 1 - y) * rowBytes];
        for (int x = 0; x < p.w; ++x) {
            DWORD v = p.At(x, y);
            row[x * 3 + 0] = static_cast<BYTE>(v & 0xFF);
            row[x * 3 + 1] = static_cast<BYTE>((v >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<BYTE>((v >> 16) & 0xFF);
        }
    }
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) Fail("cannot create the picture file");
    DWORD done = 0;
    bool ok = ::WriteFile(f, &fh, sizeof(fh), &done, nullptr) && ::WriteFile(f, &ih, sizeof(ih), &done, nullptr) &&
              ::WriteFile(f, image.data(), imageBytes, &done, nullptr);
    ::CloseHandle(f);
    if (!ok) Fail("cannot write the picture file");
}

// The screen rectangle of a window: "window" (whole) or "client" (default).
RECT AreaOf(HWND h, const std::string& which) {
    RECT r;
    if (which == "window") {
        ::GetWindowRect(h, &r);
    } else {
        ::GetClientRect(h, &r);
        POINT tl = {r.left, r.top};
        POINT br = {r.right, r.bottom};
        ::ClientToScreen(h, &tl);
        ::ClientToScreen(h, &br);
        r = {tl.x, tl.y, br.x, br.y};
    }
    return r;
}

HANDLE OpenComPort(long long n) {
    if (n < 1 || n > 255) Fail("bad port number");
    std::wstring name = L"\\\\.\\COM" + std::to_wstring(n);
    HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) Fail("cannot open COM" + std::to_string(n) + " (error " + std::to_string(::GetLastError()) + ")");
    COMMTIMEOUTS t = {};
    t.ReadIntervalTimeout = MAXDWORD;
    ::SetCommTimeouts(h, &t);
    return h;
}

// ------------------------------------------------------------ processes ----

// Every process of the prefix.
std::vector<PROCESSENTRY32W> ProcessList() {
    std::vector<PROCESSENTRY32W> list;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) Fail("no process snapshot");
    PROCESSENTRY32W pe = {};
    pe.dwSize = sizeof(pe);
    for (BOOL more = ::Process32FirstW(snap, &pe); more; more = ::Process32NextW(snap, &pe)) list.push_back(pe);
    ::CloseHandle(snap);
    return list;
}

// The head of RTL_USER_PROCESS_PARAMETERS, up to the environment pointer.
struct ProcessParametersHead {
    ULONG maximumLength, length, flags, debugFlags;
    HANDLE consoleHandle;
    ULONG consoleFlags;
    HANDLE stdInput, stdOutput, stdError;
    UNICODE_STRING currentDirectory;
    HANDLE currentDirectoryHandle;
    UNICODE_STRING dllPath, imagePathName, commandLine;
    void* environment;
};

// PROCESS_BASIC_INFORMATION, with the exit status widened to its slot.
struct BasicInformation {
    LONG_PTR exitStatus;
    void* peb;
    ULONG_PTR affinityMask;
    LONG_PTR basePriority;
    ULONG_PTR processId;
    ULONG_PTR parentProcessId;
};

bool ReadRemote(HANDLE process, const void* at, void* to, size_t size) {
    SIZE_T got = 0;
    return ::ReadProcessMemory(process, at, to, size, &got) && got == size;
}

// The environment block of another process of our own word size, read
// through its PEB; empty when it cannot be read (yet), capped at 256 KiB.
std::wstring EnvironmentOf(DWORD pid) {
    typedef LONG(WINAPI * QueryFn)(HANDLE, int, void*, ULONG, ULONG*);
    static const QueryFn query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process) return std::wstring();
    std::wstring env;
    BasicInformation info = {};
    void* params = nullptr;
    ProcessParametersHead head = {};
    if (query && query(process, 0 /* ProcessBasicInformation */, &info, sizeof(info), nullptr) == 0 &&
        info.peb && ReadRemote(process, static_cast<char*>(info.peb) + 4 * sizeof(void*), &params, sizeof(params)) &&
        params && ReadRemote(process, params, &head, sizeof(head)) && head.environment) {
        const size_t page = 4096, cap = 256 * 1024;
        auto at = reinterpret_cast<uintptr_t>(head.environment);
        std::vector<char> bytes;
        while (bytes.size() < cap) {
            size_t chunk = page - (at % page);
            size_t old = bytes.size();
            bytes.resize(old + chunk);
            if (!ReadRemote(process, reinterpret_cast<const void*>(at), &bytes[old], chunk)) {
                bytes.resize(old);
                break;
            }
            at += chunk;
            // The block ends with an empty string: two wide NULs in a row.
            bool ended = false;
            for (size_t i = (old >= 2 ? old - 2 : 0) & ~size_t(1); i + 3 < bytes.size(); i += 2) {
                if (!bytes[i] && !bytes[i + 1] && !bytes[i + 2] && !bytes[i + 3]) { ended = true; break; }
            }
            if (ended) break;
        }
        env.assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    }
    ::CloseHandle(process);
    return env;
}

bool HasVariable(const std::wstring& env, const std::wstring& entry) {
    for (size_t at = 0; at < env.size();) {
        size_t end = env.find(L'\0', at);
        if (end == std::wstring::npos) end = env.size();
        if (end == at) break;
        if (env.compare(at, end - at, entry) == 0) return true;
        at = end + 1;
    }
    return false;
}

// The process named `exe` whose environment holds CRIB_PROCESS=<mark>. A
// process it started inherits the mark; of several, the one whose parent
// is not among them is the program. 0 when none shows up (yet).
DWORD FindMarkedProcess(const std::string& mark, const std::string& exe) {
    const std::wstring entry = L"CRIB_PROCESS=" + Widen(mark);
    const std::wstring name = Widen(exe);
    std::vector<std::pair<DWORD, DWORD>> found;  // (pid, parent)
    for (const PROCESSENTRY32W& pe : ProcessList()) {
        if (::lstrcmpiW(pe.szExeFile, name.c_str()) != 0) continue;
        if (HasVariable(EnvironmentOf(pe.th32ProcessID), entry))
            found.emplace_back(pe.th32ProcessID, pe.th32ParentProcessID);
    }
    for (const auto& p : found) {
        bool parentFound = false;
        for (const auto& q : found) parentFound = parentFound || q.first == p.second;
        if (!parentFound) return p.first;
    }
    return 0;
}

// ------------------------------------------------------ shell and files ----

// A shortcut (.lnk) as the shell reads it: {target, workdir, args, icon,
// icon_index}.
std::string ShortcutJson(const std::wstring& path) {
    IShellLinkW* link = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link))))
        Fail("no shell link object");
    IPersistFile* file = nullptr;
    HRESULT hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (SUCCEEDED(hr)) {
        hr = file->Load(path.c_str(), STGM_READ);
        file->Release();
    }
    if (FAILED(hr)) {
        link->Release();
        Fail("cannot read the shortcut");
    }
    wchar_t target[MAX_PATH] = {}, dir[MAX_PATH] = {}, args[1024] = {}, icon[MAX_PATH] = {};
    int iconIndex = 0;
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetWorkingDirectory(dir, MAX_PATH);
    link->GetArguments(args, 1024);
    link->GetIconLocation(icon, MAX_PATH, &iconIndex);
    link->Release();
    return Obj().Add("target", JsonString(std::wstring(target))).Add("workdir", JsonString(std::wstring(dir)))
        .Add("args", JsonString(std::wstring(args))).Add("icon", JsonString(std::wstring(icon)))
        .Add("icon_index", JsonInt(iconIndex)).Str();
}

// A file's version resource: {file_version: [a, b, c, d], product_version:
// [...], strings: {name: text}} with the strings of its first translation;
// null when the file has none.
std::string VersionJson(const std::wstring& path) {
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) return "null";
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return "null";
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) || len < sizeof *fixed)
        return "null";
    auto four = [](DWORD ms, DWORD ls) {
        return JsonArray({JsonInt(HIWORD(ms)), JsonInt(LOWORD(ms)), JsonInt(HIWORD(ls)), JsonInt(LOWORD(ls))});
    };
    Obj strings;
    struct Translation { WORD language, codePage; }* tr = nullptr;
    if (::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &len) &&
        len >= sizeof *tr) {
        static const wchar_t* const names[] = {L"CompanyName", L"FileDescription", L"FileVersion",
                                               L"InternalName", L"LegalCopyright", L"OriginalFilename",
                                               L"ProductName", L"ProductVersion"};
        for (const wchar_t* name : names) {
            wchar_t query[128];
            ::wsprintfW(query, L"\\StringFileInfo\\%04x%04x\\%s", tr->language, tr->codePage, name);
            wchar_t* text = nullptr;
            if (::VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&text), &len) && text) {
                char key[64];
                ::WideCharToMultiByte(CP_UTF8, 0, name, -1, key, sizeof key, nullptr, nullptr);
                strings.Add(key, JsonString(std::wstring(text)));
            }
        }
    }
    return Obj().Add("file_version", four(fixed->dwFileVersionMS, fixed->dwFileVersionLS))
        .Add("product_version", four(fixed->dwProductVersionMS, fixed->dwProductVersionLS))
        .Add("strings", strings.Str()).Str();
}

// ------------------------------------------------------------- commands ----

std::string Run(const Args& a) {
    const std::string& cmd = a.Str(0);

    if (cmd == "ping") return JsonString(std::string("pong"));

    // find <class|*> <title|*> [pid] [visible_only]
    if (cmd == "find") {
        return JsonHwnd(FindTop(a.WStr(1), a.WStr(2), static_cast<DWORD>(a.Int(3, 0)), a.Int(4, 0) != 0));
    }
    // wait <class|*> <title|*> <pid> <visible_only> <timeout_ms>: like find, polling
    if (cmd == "wait") {
        DWORD deadline = ::GetTickCount() + static_cast<DWORD>(a.Int(5, 10000));
        for (;;) {
            HWND h = FindTop(a.WStr(1), a.WStr(2), static_cast<DWORD>(a.Int(3, 0)), a.Int(4, 0) != 0);
            if (h || static_cast<LONG>(::GetTickCount() - deadline) >= 0) return JsonHwnd(h);
            ::Sleep(25);
        }
    }
    // windows [pid]: top-level windows (all when pid is 0)
    if (cmd == "windows") {
        DWORD pid = static_cast<DWORD>(a.Int(1, 0));
        std::vector<std::string> items;
        for (HWND h : TopLevelWindows())
            if (!pid || PidOf(h) == pid) items.push_back(TopJson(h));
        return JsonArray(items);
    }
    // info <hwnd>: the top-level description of any window
    if (cmd == "info") return TopJson(a.Hwnd(1));
    // children <hwnd> [all]: direct children, or all descendants
    if (cmd == "children") {
        std::vector<std::string> items;
        for (HWND h : ChildWindows(a.Hwnd(1), a.Int(2, 0) == 0)) items.push_back(ChildJson(h));
        return JsonArray(items);
    }
    if (cmd == "item") return JsonHwnd(::GetDlgItem(a.Hwnd(1), static_cast<int>(a.Int(2))));
    if (cmd == "exists") {
        HWND h = reinterpret_cast<HWND>(static_cast<INT_PTR>(a.Int(1)));
        return JsonBool(h && ::IsWindow(h));
    }
    if (cmd == "text") return JsonString(TextOf(a.Hwnd(1)));
    if (cmd == "title") return JsonString(TitleOf(a.Hwnd(1)));
    if (cmd == "class") return JsonString(ClassOf(a.Hwnd(1)));
    if (cmd == "settext") {
        HWND h = a.Hwnd(1);
        std::wstring t = a.WStr(2);
        DWORD_PTR r = 0;
        ::SendMessageTimeoutW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t.c_str()), SMTO_ABORTIFHUNG, kSendTimeout, &r);
        return JsonInt(static_cast<long long>(r));
    }
    if (cmd == "check") {
        DWORD_PTR r = 0;
        if (!::SendMessageTimeoutW(a.Hwnd(1), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeout, &r))
            Fail("BM_GETCHECK timed out");
        return JsonInt(static_cast<long long>(r));
    }
    // state <hwnd>: style flags, visibility, enabling, focus, rectangles
    if (cmd == "state") {
        HWND h = a.Hwnd(1);
        DWORD tid = ::GetWindowThreadProcessId(h, nullptr);
        GUITHREADINFO gi = {};
        gi.cbSize = sizeof(gi);
        ::GetGUIThreadInfo(tid, &gi);
        RECT client = AreaOf(h, "client");
        RECT win = AreaOf(h, "window");
        return Obj().Add("hwnd", JsonHwnd(h)).Add("visible", JsonBool(::IsWindowVisible(h) != 0))
            .Add("style_visible", JsonBool(StyleVisible(h))).Add("enabled", JsonBool(::IsWindowEnabled(h) != 0))
            .Add("style", JsonInt(static_cast<unsigned long>(::GetWindowLongW(h, GWL_STYLE))))
            .Add("exstyle", JsonInt(static_cast<unsigned long>(::GetWindowLongW(h, GWL_EXSTYLE))))
            .Add("iconic", JsonBool(::IsIconic(h) != 0)).Add("focus", JsonHwnd(gi.hwndFocus))
            .Add("active", JsonHwnd(gi.hwndActive)).Add("foreground", JsonHwnd(::GetForegroundWindow()))
            .Add("rect", RectJson(win)).Add("client", RectJson(client)).Str();
    }
    if (cmd == "rect") return RectJson(AreaOf(a.Hwnd(1), a.Has(2) ? a.Str(2) : std::string("window")));
    // click <hwnd>: BM_CLICK, posted (a click that opens a modal box returns at once)
    if (cmd == "click") return JsonBool(::PostMessageW(a.Hwnd(1), BM_CLICK, 0, 0) != 0);
    // command <dialog> <id> [notify]: posts WM_COMMAND as the control would send it
    if (cmd == "command") {
        HWND dlg = a.Hwnd(1);
        int id = static_cast<int>(a.Int(2));
        WPARAM w = MAKEWPARAM(id, static_cast<WORD>(a.Int(3, BN_CLICKED)));
        return JsonBool(::PostMessageW(dlg, WM_COMMAND, w, reinterpret_cast<LPARAM>(::GetDlgItem(dlg, id))) != 0);
    }
    // post <hwnd> <msg> <wparam> <lparam>
    if (cmd == "post") {
        return JsonBool(::PostMessageW(a.Hwnd(1), static_cast<UINT>(a.Int(2)), static_cast<WPARAM>(a.Int(3, 0)),
                                       static_cast<LPARAM>(a.Int(4, 0))) != 0);
    }
    // msgid <name>: the message id the system gives that name (RegisterWindowMessage)
    if (cmd == "msgid") return JsonInt(::RegisterWindowMessageA(a.Str(1).c_str()));
    // send <hwnd> <msg> <wparam> <lparam> [timeout_ms]: the result, or an error on time-out
    if (cmd == "send") {
        DWORD_PTR r = 0;
        if (!::SendMessageTimeoutW(a.Hwnd(1), static_cast<UINT>(a.Int(2)), static_cast<WPARAM>(a.Int(3, 0)),
                                   static_cast<LPARAM>(a.Int(4, 0)), SMTO_ABORTIFHUNG,
                                   static_cast<UINT>(a.Int(5, kSendTimeout)), &r))
            Fail("SendMessageTimeout failed or timed out");
        return JsonInt(static_cast<long long>(static_cast<LRESULT>(r)));
    }
    // key <hwnd> <vk[,vk...]>: posts key down/up to the focused control within hwnd
    if (cmd == "key") {
        HWND h = a.Hwnd(1);
        HWND target = FocusWithin(h);
        for (UINT vk : ParseKeys(a.Str(2))) {
            ::PostMessageW(target, WM_KEYDOWN, vk, KeyLParam(vk, false));
            ::PostMessageW(target, WM_KEYUP, vk, KeyLParam(vk, true));
        }
        return JsonHwnd(target);
    }
    // chars <hwnd> <text>: posts WM_CHAR for each character to hwnd
    if (cmd == "chars") {
        HWND h = a.Hwnd(1);
        for (wchar_t c : a.WStr(2)) ::PostMessageW(h, WM_CHAR, c, 1);
        return JsonBool(true);
    }
    // focus <hwnd>: brings hwnd's top-level window to the front and focuses hwnd
    if (cmd == "focus") {
        HWND h = a.Hwnd(1);
        HWND top = ::GetAncestor(h, GA_ROOT);
        WithAttachedInput(h, [&] {
            ::SetForegroundWindow(top);
            ::SetActiveWindow(top);
            ::SetFocus(h);
        });
        return JsonHwnd(FocusWithin(top));
    }
    if (cmd == "foreground") {
        HWND h = a.Hwnd(1);
        WithAttachedInput(h, [&] { ::SetForegroundWindow(h); });
        return JsonHwnd(::GetForegroundWindow());
    }
    // input <vk[,vk...]>: key presses through SendInput, to whatever has the focus
    if (cmd == "input") {
        std::vector<INPUT> in;
        for (UINT vk : ParseKeys(a.Str(1))) {
            for (int up = 0; up < 2; ++up) {
                INPUT i = {};
                i.type = INPUT_KEYBOARD;
                i.ki.wVk = static_cast<WORD>(vk);
                i.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, 0));
                i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
                in.push_back(i);
            }
        }
        return JsonInt(::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)));
    }
    // mouse <hwnd> <x> <y> [button]: SendInput click at client coordinates.
    // The move to the point travels in the same SendInput as the button
    // events, so the press cannot arrive before the pointer has got there.
    // Returns the number of events injected (3).
    if (cmd == "mouse") {
        HWND h = a.Hwnd(1);
        POINT p = {static_cast<LONG>(a.Int(2)), static_cast<LONG>(a.Int(3))};
        ::ClientToScreen(h, &p);
        std::string button = a.Has(4) ? a.Str(4) : "left";
        if (button != "left" && button != "right") Fail("unknown button: " + button);
        DWORD down = button == "right" ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
        DWORD up = button == "right" ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
        ::SetCursorPos(p.x, p.y);
        INPUT in[3] = {};
        in[0].type = in[1].type = in[2].type = INPUT_MOUSE;
        in[0].mi.dx = AbsoluteMouse(p.x, ::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_CXVIRTUALSCREEN));
        in[0].mi.dy = AbsoluteMouse(p.y, ::GetSystemMetrics(SM_YVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN));
        in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
        in[1].mi.dwFlags = down;
        in[2].mi.dwFlags = up;
        return JsonInt(::SendInput(3, in, sizeof(INPUT)));
    }
    if (cmd == "close") return JsonBool(::PostMessageW(a.Hwnd(1), WM_CLOSE, 0, 0) != 0);
    if (cmd == "syscommand") {
        return JsonBool(::PostMessageW(a.Hwnd(1), WM_SYSCOMMAND, static_cast<WPARAM>(a.Int(2)), 0) != 0);
    }
    // image <hwnd> [type]: STM_GETIMAGE (IMAGE_BITMAP by default); a handle value
    if (cmd == "image") {
        DWORD_PTR r = 0;
        if (!::SendMessageTimeoutW(a.Hwnd(1), STM_GETIMAGE, static_cast<WPARAM>(a.Int(2, IMAGE_BITMAP)), 0,
                                   SMTO_ABORTIFHUNG, kSendTimeout, &r))
            Fail("STM_GETIMAGE timed out");
        return JsonInt(static_cast<long long>(r));
    }
    // tbpos <hwnd>: trackbar position; tbrange <hwnd>: [min, max]
    if (cmd == "tbpos") {
        DWORD_PTR r = 0;
        if (!::SendMessageTimeoutW(a.Hwnd(1), TBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeout, &r))
            Fail("TBM_GETPOS timed out");
        return JsonInt(static_cast<long long>(static_cast<LRESULT>(r)));
    }
    if (cmd == "tbrange") {
        DWORD_PTR lo = 0, hi = 0;
        ::SendMessageTimeoutW(a.Hwnd(1), TBM_GETRANGEMIN, 0, 0, SMTO_ABORTIFHUNG, kSendTimeout, &lo);
        ::SendMessageTimeoutW(a.Hwnd(1), TBM_GETRANGEMAX, 0, 0, SMTO_ABORTIFHUNG, kSendTimeout, &hi);
        return JsonArray({JsonInt(static_cast<LRESULT>(lo)), JsonInt(static_cast<LRESULT>(hi))});
    }
    // capture <hwnd> <windows path> [client|window]: a 24-bit BMP of what the screen shows
    if (cmd == "capture") {
        HWND h = a.Hwnd(1);
        WriteBmp(a.WStr(2), GrabScreen(AreaOf(h, a.Has(3) ? a.Str(3) : std::string("client"))));
        return JsonBool(true);
    }
    // pixel <hwnd> <x> <y>: 0xRRGGBB of the screen at client coordinates
    if (cmd == "pixel") {
        HWND h = a.Hwnd(1);
        POINT p = {static_cast<LONG>(a.Int(2)), static_cast<LONG>(a.Int(3))};
        ::ClientToScreen(h, &p);
        RECT r = {p.x, p.y, p.x + 1, p.y + 1};
        return JsonInt(GrabScreen(r).At(0, 0));
    }
    // grab <hwnd> [client|window]: {"w","h","rgb"}: hex RRGGBB per pixel, rows top first
    if (cmd == "grab") {
        Pixels p = GrabScreen(AreaOf(a.Hwnd(1), a.Has(2) ? a.Str(2) : std::string("client")));
        std::string hex;
        hex.reserve(p.px.size() * 6);
        char buf[8];
        for (DWORD v : p.px) {
            std::snprintf(buf, sizeof(buf), "%06lx", static_cast<unsigned long>(v));
            hex += buf;
        }
        return Obj().Add("w", JsonInt(p.w)).Add("h", JsonInt(p.h)).Add("rgb", "\"" + hex + "\"").Str();
    }
    // msgboxes [pid] [icons]: every message box (hidden ones too) of a process or all
    if (cmd == "msgboxes") {
        DWORD pid = static_cast<DWORD>(a.Int(1, 0));
        bool icons = a.Int(2, 1) != 0;
        std::vector<std::string> items;
        for (HWND h : TopLevelWindows()) {
            if (pid && PidOf(h) != pid) continue;
            if (IsMessageBox(h)) items.push_back(MessageBoxJson(h, icons));
        }
        return JsonArray(items);
    }
    if (cmd == "msgbox") {
        HWND h = a.Hwnd(1);
        if (!IsMessageBox(h)) Fail("not a message box");
        return MessageBoxJson(h, true);
    }
    if (cmd == "ismsgbox") return JsonBool(IsMessageBox(a.Hwnd(1)));
    // answer <msgbox> <button id>: presses that button
    if (cmd == "answer") {
        HWND box = a.Hwnd(1);
        int id = static_cast<int>(a.Int(2));
        HWND button = ::GetDlgItem(box, id);
        if (!button || !StyleVisible(button)) Fail("the box has no button " + std::to_string(id));
        return JsonBool(::PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)) != 0);
    }
    // procs: every process of the prefix, [{pid, ppid, exe}]
    if (cmd == "procs") {
        std::vector<std::string> items;
        for (const PROCESSENTRY32W& pe : ProcessList()) {
            items.push_back(Obj().Add("pid", JsonInt(pe.th32ProcessID)).Add("ppid", JsonInt(pe.th32ParentProcessID))
                                .Add("exe", JsonString(std::wstring(pe.szExeFile))).Str());
        }
        return JsonArray(items);
    }
    if (cmd == "mypid") return JsonInt(::GetCurrentProcessId());
    // winpid MARK EXE: the Windows id of the program the rig marked, or 0
    if (cmd == "winpid") return JsonInt(FindMarkedProcess(a.Str(1), a.Str(2)));
    // screen: the size of the (virtual) desktop the programs see
    if (cmd == "screen") {
        return Obj().Add("w", JsonInt(::GetSystemMetrics(SM_CXSCREEN)))
            .Add("h", JsonInt(::GetSystemMetrics(SM_CYSCREEN))).Str();
    }
    // Registry: keys are relative to HKCU unless they start with HKCU\ or HKLM\.
    if (cmd == "regget") {
        KeyPath k = ParseKey(a.WStr(1));
        HKEY key;
        if (::RegOpenKeyExW(k.root, k.sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "null";
        std::wstring name = a.WStr(2);
        DWORD type = 0, size = 0;
        LONG rc = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (rc != ERROR_SUCCESS) {
            ::RegCloseKey(key);
            return "null";
        }
        std::vector<BYTE> data(size + 2, 0);
        DWORD got = static_cast<DWORD>(data.size());
        rc = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &got);
        ::RegCloseKey(key);
        if (rc != ERROR_SUCCESS) return "null";
        data.resize(got);
        return ValueJson(type, data);
    }
    if (cmd == "regset") {
        KeyPath k = ParseKey(a.WStr(1));
        HKEY key;
        if (::RegCreateKeyExW(k.root, k.sub.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
            Fail("cannot create the key");
        std::wstring name = a.WStr(2);
        std::wstring value = a.WStr(3);
        // An optional count repeats the text: values of any size without a
        // line of that size.
        if (a.Has(4)) {
            const std::wstring unit = value;
            const long long times = a.Int(4);
            if (times < 0 || unit.size() * static_cast<unsigned long long>(times) > (1ull << 29))
                Fail("repeat count out of range");
            value.clear();
            value.reserve(unit.size() * static_cast<std::size_t>(times));
            for (long long i = 0; i < times; ++i) value += unit;
        }
        LONG rc = ::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
        if (rc != ERROR_SUCCESS) Fail("cannot set the value: error " + std::to_string(rc));
        return JsonBool(true);
    }
    if (cmd == "regdel") {
        KeyPath k = ParseKey(a.WStr(1));
        HKEY key;
        if (::RegOpenKeyExW(k.root, k.sub.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) return JsonBool(false);
        LONG rc = ::RegDeleteValueW(key, a.WStr(2).c_str());
        ::RegCloseKey(key);
        return JsonBool(rc == ERROR_SUCCESS);
    }
    if (cmd == "regdelkey") {
        KeyPath k = ParseKey(a.WStr(1));
        if (k.sub.empty()) Fail("refusing to delete a root key");
        return JsonBool(DeleteTree(k.root, k.sub) == ERROR_SUCCESS);
    }
    // reglist <key>: {name: value}, or null when the key does not exist
    if (cmd == "reglist") {
        KeyPath k = ParseKey(a.WStr(1));
        HKEY key;
        if (::RegOpenKeyExW(k.root, k.sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "null";
        std::string r = ValuesObject(key);
        ::RegCloseKey(key);
        return r;
    }
    // regdump <key>: {"values": {...}, "keys": {name: {...}}} recursively, or null
    if (cmd == "regdump") {
        KeyPath k = ParseKey(a.WStr(1));
        HKEY key;
        if (::RegOpenKeyExW(k.root, k.sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "null";
        std::string r = DumpKey(key, 0);
        ::RegCloseKey(key);
        return r;
    }
    // comwrite <n> <text>, comread <n> [wait_ms]: a serial port of the prefix
    if (cmd == "comwrite") {
        HANDLE h = OpenComPort(a.Int(1));
        std::string data = a.Str(2);
        DWORD done = 0;
        BOOL ok = ::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &done, nullptr);
        ::CloseHandle(h);
        if (!ok) Fail("WriteFile failed");
        return JsonInt(done);
    }
    if (cmd == "comread") {
        HANDLE h = OpenComPort(a.Int(1));
        DWORD deadline = ::GetTickCount() + static_cast<DWORD>(a.Int(2, 0));
        std::string got;
        for (;;) {
            char buf[512];
            DWORD n = 0;
            if (!::ReadFile(h, buf, sizeof(buf), &n, nullptr)) break;
            got.append(buf, n);
            if (n == 0) {
                if (!got.empty() || static_cast<LONG>(::GetTickCount() - deadline) >= 0) break;
                ::Sleep(20);
            }
        }
        ::CloseHandle(h);
        std::wstring w;
        for (unsigned char c : got) w += static_cast<wchar_t>(c);
        return JsonString(w);
    }
    // shortcut <path>: what a .lnk file points to (see ShortcutJson)
    if (cmd == "shortcut") return ShortcutJson(a.WStr(1));
    // folder <csidl>: a shell folder's path (SHGetFolderPathW)
    if (cmd == "folder") {
        wchar_t path[MAX_PATH] = {};
        if (FAILED(::SHGetFolderPathW(nullptr, static_cast<int>(a.Int(1)), nullptr, SHGFP_TYPE_CURRENT, path)))
            Fail("no such shell folder");
        return JsonString(std::wstring(path));
    }
    // version <path>: a file's version resource (see VersionJson)
    if (cmd == "version") return VersionJson(a.WStr(1));
    if (cmd == "sleep") {
        ::Sleep(static_cast<DWORD>(a.Int(1)));
        return JsonBool(true);
    }
    Fail("unknown command: " + cmd);
}

}  // namespace

int main() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    // A message queue of our own, so that input attachment works.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    ::InitCommonControls();
    ::CoInitialize(nullptr);  // for the shell's link object

    std::string line;
    int c;
    for (;;) {
        line.clear();
        while ((c = std::fgetc(stdin)) != EOF && c != '\n') line += static_cast<char>(c);
        if (c == EOF && line.empty()) break;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        Args args(SplitLine(line));
        if (args.Str(0) == "quit") {
            std::fputs("{\"ok\":true,\"v\":null}\n", stdout);
            std::fflush(stdout);
            break;
        }
        std::string reply;
        try {
            reply = "{\"ok\":true,\"v\":" + Run(args) + "}";
        } catch (const Failure& f) {
            reply = "{\"ok\":false,\"error\":" + JsonString(f.message) + "}";
        }
        std::fputs(reply.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        // Keep our own queue drained (input attachment may leave messages).
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    return 0;
}
