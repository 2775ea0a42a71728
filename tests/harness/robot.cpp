#include "robot.h"

#include <stdio.h>
#include <string.h>

#include <vector>

// Cross-process messages are sent with a time limit, so that a hung
// program fails the test instead of hanging it.
static const UINT SendTimeoutMs = 5000;
static const DWORD PollMs = 20;

static LRESULT SendWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, SendTimeoutMs, &result)) return 0;
    return (LRESULT)result;
}

std::string RobotText(HWND window)
{
    if (!window) return std::string();
    LRESULT length = SendWait(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) return std::string();
    // A little more than asked, in case the length changed in between.
    std::vector<char> buffer((size_t)length + 64, '\0');
    LRESULT got = SendWait(window, WM_GETTEXT, buffer.size(), (LPARAM)buffer.data());
    if (got <= 0) return std::string();
    if ((size_t)got >= buffer.size()) got = (LRESULT)buffer.size() - 1;
    return std::string(buffer.data(), (size_t)got);
}

std::string RobotItemText(HWND dialog, int id) { return RobotText(GetDlgItem(dialog, id)); }

struct FindRequest {
    DWORD pid;
    const char *className;
    const char *caption;
    HWND found;
};

static BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    FindRequest *request = (FindRequest *)parameter;
    if (!IsWindowVisible(window)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (request->pid && pid != request->pid) return TRUE;
    if (request->className) {
        char className[256];
        int length = GetClassNameA(window, className, sizeof className);
        if (length <= 0 || strcmp(className, request->className) != 0) return TRUE;
    }
    if (request->caption && RobotText(window) != request->caption) return TRUE;
    request->found = window;
    return FALSE;
}

HWND RobotFindWindow(DWORD pid, const char *className, const char *caption, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        FindRequest request = {pid, className, caption, 0};
        EnumWindows(MatchWindow, (LPARAM)&request);
        if (request.found) return request.found;
        if (GetTickCount() - start >= timeoutMs) return 0;
        Sleep(PollMs);
    }
}

std::string RobotMessageBoxText(HWND box) { return RobotItemText(box, 0xFFFF); }

static BOOL CALLBACK MatchIconStatic(HWND child, LPARAM parameter)
{
    char className[32];
    if (GetClassNameA(child, className, sizeof className) <= 0 || lstrcmpiA(className, "Static") != 0) return TRUE;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON || !IsWindowVisible(child)) return TRUE;
    *(HWND *)parameter = child;
    return FALSE;
}

// 32-bit top-down pixels of a width by height bitmap selected into memory
// over oldBitmap; selects it out, then deletes it and both device contexts.
static std::vector<DWORD> Pixels(HDC screen, HDC memory, HBITMAP bitmap, HGDIOBJ oldBitmap, int width, int height)
{
    SelectObject(memory, oldBitmap);
    std::vector<DWORD> pixels((size_t)width * height, 0);
    BITMAPINFO info;
    memset(&info, 0, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(0, screen);
    return pixels;
}

// The icon drawn at width by height over a background of one colour.
static std::vector<DWORD> DrawnIcon(HICON icon, int width, int height, COLORREF background)
{
    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(background);
    RECT all = {0, 0, width, height};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, icon, width, height, 0, 0, DI_NORMAL);
    return Pixels(screen, memory, bitmap, oldBitmap, width, height);
}

// What the screen shows of a window's client area.
static std::vector<DWORD> ScreenPixels(HWND window, int width, int height)
{
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    return Pixels(screen, memory, bitmap, oldBitmap, width, height);
}

static int ChannelDistance(DWORD a, DWORD b)
{
    int distance = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int d = (int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF);
        distance += d < 0 ? -d : d;
    }
    return distance;
}

// Share (per thousand) of the icon's opaque pixels that the screen shows
// differently; 1000 when the icon has no opaque pixel.
static int IconMismatch(const std::vector<DWORD> &shown, HICON icon, int width, int height)
{
    std::vector<DWORD> onBlack = DrawnIcon(icon, width, height, RGB(0, 0, 0));
    std::vector<DWORD> onWhite = DrawnIcon(icon, width, height, RGB(255, 255, 255));
    int opaque = 0, differ = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
        if (ChannelDistance(onBlack[i], onWhite[i]) > 24) continue;  // see-through here
        ++opaque;
        if (ChannelDistance(shown[i], onBlack[i]) > 48) ++differ;
    }
    return opaque ? differ * 1000 / opaque : 1000;
}

