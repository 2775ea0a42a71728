// The directory prompt, shown for real: this thread runs it as the program
// would, a second thread plays the user (finds it, reads it, types, presses
// keys, moves it) and notes what it saw for the checks afterwards.
#include <windows.h>
#include <tlhelp32.h>

#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>
#include <thread>

#include "backdrop.h"
#include "e2e.h"
#include "prompt.h"
#include "resource.h"
#include "robot.h"
#include "screen.h"
#include "setup1.h"
#include "testing.h"
#include "texts.h"

// What the robot saw of one showing.
struct Seen {
    HWND dialog = 0;
    std::string texts[4], path, exitText, okText, caption;
    DWORD selectionStart = 0, selectionEnd = 0;
    HWND owner = 0, focus = 0, edit = 0;
    bool ownerEnabled = true;
    RECT frame = {};
    LRESULT defaultId = 0;
    LONG okStyle = 0, exitStyle = 0;
    bool closedByRobot = false;  // still open at the end: the robot closed it
};

static void Look(HWND dialog, DWORD guiThread, Seen *seen)
{
    seen->dialog = dialog;
    for (int i = 0; i < 4; ++i) seen->texts[i] = RobotItemText(dialog, IDC_TEXT_ENGLISH + i);
    seen->path = RobotItemText(dialog, IDC_PATH);
    seen->exitText = RobotItemText(dialog, IDCANCEL);
    seen->okText = RobotItemText(dialog, IDOK);
    seen->caption = RobotText(dialog);
    SendDlgItemMessageA(dialog, IDC_PATH, EM_GETSEL, (WPARAM)&seen->selectionStart, (LPARAM)&seen->selectionEnd);
    seen->edit = GetDlgItem(dialog, IDC_PATH);
    seen->owner = GetWindow(dialog, GW_OWNER);
    seen->ownerEnabled = seen->owner && IsWindowEnabled(seen->owner);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(guiThread, &info)) seen->focus = info.hwndFocus;
    GetWindowRect(dialog, &seen->frame);
    seen->defaultId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
    seen->okStyle = GetWindowLongA(GetDlgItem(dialog, IDOK), GWL_STYLE);
    seen->exitStyle = GetWindowLongA(GetDlgItem(dialog, IDCANCEL), GWL_STYLE);
}

// Runs PromptForDirectory(mode) on this thread while the robot acts on the
// dialog. Returns the prompt's result.
static int ShowPrompt(int mode, Seen *seen, const std::function<void(HWND)> &act)
{
    DWORD guiThread = GetCurrentThreadId();
    std::thread robot([&] {
        HWND dialog = RobotFindDialog(GetCurrentProcessId(), PromptCaption, 10000);
        if (!dialog) return;
        Look(dialog, guiThread, seen);
        act(dialog);
        if (!RobotWaitGone(dialog, 3000)) {
            seen->closedByRobot = true;
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        }
    });
    int result = PromptForDirectory(mode);
    robot.join();
    return result;
}

static void SetTarget(const char *text) { CopyText(TargetDirectory, sizeof TargetDirectory, text); }

static void Setup()
{
    if (!BackdropWindow) {
        ProgramInstance = GetModuleHandleA(0);
        REQUIRE(CreateBackdrop(ProgramInstance, 0, SW_SHOWNORMAL) == 1);
    }
    ProgramInstance = GetModuleHandleA(0);
}

TEST_CASE("PromptForDirectory(1): the staging wording, byte for byte; Exit keeps the target directory")
{
    Setup();
    SetTarget("C:\\STAGE\\ZEV");
    Seen seen;
    int result = ShowPrompt(1, &seen, [](HWND d) { RobotClick(d, IDCANCEL); });
    REQUIRE(seen.dialog != 0);
    CHECK_FALSE(seen.closedByRobot);
    CHECK(result == 0);
    CHECK(PromptMode == 1);
    CHECK(Text(TargetDirectory) == "C:\\STAGE\\ZEV");
    CHECK(seen.caption == PromptCaption);
    for (int i = 0; i < 4; ++i) {
        INFO("text ", IDC_TEXT_ENGLISH + i);
        CHECK(Bytes(seen.texts[i].data(), seen.texts[i].size()) == Bytes(StagingTexts[i], strlen(StagingTexts[i])));
    }
    CHECK(seen.exitText == ExitButtonText);
    CHECK(seen.okText == OkButtonText);
    CHECK(seen.path == "C:\\STAGE\\ZEV");
}

