#include "app/run_picture.h"

#include <objbase.h>
#include <wincodec.h>

#include <new>
#include <utility>

#include "base/meter_colors.h"
#include "ui/gdi.h"

namespace {

// The plot inside the picture; the title and legend above, the hours below.
constexpr int kPlotLeft = 56;
constexpr int kPlotTop = 56;
constexpr int kPlotRight = kRunPictureWidth - 24;
constexpr int kPlotBottom = kRunPictureHeight - 40;
constexpr int kPlotWidth = kPlotRight - kPlotLeft;
constexpr int kPlotHeight = kPlotBottom - kPlotTop;
constexpr int kStride = kRunPictureWidth * 3;  // 24-bit rows, a multiple of four bytes
constexpr int kMarkWidth = 2;
constexpr int kHourLabelRoom = 48;  // an hour label keeps this far from the ends' times

constexpr COLORREF kBackground = RGB(255, 255, 255);
constexpr COLORREF kGrid = RGB(224, 224, 224);
constexpr COLORREF kFrame = RGB(128, 128, 128);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr COLORREF kLevelBelow = kMeterColorBelow;  // as the meters
constexpr COLORREF kLevelReached = kMeterColorReached;
constexpr COLORREF kThresholdLine = RGB(0, 0, 255);
constexpr COLORREF kAlarmCallMark = RGB(255, 0, 0);
constexpr COLORREF kTroubleCallMark = RGB(255, 140, 0);
constexpr COLORREF kFailedCallMark = RGB(0, 0, 0);

void Text(HDC dc, int x, int y, const std::string& text, UINT align) {
    ::SetTextAlign(dc, align | TA_TOP);
    ::TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

// A coloured square and its word; returns where the next one goes.
int LegendItem(HDC dc, int x, int y, COLORREF color, const std::string& text) {
    FillSolid(dc, x, y + 3, x + 10, y + 13, color);
    ::SetBkMode(dc, TRANSPARENT);
    Text(dc, x + 14, y, text, TA_LEFT);
    SIZE size = {};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return x + 14 + size.cx + 20;
}

std::string Clock(const std::tm& t) {
    char text[16];
    wsprintfA(text, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

HFONT Tahoma(int height, int weight) {
    return ::CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Tahoma");
}

void DrawRun(HDC dc, const RunRecord& run, const RunPictureTexts& texts) {
    FillSolid(dc, 0, 0, kRunPictureWidth, kRunPictureHeight, kBackground);
    GdiObject<HFONT> font(Tahoma(-13, FW_NORMAL));
    GdiObject<HFONT> bold(Tahoma(-15, FW_BOLD));
    ::SetTextColor(dc, kText);
    ::SetBkMode(dc, TRANSPARENT);
    {
        SelectGuard selected(dc, bold.Get());
        Text(dc, kPlotLeft, 8, texts.title, TA_LEFT);
    }
    SelectGuard selected(dc, font.Get());

    int x = kPlotLeft;
    x = LegendItem(dc, x, 30, kLevelBelow, texts.level);
    x = LegendItem(dc, x, 30, kThresholdLine, texts.threshold);
    x = LegendItem(dc, x, 30, kAlarmCallMark, texts.alarmCall);
    x = LegendItem(dc, x, 30, kTroubleCallMark, texts.troubleCall);
    LegendItem(dc, x, 30, kFailedCallMark, texts.failedCall);

    // The scale 0..100 with its grid, and the hours.
    for (int level = 0; level <= 100; level += 25) {
        const int y = kPlotTop + RunRowOf(level * 10, kPlotHeight);
        FillSolid(dc, kPlotLeft, y, kPlotRight, y + 1, kGrid);
        char label[8];
        wsprintfA(label, "%d", level);
        Text(dc, kPlotLeft - 6, y - 7, label, TA_RIGHT);
    }
    const std::vector<HourMark> hours = RunHourMarks(run, kPlotWidth);
    for (const HourMark& hour : hours) {
        const int hx = kPlotLeft + hour.column;
        FillSolid(dc, hx, kPlotTop, hx + 1, kPlotBottom + 5, kGrid);
        if (hour.column < kHourLabelRoom || hour.column > kPlotWidth - kHourLabelRoom) continue;
        char label[8];
        wsprintfA(label, "%02d:00", hour.hour);
        Text(dc, hx, kPlotBottom + 6, label, TA_CENTER);
    }
    Text(dc, kPlotLeft, kPlotBottom + 22, Clock(run.start), TA_LEFT);
    Text(dc, kPlotRight, kPlotBottom + 22, Clock(run.last), TA_RIGHT);

    // The alarm level, column by column, then the threshold over it.
    const std::vector<RunColumn> columns = ScaleRun(run, kPlotWidth);
    for (int c = 0; c < kPlotWidth; ++c) {
        const RunColumn& column = columns[static_cast<std::size_t>(c)];
        if (column.level < 0) continue;
        const COLORREF color = column.level >= column.threshold ? kLevelReached : kLevelBelow;
        FillSolid(dc, kPlotLeft + c, kPlotTop + RunRowOf(column.level, kPlotHeight), kPlotLeft + c + 1,
             kPlotBottom, color);
    }
    for (int c = 0; c < kPlotWidth; ++c) {
        const int y = kPlotTop + RunRowOf(columns[static_cast<std::size_t>(c)].threshold, kPlotHeight);
        FillSolid(dc, kPlotLeft + c, y, kPlotLeft + c + 1, y + 1, kThresholdLine);
    }

    // The calls at their moments; a failed one over the call it belongs to.
    for (RunMark kind : {RunMark::AlarmCall, RunMark::TroubleCall, RunMark::FailedCall}) {
        const COLORREF color = kind == RunMark::AlarmCall     ? kAlarmCallMark
                               : kind == RunMark::TroubleCall ? kTroubleCallMark
                                                              : kFailedCallMark;
        for (const RunEvent& event : run.events) {
            if (event.mark != kind) continue;
            const int mx = kPlotLeft + RunColumnOf(run, event.tenths, kPlotWidth);
            FillSolid(dc, mx, kPlotTop, mx + kMarkWidth, kPlotBottom, color);
        }
    }

    // The frame, one pixel outside the plot.
    FillSolid(dc, kPlotLeft - 1, kPlotTop - 1, kPlotRight + 1, kPlotTop, kFrame);
    FillSolid(dc, kPlotLeft - 1, kPlotBottom, kPlotRight + 1, kPlotBottom + 1, kFrame);
    FillSolid(dc, kPlotLeft - 1, kPlotTop - 1, kPlotLeft, kPlotBottom + 1, kFrame);
    FillSolid(dc, kPlotRight, kPlotTop - 1, kPlotRight + 1, kPlotBottom + 1, kFrame);
}

// A COM interface pointer released at the end.
template <class T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef() { if (p) p->Release(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T** Out() { return &p; }
    T* Get() const { return p; }
    T* operator->() const { return p; }

private:
    T* p = nullptr;
};

bool EncodePng(const wchar_t* path, BYTE* bits) {
    ComRef<IWICImagingFactory> factory;
    ComRef<IWICStream> stream;
    ComRef<IWICBitmapEncoder> encoder;
    ComRef<IWICBitmapFrameEncode> frame;
    ComRef<IPropertyBag2> options;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    return SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Out()))) &&
           SUCCEEDED(factory->CreateStream(stream.Out())) &&
           SUCCEEDED(stream->InitializeFromFilename(path, GENERIC_WRITE)) &&
           SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Out())) &&
           SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(frame.Out(), options.Out())) &&
           SUCCEEDED(frame->Initialize(options.Get())) &&
           SUCCEEDED(frame->SetSize(kRunPictureWidth, kRunPictureHeight)) &&
           SUCCEEDED(frame->SetPixelFormat(&format)) && format == GUID_WICPixelFormat24bppBGR &&
           SUCCEEDED(frame->WritePixels(kRunPictureHeight, kStride, kStride * kRunPictureHeight, bits)) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