// Icon handles belong to the process that loaded them, so the box's
// handle only identifies the icon within our own process; otherwise the
// pixels on the screen are matched against the system icons.
UINT RobotMessageBoxIcon(HWND box)
{
    static const struct {
        LPCSTR name;
        UINT style;
    } icons[] = {{IDI_HAND, MB_ICONHAND}, {IDI_EXCLAMATION, MB_ICONEXCLAMATION}, {IDI_ASTERISK, MB_ICONINFORMATION}};
    HWND iconControl = 0;
    EnumChildWindows(box, MatchIconStatic, (LPARAM)&iconControl);
    if (!iconControl) return 0;
    HICON shownIcon = (HICON)SendWait(iconControl, STM_GETICON, 0, 0);
    if (!shownIcon) return 0;
    for (const auto &icon : icons)
        if (LoadIconA(0, icon.name) == shownIcon) return icon.style;
    RECT client;
    if (!GetClientRect(iconControl, &client) || client.right <= 0 || client.bottom <= 0) return 0;
    // The box may still be painting: look again for a while.
    DWORD start = GetTickCount();
    do {
        std::vector<DWORD> shown = ScreenPixels(iconControl, client.right, client.bottom);
        UINT best = 0;
        int bestScore = 1000, secondScore = 1000;
        for (const auto &icon : icons) {
            int score = IconMismatch(shown, LoadIconA(0, icon.name), client.right, client.bottom);
            if (score < bestScore) {
                secondScore = bestScore;
                bestScore = score;
                best = icon.style;
            } else if (score < secondScore) {
                secondScore = score;
            }
        }
        if (bestScore <= 50 && secondScore >= 300) return best;
        Sleep(100);
    } while (GetTickCount() - start < 2000);
    return 0;
}

void RobotType(HWND dialog, int id, const char *text)
{
    HWND item = GetDlgItem(dialog, id);
    // Sent, not posted, so that each character has been taken when this
    // returns; the edit control still applies its own rules to WM_CHAR.
    for (const char *p = text; *p; ++p) SendWait(item, WM_CHAR, (WPARAM)(unsigned char)*p, 1);
}

void RobotReplaceText(HWND dialog, int id, const char *text)
{
    HWND item = GetDlgItem(dialog, id);
    SendWait(item, EM_SETSEL, 0, -1);
    SendWait(item, WM_CHAR, VK_BACK, 1);
    RobotType(dialog, id, text);
}

void RobotKey(HWND dialog, UINT virtualKey)
{
    GUITHREADINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, 0), &info) && info.hwndFocus) target = info.hwndFocus;
    LPARAM scan = (LPARAM)MapVirtualKeyA(virtualKey, 0) << 16;
    // Posted, so that the dialog's own loop sees the keys as typed ones.
    PostMessageA(target, WM_KEYDOWN, virtualKey, scan | 1);
    PostMessageA(target, WM_KEYUP, virtualKey, scan | 1 | (1u << 30) | (1u << 31));
}

void RobotClick(HWND dialog, int id)
{
    // Posted: the click may end the dialog before a sent message returns.
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void RobotMove(HWND window, int x, int y)
{
    SetWindowPos(window, 0, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    DWORD start = GetTickCount();
    RECT rect;
    while (GetWindowRect(window, &rect) && (rect.left != x || rect.top != y) && GetTickCount() - start < 5000)
        Sleep(PollMs);
}

bool RobotWaitGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(PollMs);
    }
    return true;
}

HANDLE StartToken()
{
    static HANDLE token = INVALID_HANDLE_VALUE;
    if (token != INVALID_HANDLE_VALUE) return token;
    token = 0;
    HANDLE own, linked = 0;
    DWORD type = 0, needed;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return token;
    if (GetTokenInformation(own, TokenElevationType, &type, sizeof type, &needed) && type == TokenElevationTypeFull &&
        GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &needed)) {
        if (!DuplicateTokenEx(linked, TOKEN_ALL_ACCESS, 0, SecurityImpersonation, TokenPrimary, &token)) token = 0;
        CloseHandle(linked);
    }
    CloseHandle(own);
    return token;
}

BOOL StartWith(HANDLE token, const char *program, char *line, BOOL inherit, DWORD flags, const char *dir,
               STARTUPINFOA *startup, PROCESS_INFORMATION *process)
{
    for (int attempt = 1;; ++attempt) {
        BOOL started = token
                           ? CreateProcessAsUserA(token, program, line, 0, 0, inherit, flags, 0, dir, startup, process)
                           : CreateProcessA(program, line, 0, 0, inherit, flags, 0, dir, startup, process);
        // Wine says ERROR_INTERNAL_ERROR when the new process was gone
        // before its loader had finished, so before any code of the
        // program ran: Wine failed, not the program. That is made once
        // more, and said, so that a loaded machine fails no test for it.
        if (started || GetLastError() != ERROR_INTERNAL_ERROR || attempt == 2) return started;
        fprintf(stderr, "note: Wine lost %s while starting it (error 1359); starting it once more\n",
                program ? program : line);
    }
}

BOOL StartAsUser(const char *program, char *line, DWORD flags, const char *dir, STARTUPINFOA *startup,
                 PROCESS_INFORMATION *process)
{
    return StartWith(StartToken(), program, line, FALSE, flags, dir, startup, process);
}