TEST_CASE("PromptForDirectory(0): the add-on wording, byte for byte; Enter is OK")
{
    Setup();
    SetTarget("D:\\ZEV");
    Seen seen;
    int result = ShowPrompt(0, &seen, [](HWND d) { RobotKey(d, VK_RETURN); });
    REQUIRE(seen.dialog != 0);
    CHECK_FALSE(seen.closedByRobot);
    CHECK(result == 1);
    CHECK(PromptMode == 0);
    CHECK(Text(TargetDirectory) == "D:\\ZEV");
    for (int i = 0; i < 4; ++i) {
        INFO("text ", IDC_TEXT_ENGLISH + i);
        CHECK(Bytes(seen.texts[i].data(), seen.texts[i].size()) == Bytes(AddOnTexts[i], strlen(AddOnTexts[i])));
    }
    // The French text ends without a full stop, the Spanish one in "!.".
    CHECK(seen.texts[1].back() == '!');
    CHECK(seen.texts[3].substr(seen.texts[3].size() - 2) == "!.");
    CHECK(seen.exitText == ExitButtonText);

    // Any non-zero mode is the staging wording.
    Seen other;
    ShowPrompt(7, &other, [](HWND d) { RobotKey(d, VK_ESCAPE); });
    CHECK(other.texts[0] == StagingTexts[0]);
}

// A text of the controls, read as Unicode through a marker-filled buffer:
// ASCII as it stands, every other character as \uXXXX, and what lies past
// the terminator if a marker was overwritten there.
static std::string WideItemText(HWND dialog, int id)
{
    WCHAR buffer[256];
    for (WCHAR &c : buffer) c = 0x5A5A;
    int length = GetWindowTextW(GetDlgItem(dialog, id), buffer, 250);
    if (length < 0 || length >= 250 || buffer[length] != 0 || buffer[length + 1] != 0x5A5A) return "(overrun)";
    std::string out;
    for (int i = 0; i < length; ++i) {
        char hex[8];
        if (buffer[i] >= 0x20 && buffer[i] < 0x7F)
            out += (char)buffer[i];
        else
            out += (wsprintfA(hex, "\\u%04X", buffer[i]), hex);
    }
    return out;
}

// The same for a text of code page 1252: the letters it uses (ASCII and
// 0xA0 to 0xFF) are the Unicode characters of the same numbers.
static std::string Latin1(const char *text)
{
    std::string out;
    char hex[8];
    for (const unsigned char *c = (const unsigned char *)text; *c; ++c)
        out += *c < 0x80 ? std::string(1, (char)*c) : (wsprintfA(hex, "\\u%04X", *c >= 0xA0 ? *c : 0xFFFD), hex);
    return out;
}

// Run on its own under a Japanese (932) and a Cyrillic (1251) locale, where
// the texts' bytes read in the system's code page are other letters.
TEST_CASE("code page 932 and 1251: the four texts read back as their own letters, in both wordings")
{
    const std::string codePage = TestOption("codepage");
    REQUIRE(GetACP() == (UINT)atoi(codePage.c_str()));
    // A path in the system's code page: "C:\" and two letters of it.
    const char *path = codePage == "932" ? "C:\\\x83\x5C\x83\x67" : "C:\\\xC4\xC8";
    Setup();
    for (int mode : {PROMPT_STAGING, PROMPT_ADDON}) {
        SetTarget(path);
        Seen seen;
        std::string got[4];
        int result = ShowPrompt(mode, &seen, [&](HWND d) {
            for (int i = 0; i < 4; ++i) got[i] = WideItemText(d, IDC_TEXT_ENGLISH + i);
            RobotKey(d, VK_RETURN);
        });
        CHECK(result == 1);
        const char *const *want = mode ? StagingTexts : AddOnTexts;
        for (int i = 0; i < 4; ++i) {
            INFO("mode ", mode, ", text ", IDC_TEXT_ENGLISH + i);
            CHECK(got[i] == Latin1(want[i]));
        }
        // The path field shows and gives back the system's own bytes.
        CHECK(Bytes(seen.path.data(), seen.path.size()) == Bytes(path, strlen(path)));
        CHECK(Bytes(TargetDirectory, strlen(TargetDirectory)) == Bytes(path, strlen(path)));
    }
}

