// A program that opens a window and nothing else, without any guard of the
// DLL search: what loads a DLL planted beside it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    HWND window = CreateWindowExA(0, "STATIC", "bare", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, 0, 0, instance, 0);
    UpdateWindow(window);
    MSG message;
    while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    DestroyWindow(window);
    return 0;
}
