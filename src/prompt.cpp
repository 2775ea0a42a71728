#include "prompt.h"

int PromptMode;
DialogPoint DialogCentre = {-1, -1};

DialogPoint DialogPlacement(int screenWidth, int screenHeight, int width, int height, DialogPoint centre)
{
    DialogPoint place;
    if (centre.x == -1) {
        place.x = (screenWidth - width) / 2;
        place.y = (screenHeight - height) / 3;
    } else {
        place.x = centre.x + (-width) / 2;
        place.y = centre.y + (-height) / 2;
    }
    if (place.x <= 0) place.x = 0;
    if (place.y <= 0) place.y = 0;
    return place;
}

#ifdef _WIN32
int PromptForDirectory(int mode)
{
    // Placeholder until the dialog is built: the user "chooses Exit".
    PromptMode = mode;
    return 0;
}

INT_PTR RunModalDialog(int templateId, HWND owner, DLGPROC dialogProc)
{
    (void)templateId;
    (void)owner;
    (void)dialogProc;
    return -1;
}

INT_PTR CALLBACK DirectoryPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)dialog;
    (void)message;
    (void)wParam;
    (void)lParam;
    return 0;
}

int PlaceDialog(HWND dialog, int defaultId, int focusId)
{
    (void)dialog;
    (void)defaultId;
    (void)focusId;
    return 1;
}

void RememberDialogCentre(HWND dialog) { (void)dialog; }
#endif