TEST_CASE("the prompt opens over the backdrop with the whole path selected, the focus in it, OK the default")
{
    Setup();
    SetTarget("C:\\TEMP\\ZEVSTAGE");
    Seen seen;
    int result = ShowPrompt(1, &seen, [](HWND d) { RobotKey(d, VK_ESCAPE); });
    REQUIRE(seen.dialog != 0);
    CHECK(result == 0);
    CHECK(seen.owner == BackdropWindow);
    CHECK_FALSE(seen.ownerEnabled);  // modal: the owner is disabled meanwhile
    CHECK(IsWindowEnabled(BackdropWindow));
    CHECK(seen.path == "C:\\TEMP\\ZEVSTAGE");
    CHECK(seen.selectionStart == 0);
    CHECK(seen.selectionEnd == strlen("C:\\TEMP\\ZEVSTAGE"));
    CHECK(seen.focus == seen.edit);
    CHECK(seen.focus != (HWND)0);
    CHECK(Hex((DWORD)seen.defaultId) == Hex(MAKELONG(IDOK, DC_HASDEFID)));
    CHECK((seen.okStyle & 0x0F) == BS_DEFPUSHBUTTON);
    CHECK((seen.exitStyle & 0x0F) == BS_PUSHBUTTON);
}

TEST_CASE("typed letters come back in upper case, without the blanks around them; Escape is Exit")
{
    Setup();
    SetTarget("C:\\OLD");
    Seen seen;
    std::string field;
    int result = ShowPrompt(1, &seen, [&](HWND d) {
        RobotType(d, IDC_PATH, "  d:\\new place\\zev  ");  // replaces the selected text
        field = RobotItemText(d, IDC_PATH);
        RobotKey(d, VK_RETURN);
    });
    CHECK(result == 1);
    CHECK(field == "  D:\\NEW PLACE\\ZEV  ");
    CHECK(Text(TargetDirectory) == "D:\\NEW PLACE\\ZEV");

    Seen second;
    result = ShowPrompt(1, &second, [&](HWND d) {
        RobotType(d, IDC_PATH, "e:\\elsewhere");
        field = RobotItemText(d, IDC_PATH);
        RobotKey(d, VK_ESCAPE);
    });
    CHECK(second.path == "D:\\NEW PLACE\\ZEV");
    CHECK(field == "E:\\ELSEWHERE");
    CHECK(result == 0);
    CHECK(Text(TargetDirectory) == "D:\\NEW PLACE\\ZEV");
}

TEST_CASE("OK with an empty field gives an empty target directory")
{
    Setup();
    SetTarget("C:\\SOMEWHERE\\LONG\\ENOUGH");
    Seen seen;
    std::string field = "unread";
    int result = ShowPrompt(1, &seen, [&](HWND d) {
        RobotType(d, IDC_PATH, "\b");  // deletes the selection, which is all of it
        field = RobotItemText(d, IDC_PATH);
        RobotClick(d, IDOK);
    });
    CHECK(field == "");
    CHECK(result == 1);
    CHECK(Text(TargetDirectory) == "");
}

TEST_CASE("the path field takes 255 characters; OK stores at most 255")
{
    Setup();
    SetTarget("C:\\X");
    std::string typed = "c:";
    while (typed.size() < 300) typed += "\\abcdefgh";
    typed.resize(300);
    std::string upper = typed;
    for (char &c : upper)
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');

    Seen seen;
    LRESULT length = -1;
    int result = ShowPrompt(1, &seen, [&](HWND d) {
        RobotType(d, IDC_PATH, typed.c_str());
        length = SendDlgItemMessageA(d, IDC_PATH, WM_GETTEXTLENGTH, 0, 0);
        RobotKey(d, VK_RETURN);
    });
    CHECK(result == 1);
    CHECK(length == 255);
    CHECK(strlen(TargetDirectory) == 255u);
    CHECK(Text(TargetDirectory) == upper.substr(0, 255));

    // Text put there past the field's limit is still cut to 255 on OK.
    SetTarget("C:\\X");
    result = ShowPrompt(1, &seen, [&](HWND d) {
        SendDlgItemMessageA(d, IDC_PATH, WM_SETTEXT, 0, (LPARAM)upper.c_str());
        length = SendDlgItemMessageA(d, IDC_PATH, WM_GETTEXTLENGTH, 0, 0);
        RobotClick(d, IDOK);
    });
    CHECK(length == 300);
    CHECK(result == 1);
    CHECK(strlen(TargetDirectory) == 255u);
    CHECK(Text(TargetDirectory) == upper.substr(0, 255));
}

