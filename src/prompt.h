// The directory prompt, in its staging and add-on wordings.
#pragma once

enum { PROMPT_ADDON = 0, PROMPT_STAGING = 1 };

struct DialogPoint {
    int x, y;
};

extern int PromptMode;
extern DialogPoint DialogCentre;  // x -1: no centre remembered

// Where a dialog of width by height goes: centred across and one third
// down the screen, or centred on a remembered centre; never above or left
// of 0, 0.
DialogPoint DialogPlacement(int screenWidth, int screenHeight, int width, int height, DialogPoint centre);

// Removes the blanks (spaces and tabs) before and after text, in place, as
// the profile reader does for the plan's values.
void TrimBlanks(char *text);

#ifdef _WIN32
#include <windows.h>

int PromptForDirectory(int mode);
INT_PTR RunModalDialog(int templateId, HWND owner, DLGPROC dialogProc);
INT_PTR CALLBACK DirectoryPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
int PlaceDialog(HWND dialog, int defaultId, int focusId);
void RememberDialogCentre(HWND dialog);
#endif
