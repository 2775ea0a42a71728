#include "backdrop.h"

int BandHeight(int screenHeight)
{
    int s = screenHeight / 192;
    return s == 1 ? 2 : s;
}

int GradientBands(int screenHeight, GradientBand *bands)
{
    // Placeholder until the backdrop is painted.
    (void)screenHeight;
    (void)bands;
    return 0;
}

#ifdef _WIN32
HWND BackdropWindow;

int CreateBackdrop(HINSTANCE instance, HINSTANCE previous, int show)
{
    // Placeholder: no window yet; the flow goes on as if it were open.
    (void)instance;
    (void)previous;
    (void)show;
    return 1;
}

LRESULT CALLBACK BackdropWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

void PaintGradient(HDC dc) { (void)dc; }
void DrawCornerBitmap(HWND window) { (void)window; }
#endif