TEST_CASE("placement: the first showing centred across and a third down, later ones where the last was left")
{
    Setup();
    SetTarget("C:\\STAGE");
    DialogCentre.x = -1;
    DialogCentre.y = -1;
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);

    Seen first;
    DialogPoint afterMove = {0, 0}, afterSecondMove = {0, 0};
    ShowPrompt(1, &first, [&](HWND d) {
        SetWindowPos(d, 0, 30, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        afterMove = DialogCentre;
        SetWindowPos(d, 0, 60, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        afterSecondMove = DialogCentre;
        RobotClick(d, IDOK);
    });
    REQUIRE(first.dialog != 0);
    const int w = first.frame.right - first.frame.left, h = first.frame.bottom - first.frame.top;
    INFO("screen ", sw, "x", sh, " dialog ", w, "x", h);
    CheckScreenSize();
    // On a screen smaller than the dialog (--larger=1) the first showing is at 0, 0.
    if (TestOption("larger") == "1") {
        REQUIRE(w > sw);
        REQUIRE(h > sh);
        CHECK(first.frame.left == 0);
        CHECK(first.frame.top == 0);
    }
    CHECK(first.frame.left == (sw > w ? (sw - w) / 2 : 0));
    CHECK(first.frame.top == (sh > h ? (sh - h) / 3 : 0));
    // Every WM_MOVE notes the centre.
    CHECK(afterMove.x == 30 + w / 2);
    CHECK(afterMove.y == 20 + h / 2);
    CHECK(afterSecondMove.x == 60 + w / 2);
    CHECK(afterSecondMove.y == 40 + h / 2);

    Seen second;
    ShowPrompt(1, &second, [&](HWND d) {
        SetWindowPos(d, 0, -120, -90, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RobotKey(d, VK_ESCAPE);
    });
    CHECK(second.frame.left == 60);
    CHECK(second.frame.top == 40);
    CHECK(second.frame.right - second.frame.left == w);

    // Left partly off the screen: the next showing comes back to 0, 0.
    Seen third;
    ShowPrompt(1, &third, [&](HWND d) { RobotKey(d, VK_ESCAPE); });
    CHECK(third.frame.left == 0);
    CHECK(third.frame.top == 0);
    DialogCentre.x = -1;
    DialogCentre.y = -1;
}

TEST_CASE("a notification is not a click: the whole wParam is compared")
{
    Setup();
    SetTarget("C:\\KEEP");
    Seen seen;
    bool openAfter = false;
    INT_PTR direct[3] = {};
    int result = ShowPrompt(1, &seen, [&](HWND d) {
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_SETFOCUS), (LPARAM)GetDlgItem(d, IDOK));
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_SETFOCUS), (LPARAM)GetDlgItem(d, IDCANCEL));
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_PATH, EN_CHANGE), (LPARAM)GetDlgItem(d, IDC_PATH));
        Sleep(100);
        openAfter = IsWindowVisible(d) != 0;
        direct[0] = DirectoryPromptProc(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_SETFOCUS), 0);
        direct[1] = DirectoryPromptProc(d, WM_COMMAND, MAKEWPARAM(IDC_PATH, EN_UPDATE), 0);
        direct[2] = DirectoryPromptProc(d, WM_COMMAND, 3, 0);
        SendDlgItemMessageA(d, IDC_PATH, WM_SETTEXT, 0, (LPARAM) "C:\\CHANGED");
        RobotClick(d, IDCANCEL);
    });
    CHECK(openAfter);
    CHECK(direct[0] == 1);
    CHECK(direct[1] == 1);
    CHECK(direct[2] == 1);
    CHECK(result == 0);
    CHECK(Text(TargetDirectory) == "C:\\KEEP");
}

// Whether "taskman.exe" was started by this process: it still runs, or its
// record is there. The platform starts it before the message returns, so
// no wait is needed.
static bool TaskListStarted(const std::string &record)
{
    if (FileExists(record)) return true;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry))
        found = entry.th32ParentProcessID == GetCurrentProcessId() && lstrcmpiA(entry.szExeFile, "taskman.exe") == 0;
    CloseHandle(snapshot);
    return found;
}

