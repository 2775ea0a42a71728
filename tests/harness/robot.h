// The robot: finds the program's windows by process, class and caption,
// reads their texts as bytes, types, presses buttons, closes message boxes.
#pragma once
#include <windows.h>

#include <string>

// A visible top-level window of process pid with the class name and caption
// (either may be null for "any"); waits up to timeoutMs. Null when none.
HWND RobotFindWindow(DWORD pid, const char *className, const char *caption, DWORD timeoutMs = 10000);
// The dialog class of the prompt and of message boxes.
inline HWND RobotFindDialog(DWORD pid, const char *caption, DWORD timeoutMs = 10000)
{
    return RobotFindWindow(pid, "#32770", caption, timeoutMs);
}
// Text of a window or of a dialog item, byte for byte (WM_GETTEXT).
std::string RobotText(HWND window);
std::string RobotItemText(HWND dialog, int id);
// Text of a message box (its static text control).
std::string RobotMessageBoxText(HWND box);
// Window style bits of a message box's icon: MB_ICONHAND, MB_ICONEXCLAMATION,
// MB_ICONINFORMATION or 0, judged from the icon the box shows.
UINT RobotMessageBoxIcon(HWND box);
// Types text into a dialog item character by character (WM_CHAR), so that
// the control's own rules (upper case, length limit) apply.
void RobotType(HWND dialog, int id, const char *text);
// Replaces the whole text of an item by typing: select all, delete, type.
void RobotReplaceText(HWND dialog, int id, const char *text);
// Presses a key in the dialog's focused control: VK_RETURN, VK_ESCAPE, ...
void RobotKey(HWND dialog, UINT virtualKey);
// Clicks a button of a dialog or message box (BM_CLICK).
void RobotClick(HWND dialog, int id);
// Moves a top-level window to x, y (its size unchanged) and waits until done.
void RobotMove(HWND window, int x, int y);
// Waits until the window is gone; false on timeout.
bool RobotWaitGone(HWND window, DWORD timeoutMs = 10000);

// The token the runner starts programs with: an elevated test's limited
// one, as Windows starts a program for an administrator who does not
// elevate (Wine's own first token is elevated); 0, the test's own, where
// there is none.
HANDLE StartToken();
// CreateProcessAsUserA with token, CreateProcessA where it is 0; a start
// that Wine lost before the program ran is made once more.
BOOL StartWith(HANDLE token, const char *program, char *line, BOOL inherit, DWORD flags, const char *dir,
               STARTUPINFOA *startup, PROCESS_INFORMATION *process);
// StartWith with StartToken() (CreateProcessAsUserA) where there is one;
// no handles inherited, the environment the test's own.
BOOL StartAsUser(const char *program, char *line, DWORD flags, const char *dir, STARTUPINFOA *startup,
                 PROCESS_INFORMATION *process);
