// The full-screen backdrop: blue bands and the edition's bitmap.
#pragma once

// Height of one band for a screen height: H / 192, with 1 raised to 2.
int BandHeight(int screenHeight);

enum { GRADIENT_BANDS_MAX = 255 };  // intensities 255 down to 1

struct GradientBand {
    int top, bottom;  // rectangle drawn with the null pen: rows top .. bottom - 2
    int intensity;    // blue, 255 down to 1
};
// Computes the bands drawn for a screen height into bands (room for
// GRADIENT_BANDS_MAX); returns how many there are.
int GradientBands(int screenHeight, GradientBand *bands);

// Name of the bitmap that the backdrop shows for an edition letter.
const char *EditionPicture(char editionLetter);

#ifdef _WIN32
#include <windows.h>

extern HWND BackdropWindow;

int CreateBackdrop(HINSTANCE instance, HINSTANCE previous, int show);
LRESULT CALLBACK BackdropWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PaintGradient(HDC dc);
void DrawCornerBitmap(HWND window);
#endif