TEST_CASE("SC_TASKLIST is answered with 1 and nothing else; other system commands go on to the platform")
{
    static const struct {
        WPARAM command;
        INT_PTR want;
    } cases[] = {
        {SC_TASKLIST, 1}, {SC_MOVE, 0}, {SC_CLOSE, 0}, {SC_KEYMENU, 0}, {SC_MINIMIZE, 0}, {SC_TASKLIST + 2, 0},
    };
    for (const auto &c : cases) {
        INFO("command ", Hex((DWORD)c.command));
        CHECK(DirectoryPromptProc(0, WM_SYSCOMMAND, c.command, 0) == c.want);
    }

    // The platform's own handling of SC_TASKLIST starts "taskman.exe"; a
    // stand-in of that name in the current directory shows whether it ran.
    std::string phase2 = TestOption("phase2");
    REQUIRE(!phase2.empty());
    std::string folder = TempFolder("tasklist");
    RemoveTree(folder);
    REQUIRE(CreateDirectoryA(folder.c_str(), 0));
    REQUIRE(CopyFileA(phase2.c_str(), (folder + "\\taskman.exe").c_str(), FALSE));
    char savedDirectory[MAX_PATH];
    GetCurrentDirectoryA(sizeof savedDirectory, savedDirectory);
    REQUIRE(SetCurrentDirectoryA(folder.c_str()));
    const std::string record = folder + "\\taskman.txt";
    SetEnvironmentVariableA("PHASE2_RECORD", record.c_str());

    // Without an answer of 1 the task list is started.
    HWND plain = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, 0, 0, 0, 0);
    DefWindowProcA(plain, WM_SYSCOMMAND, SC_TASKLIST, 0);
    DestroyWindow(plain);
    CHECK(TaskListStarted(record));
    Phase2Record started;
    CHECK(ReadPhase2Record(record, &started, 10000));
    DeleteFileA(record.c_str());

    Setup();
    SetTarget("C:\\KEEP");
    Seen seen;
    bool openAfter = false, taskList = true;
    RECT after = {};
    int result = ShowPrompt(1, &seen, [&](HWND d) {
        SendMessageA(d, WM_SYSCOMMAND, SC_TASKLIST, 0);
        taskList = TaskListStarted(record);
        openAfter = IsWindowVisible(d) != 0;
        GetWindowRect(d, &after);
        // SC_CLOSE has its default handling: the dialog closes as Exit.
        SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    CHECK(openAfter);
    CHECK(after.left == seen.frame.left);
    CHECK(after.top == seen.frame.top);
    CHECK_FALSE(seen.closedByRobot);
    CHECK(result == 0);
    CHECK(Text(TargetDirectory) == "C:\\KEEP");
    CHECK_FALSE(taskList);

    SetEnvironmentVariableA("PHASE2_RECORD", 0);
    SetCurrentDirectoryA(savedDirectory);
    RemoveTree(folder);
}

static HWND InitOwner;
static INT_PTR CALLBACK EndAtOnce(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message != WM_INITDIALOG) return 0;
    InitOwner = GetWindow(dialog, GW_OWNER);
    EndDialog(dialog, 7);
    return 1;
}

TEST_CASE("RunModalDialog: template 100 with the backdrop as owner when none is given")
{
    Setup();
    InitOwner = 0;
    CHECK(RunModalDialog(IDD_DIRECTORY_PROMPT, 0, EndAtOnce) == 7);
    CHECK(InitOwner == BackdropWindow);

    HWND other = CreateWindowExA(0, "STATIC", "other owner", WS_POPUP, 0, 0, 10, 10, 0, 0, 0, 0);
    REQUIRE(other != 0);
    InitOwner = 0;
    CHECK(RunModalDialog(IDD_DIRECTORY_PROMPT, other, EndAtOnce) == 7);
    CHECK(InitOwner == other);
    DestroyWindow(other);
}

TEST_CASE("a prompt that cannot be shown at all counts as Exit")
{
    Setup();
    SetTarget("Q:\\STAGE");
    // Without template 100 (a module that lacks it) the platform answers -1.
    ProgramInstance = GetModuleHandleA("kernel32.dll");
    SetLastError(0xdeadbeef);
    INT_PTR raw = RunModalDialog(IDD_DIRECTORY_PROMPT, 0, DirectoryPromptProc);
    DWORD error = GetLastError();
    CHECK(raw == -1);
    CHECK(error == (DWORD)ERROR_RESOURCE_TYPE_NOT_FOUND);
    CHECK(PromptForDirectory(1) == 0);
    CHECK(PromptForDirectory(0) == 0);
    ProgramInstance = GetModuleHandleA(0);

    // An owner that is no window: the platform refuses the dialog with 0.
    HWND saved = BackdropWindow;
    HWND gone = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, 0, 0, 0, 0);
    DestroyWindow(gone);
    BackdropWindow = gone;
    SetLastError(0xdeadbeef);
    raw = RunModalDialog(IDD_DIRECTORY_PROMPT, 0, DirectoryPromptProc);
    error = GetLastError();
    CHECK(raw == 0);
    CHECK(error == (DWORD)ERROR_INVALID_WINDOW_HANDLE);
    CHECK(PromptForDirectory(1) == 0);
    BackdropWindow = saved;
    CHECK(Text(TargetDirectory) == "Q:\\STAGE");
}
