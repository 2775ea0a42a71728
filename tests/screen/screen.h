// Reading back what is really on the X screen, through the screen DC.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "e2e.h"
#include "testing.h"

struct ScreenImage {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;  // 0x00RRGGBB, top row first
    DWORD At(int x, int y) const { return pixels[(size_t)y * width + x]; }
};

// Lets the program's windows finish their painting, as the modal loops of
// the prompt and the message boxes would.
inline void PumpMessages(DWORD milliseconds)
{
    DWORD end = GetTickCount() + milliseconds;
    MSG message;
    do {
        while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    } while ((int)(end - GetTickCount()) > 0);
}

// A copy of the whole screen from GetDC(0) into a 32-bit DIB section.
inline bool CaptureScreen(ScreenImage *image)
{
    image->width = GetSystemMetrics(SM_CXSCREEN);
    image->height = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image->width;
    info.bmiHeader.biHeight = -image->height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    void *bits = 0;
    HBITMAP section = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, 0, 0);
    bool ok = false;
    if (memory && section) {
        HGDIOBJ old = SelectObject(memory, section);
        ok = BitBlt(memory, 0, 0, image->width, image->height, screen, 0, 0, SRCCOPY) != 0;
        GdiFlush();
        const DWORD *p = (const DWORD *)bits;
        image->pixels.assign(p, p + (size_t)image->width * image->height);
        for (DWORD &px : image->pixels) px &= 0xFFFFFF;
        SelectObject(memory, old);
    }
    if (section) DeleteObject(section);
    if (memory) DeleteDC(memory);
    ReleaseDC(0, screen);
    return ok;
}

// The pixels of a bitmap resource of the given module, as 0x00RRGGBB.
inline bool BitmapPixels(HMODULE module, const char *name, ScreenImage *image)
{
    HBITMAP bitmap = LoadBitmapA(module, name);
    if (!bitmap) return false;
    BITMAP record = {};
    GetObjectA(bitmap, sizeof record, &record);
    image->width = record.bmWidth;
    image->height = record.bmHeight;
    image->pixels.assign((size_t)image->width * image->height, 0);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image->width;
    info.bmiHeader.biHeight = -image->height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(0);
    int rows = GetDIBits(screen, bitmap, 0, image->height, image->pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(0, screen);
    DeleteObject(bitmap);
    for (DWORD &px : image->pixels) px &= 0xFFFFFF;
    return rows == image->height;
}

inline std::string Hex(DWORD value)
{
    char text[16];
    wsprintfA(text, "%06lX", value);
    return text;
}
// The screen size the test was started for (--screen=WxH), checked against
// the real one so that a wrong X screen cannot pass for the right one.
inline void CheckScreenSize()
{
    std::string wanted = TestOption("screen");
    if (wanted.empty()) wanted = "640x480";
    char real[32];
    wsprintfA(real, "%dx%d", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    REQUIRE(Text(real) == wanted);
}