struct Job {
    std::unique_ptr<RunRecord> run;
    RunPictureTexts texts;
};

// Draws into a bitmap of our own and writes it under a passing name of this
// writer's first, so that a picture is either whole under its name or not
// there, also when two runs of the same second end at once.
void WritePicture(const Job& job) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kRunPictureWidth;
    info.bmiHeader.biHeight = -kRunPictureHeight;  // top-down, as the encoder takes rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiObject<HBITMAP> bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    MemoryDC dc;
    if (!bitmap || !bits || !dc.Get()) return;
    {
        SelectGuard selected(dc.Get(), bitmap.Get());
        DrawRun(dc.Get(), *job.run, job.texts);
        ::GdiFlush();
    }

    const std::string& name = job.run->picture;
    std::wstring path(name.size() + 1, L'\0');
    const int n = ::MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, &path[0], static_cast<int>(path.size()));
    if (n <= 0) return;
    path.resize(static_cast<std::size_t>(n) - 1);
    wchar_t suffix[24];
    wsprintfW(suffix, L".%lu.tmp", ::GetCurrentThreadId());
    const std::wstring passing = path + suffix;
    if (EncodePng(passing.c_str(), static_cast<BYTE*>(bits)) &&
        ::MoveFileExW(passing.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        return;
    ::DeleteFileW(passing.c_str());
}

DWORD WINAPI WriterThread(void* parameter) {
    std::unique_ptr<Job> job(static_cast<Job*>(parameter));
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    WritePicture(*job);
    if (SUCCEEDED(com)) ::CoUninitialize();
    return 0;
}

}  // namespace

RunPictures::~RunPictures() { Finish(0); }

void RunPictures::Write(std::unique_ptr<RunRecord> run, RunPictureTexts texts) {
    if (!run) return;
    Finish(0);  // lets go of the writers that are done
    std::unique_ptr<Job> job(new (std::nothrow) Job{std::move(run), std::move(texts)});
    if (!job) return;
    HANDLE thread = ::CreateThread(nullptr, 0, &WriterThread, job.get(), 0, nullptr);
    if (!thread) return;
    job.release();
    writers.push_back(thread);
}

void RunPictures::Finish(DWORD ms) {
    const DWORD start = ::GetTickCount();
    std::vector<HANDLE> running;
    for (HANDLE thread : writers) {
        const DWORD spent = ::GetTickCount() - start;
        if (::WaitForSingleObject(thread, spent < ms ? ms - spent : 0) == WAIT_OBJECT_0)
            ::CloseHandle(thread);
        else
            running.push_back(thread);
    }
    writers.swap(running);
}
