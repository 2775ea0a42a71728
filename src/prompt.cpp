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

void TrimBlanks(char *text)
{
    const char *from = text;
    while (*from == ' ' || *from == '\t') ++from;
    char *end = text;
    for (char *to = text; (*to = *from) != '\0'; ++to, ++from)
        if (*to != ' ' && *to != '\t') end = to + 1;
    *end = '\0';
}

#ifdef _WIN32
#include "backdrop.h"
#include "resource.h"
#include "state.h"

static const char *const StagingTexts[4] = {
    "Setup was unable to create the temporary directory listed below; please specify a new path.",
    "L'inskallation ne pouvait pas fabriquer le r\xE9pertoire temporaire inscrit ici desous; specifiez un chemin "
    "nouveau, s'il vous pla\xEEt.",
    "Setup kann nicht der zeitweilig Leitfaden hienieden erschaffen; bitte spezifizieren Sie ein neves "
    "Verzeichnis.",
    "Fu\xE9 imposible crear el directorio temporal listado a continuaci\xF3n; por favor especifique un camino "
    "nuevo.",
};
static const char *const AddOnTexts[4] = {
    "VUZevod RUD must be installed in the ZEV! directory.",
    "VUZevod RUD doit \xEAtre install\xE9 dans le r\xE9pertoire de ZEV!",
    "VUZevod-RUD mu\xDF im ZEV!-Verzeichnis installiert sein.",
    "VUZevod RUD debe ser instalado en el directorio ZEV!.",
};
static const char ExitText[] = "&Exit/Quitter/Verlassen";

// The texts' letters are code page 1252's, whatever code page the system has.
static const UINT TEXT_CODE_PAGE = 1252;
enum { PROMPT_TEXT_SIZE = 160 };  // wide characters of the longest text and its NUL

// The four texts' own font on Windows 95, 98 and Me, while the prompt is open.
static HFONT WesternFont;

// Sets the four texts. NT handles text as Unicode: they go in converted from
// their own code page, so each letter is the one the text holds on every
// system. Windows 95, 98 and Me draw the bytes in the font's character set:
// there the texts get a font of the Western one. A text the wide calls can't
// take (missing, failing) goes in as bytes, as before.
static void SetPromptTexts(HWND dialog, const char *const *texts)
{
    int(WINAPI * widen)(UINT, DWORD, LPCSTR, int, LPWSTR, int) = 0;
    BOOL(WINAPI * setWide)(HWND, int, LPCWSTR) = 0;
    if (WindowsVersion().nt) {
        widen = LateFunctions().MultiByteToWideChar;
        setWide = LateFunctions().SetDlgItemTextW;
    } else {
        LOGFONTA face;
        HFONT dialogFont = (HFONT)SendMessageA(dialog, WM_GETFONT, 0, 0);
        if (dialogFont && GetObjectA(dialogFont, sizeof face, &face)) {
            face.lfCharSet = ANSI_CHARSET;
            WesternFont = CreateFontIndirectA(&face);
        }
    }
    for (int i = 0; i < 4; ++i) {
        int id = IDC_TEXT_ENGLISH + i;
        WCHAR wide[PROMPT_TEXT_SIZE];
        if (widen && setWide && widen(TEXT_CODE_PAGE, 0, texts[i], -1, wide, PROMPT_TEXT_SIZE) &&
            setWide(dialog, id, wide))
            continue;
        if (WesternFont) SendDlgItemMessageA(dialog, id, WM_SETFONT, (WPARAM)WesternFont, FALSE);
        SetDlgItemTextA(dialog, id, texts[i]);
    }
}

// Gives the texts the dialog's font back and deletes their own.
static void DropWesternFont(HWND dialog)
{
    if (!WesternFont) return;
    WPARAM dialogFont = (WPARAM)SendMessageA(dialog, WM_GETFONT, 0, 0);
    for (int i = 0; i < 4; ++i) SendDlgItemMessageA(dialog, IDC_TEXT_ENGLISH + i, WM_SETFONT, dialogFont, FALSE);
    DeleteObject(WesternFont);
    WesternFont = 0;
}

int PromptForDirectory(int mode)
{
    PromptMode = mode;
    INT_PTR result = RunModalDialog(IDD_DIRECTORY_PROMPT, 0, DirectoryPromptProc);
    // A dialog that could not be shown (-1 or 0) counts as Exit: asking
    // again would only fail again, for ever.
    return result != IDCANCEL && result != -1 && result != 0;
}

INT_PTR RunModalDialog(int templateId, HWND owner, DLGPROC dialogProc)
{
    if (!owner) owner = BackdropWindow;
    return DialogBoxParamA(ProgramInstance, MAKEINTRESOURCEA(templateId), owner, dialogProc, 0);
}

INT_PTR CALLBACK DirectoryPromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG: {
        SetPromptTexts(dialog, PromptMode ? StagingTexts : AddOnTexts);
        // The field never holds more than a path buffer can take back.
        SendDlgItemMessageA(dialog, IDC_PATH, EM_LIMITTEXT, PATH_SIZE - 1, 0);
        SetDlgItemTextA(dialog, IDC_PATH, TargetDirectory);
        SendDlgItemMessageA(dialog, IDC_PATH, EM_SETSEL, 0, (LPARAM)TextLength(TargetDirectory));
        SetDlgItemTextA(dialog, IDCANCEL, ExitText);
        return PlaceDialog(dialog, IDOK, -1);
    }
    case WM_COMMAND:
        // Notifications carry a code in the high word and are not clicks.
        if (wParam == IDOK) {
            GetDlgItemTextA(dialog, IDC_PATH, TargetDirectory, PATH_SIZE);
            // Blanks around a path name no folder the user meant.
            TrimBlanks(TargetDirectory);
            EndDialog(dialog, IDOK);
            return 0;
        }
        if (wParam == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return 0;
        }
        return 1;
    case WM_MOVE:
        RememberDialogCentre(dialog);
        return 0;
    case WM_DESTROY:
        DropWesternFont(dialog);
        return 0;
    case WM_SYSCOMMAND:
        return wParam == SC_TASKLIST;
    }
    return 0;
}

int PlaceDialog(HWND dialog, int defaultId, int focusId)
{
    RECT frame;
    GetWindowRect(dialog, &frame);
    DialogPoint place = DialogPlacement(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                        frame.right - frame.left, frame.bottom - frame.top, DialogCentre);
    SetWindowPos(dialog, 0, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);

    LRESULT current = SendMessageA(dialog, DM_GETDEFID, 0, 0);
    if (HIWORD(current) == DC_HASDEFID) SendDlgItemMessageA(dialog, LOWORD(current), BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    SendMessageA(dialog, DM_SETDEFID, defaultId, 0);
    SendDlgItemMessageA(dialog, defaultId, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);

    if (focusId == -1) return 1;
    SetFocus(GetDlgItem(dialog, focusId));
    return 0;
}

void RememberDialogCentre(HWND dialog)
{
    RECT frame;
    GetWindowRect(dialog, &frame);
    DialogCentre.x = frame.left + (frame.right - frame.left) / 2;
    DialogCentre.y = frame.top + (frame.bottom - frame.top) / 2;
}
#endif
