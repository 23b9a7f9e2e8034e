// RAII for handles and GDI objects.
#pragma once

#include <windows.h>

// Owns a GDI object (brush, pen, font, bitmap) and deletes it.
template <class T>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(T h) : handle(h) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& other) noexcept : handle(other.Release()) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    T Get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }
    T Release() { T h = handle; handle = nullptr; return h; }
    void Reset(T h = nullptr) {
        if (handle) ::DeleteObject(handle);
        handle = h;
    }

private:
    T handle = nullptr;
};

// Selects an object into a device context and selects the previous one back.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) : dc(dc), previous(object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectGuard() { if (previous) ::SelectObject(dc, previous); }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;

private:
    HDC dc;
    HGDIOBJ previous;
};

// Fills a rectangle with one colour, without a brush to make and delete.
inline void FillSolid(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
    const RECT r = {left, top, right, bottom};
    const COLORREF previous = ::SetBkColor(dc, color);
    ::ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    ::SetBkColor(dc, previous);
}

// A memory device context compatible with the screen, deleted at the end.
class MemoryDC {
public:
    MemoryDC() : dc(::CreateCompatibleDC(nullptr)) {}
    ~MemoryDC() { if (dc) ::DeleteDC(dc); }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    HDC Get() const { return dc; }

private:
    HDC dc;
};
