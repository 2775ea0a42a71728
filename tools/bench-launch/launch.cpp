// The least a first phase with a backdrop can do: covers the screen with a
// popup painted in one colour, then starts its own command line with
// WinExec and ends.
#include <windows.h>

static LRESULT CALLBACK BareWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show)
{
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = BareWndProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = brush;
    windowClass.lpszClassName = "BareLaunch";
    if (!RegisterClassA(&windowClass)) return 0;
    HWND window = CreateWindowExA(0, "BareLaunch", "Launch", WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                  GetSystemMetrics(SM_CYSCREEN), 0, 0, instance, 0);
    if (!window) return 0;
    ShowWindow(window, show);
    UpdateWindow(window);
    WinExec(commandLine, SW_SHOW);
    DestroyWindow(window);
    DeleteObject(brush);
    return 1;
}
