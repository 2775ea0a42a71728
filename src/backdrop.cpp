#include "backdrop.h"

int BandHeight(int screenHeight)
{
    int s = screenHeight / 192;
    return s == 1 ? 2 : s;
}

int GradientBands(int screenHeight, GradientBand *bands)
{
    int s = BandHeight(screenHeight);
    int top = 0, bottom = s + 2, intensity = 255, count = 0;
    for (;;) {
        bands[count].top = top;
        bands[count].bottom = bottom;
        bands[count].intensity = intensity;
        ++count;
        top = bottom - 1;
        if (top > screenHeight) break;
        if (--intensity == 0) break;
        bottom += s;
    }
    return count;
}

const char *EditionPicture(char editionLetter) { return editionLetter == 'N' ? "linnet" : "heart"; }

#ifdef _WIN32
#include "state.h"

HWND BackdropWindow;

static const char BackdropClass[] = "SetupWClass";

int CreateBackdrop(HINSTANCE instance, HINSTANCE previous, int show)
{
    if (!previous) {
        WNDCLASSA windowClass;
        windowClass.style = CS_BYTEALIGNWINDOW | CS_GLOBALCLASS;
        windowClass.lpfnWndProc = BackdropWndProc;
        windowClass.cbClsExtra = 0;
        windowClass.cbWndExtra = 0;
        windowClass.hInstance = instance;
        // No icon of its own: the system's default stands in wherever one is shown.
        windowClass.hIcon = 0;
        windowClass.hCursor = LoadCursorA(0, (LPCSTR)IDC_ARROW);
        windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        windowClass.lpszMenuName = 0;
        windowClass.lpszClassName = BackdropClass;
        if (!RegisterClassA(&windowClass)) return 0;
    }
    BackdropWindow = CreateWindowExA(0, BackdropClass, "Setup", WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                     GetSystemMetrics(SM_CYSCREEN), 0, 0, instance, 0);
    if (!BackdropWindow) return 0;
    ShowWindow(BackdropWindow, show);
    UpdateWindow(BackdropWindow);
    return 1;
}

LRESULT CALLBACK BackdropWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        // Alt+F4, a close from the task bar or an "end task" request: the
        // backdrop stays until the process ends. Destroyed mid-copy, it
        // would also end the next dialog's modal loop with its quit message.
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint = {};
        HDC dc = BeginPaint(window, &paint);
        SetBkMode(dc, TRANSPARENT);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        PaintGradient((HDC)wParam);
        DrawCornerBitmap(window);
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static DWORD LastAnswer;

void KeepBackdropAnswering()
{
    DWORD now = GetTickCount();
    // The first call only starts the clock: the backdrop was painted as it
    // opened, and a staging over within the interval keeps nobody waiting
    // (a paint dispatched then would only hold up the second phase's start).
    if (!LastAnswer) LastAnswer = now;
    if (now - LastAnswer < ANSWER_INTERVAL_MS) return;
    LastAnswer = now;
    // Every PeekMessage handles the messages sent to the thread first;
    // only paint messages are taken from the queue. A few at most, in case
    // one does not validate its window.
    MSG message;
    for (int i = 0; i < 4 && PeekMessageA(&message, 0, WM_PAINT, WM_PAINT, PM_REMOVE); ++i) DispatchMessageA(&message);
}

void PaintGradient(HDC dc)
{
    int width = GetSystemMetrics(SM_CXSCREEN);
    GradientBand bands[GRADIENT_BANDS_MAX];
    int count = GradientBands(GetSystemMetrics(SM_CYSCREEN), bands);
    // Each band is the rectangle that a null pen and a solid brush of its
    // blue would fill: the full width, rows top .. bottom - 2. PatBlt fills
    // exactly that with the brush alone, and each band's brush is deleted
    // once the next one has taken its place: four calls a band, not eight.
    HGDIOBJ original = 0;
    for (int i = 0; i < count; ++i) {
        HBRUSH brush = CreateSolidBrush(RGB(0, 0, bands[i].intensity));
        HGDIOBJ replaced = brush ? SelectObject(dc, brush) : 0;
        // Without its brush (no room for GDI objects) a band stays unpainted.
        if (!replaced) {
            if (brush) DeleteObject(brush);
            continue;
        }
        if (original)
            DeleteObject(replaced);
        else
            original = replaced;
        PatBlt(dc, 0, bands[i].top, width, bands[i].bottom - 1 - bands[i].top, PATCOPY);
    }
    if (original) DeleteObject(SelectObject(dc, original));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
}

void DrawCornerBitmap(HWND window)
{
    // A DC of the window's own, not BeginPaint: the erase usually comes from
    // inside the WM_PAINT's BeginPaint, which has already emptied the update
    // region, and a second BeginPaint would clip the bitmap away entirely.
    HDC dc = GetDC(window);
    HBITMAP bitmap = LoadBitmapA(ProgramInstance, EditionPicture(PhaseTwoPlan.EditionLetter));
    HDC memory = bitmap ? CreateCompatibleDC(dc) : 0;
    // Without the bitmap (or a DC to hold it) the corner stays as the gradient left it.
    if (memory) {
        HGDIOBJ replaced = SelectObject(memory, bitmap);
        SetMapMode(memory, GetMapMode(dc));
        BITMAP info = {};
        GetObjectA(bitmap, sizeof info, &info);
        POINT extent = {info.bmWidth, info.bmHeight};
        DPtoLP(dc, &extent, 1);
        POINT origin = {0, 0};
        DPtoLP(memory, &origin, 1);
        BitBlt(dc, GetSystemMetrics(SM_CXSCREEN) - extent.x - 10, GetSystemMetrics(SM_CYSCREEN) - extent.y - 10,
               extent.x, extent.y, memory, origin.x, origin.y, SRCCOPY);
        SelectObject(memory, replaced);
        DeleteDC(memory);
    }
    if (bitmap) DeleteObject(bitmap);
    ReleaseDC(window, dc);
}
#endif
