// A trackbar that draws itself and doubles as a level meter.
#pragma once

#include <windows.h>

#include "ui/control.h"

// The grey background of the main window's level sliders.
constexpr COLORREF kLevelSliderBackground = 0xC0C0C0;

class CProSliderCtrl : public Control {
public:
    CProSliderCtrl();

    // The main window's set-up: positions 0..100 in pages of 10, the thumb
    // at `position`, an empty meter of 0..100 on the grey background.
    void SetUpLevelSlider(int position);

    COLORREF SetBackgroundColor(COLORREF color);  // repaints; returns the previous colour
    COLORREF SetMeterColor(COLORREF color);       // repaints; returns the previous colour
    void SetMeterRange(int minimum, int maximum); // no repaint
    int GetMeterValue() const { return meterValue; }
    int SetMeterValue(int value);                 // repaints; returns the previous value
    // Meter colour and value at once, with one repaint; returns the previous value.
    int SetMeterColorAndValue(COLORREF color, int value);
    void SetThumbColor(COLORREF color);           // repaints

    bool OnReflectedNotify(NMHDR* header, LRESULT* result) override;

protected:
    bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void Repaint();
    void PaintOffScreen();
    // Sets a field that changes what is shown; returns its previous value.
    template <class T>
    T ReplaceAndRepaint(T& field, T value);

    bool IsVertical() const;
    void DrawLevels(HDC dc, const RECT& rect, COLORREF color, bool hasFirstStep, int firstStep,
                    bool deflateAll) const;
    void DrawGradientRect(HDC dc, const RECT& rect, COLORREF color, bool deflateAll) const;
    void DrawGradientRectEx(HDC dc, const RECT& rect, COLORREF color, int firstStep) const;
    void DrawBackground(HDC dc) const;
    void DrawChannel(HDC dc, const RECT& channel) const;
    void DrawThumb(HDC dc, const RECT& thumb, UINT itemState);

    COLORREF backgroundColor;
    COLORREF meterColor;
    int meterMin;
    int meterMax;
    int meterValue;
    COLORREF thumbHoverColor;
    COLORREF thumbNormalColor;
    COLORREF thumbPressedColor;
    COLORREF thumbColor;
    int blinkPhase;
};
