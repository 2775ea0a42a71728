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

// The longest wait in milliseconds between two answers, less the time of
// one block of a copy: half the tenth of a second within which the backdrop
// answers and repaints while files are copied.
enum { ANSWER_INTERVAL_MS = 50 };

extern HWND BackdropWindow;

int CreateBackdrop(HINSTANCE instance, HINSTANCE previous, int show);
LRESULT CALLBACK BackdropWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PaintGradient(HDC dc);
void DrawCornerBitmap(HWND window);
// Called often while the program works without a dialog (copying, removing):
// once ANSWER_INTERVAL_MS have passed since it last did, lets the thread
// handle what other programs send it and repaint the backdrop. Input and
// posted messages stay queued: nothing the user does ends or disturbs the work.
void KeepBackdropAnswering();
#endif
