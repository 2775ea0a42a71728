// ROBOT.EXE: the robot for scripts. Answers the dialogs and message boxes
// of a running program from the command line.
#include <windows.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "robot.h"

static const char Usage[] = "usage: ROBOT.EXE [-p PID] [-c CAPTION] [-t SECONDS] COMMAND [ARGS]\n"
                            "Works on the topmost visible dialog (class #32770) of process PID (any\n"
                            "process when not given) whose caption is CAPTION (any when not given),\n"
                            "waiting up to SECONDS (default 10) for it to appear.\n"
                            "  wait-dialog [CAPTION]   wait for the dialog, print its caption\n"
                            "  wait-gone               wait until the dialog is gone\n"
                            "  text ID                 print the text of item ID\n"
                            "  type ID TEXT            type TEXT into item ID\n"
                            "  replace ID TEXT         replace the text of item ID by typing TEXT\n"
                            "  click ID                click button ID\n"
                            "  key enter|escape        press a key in the focused item\n"
                            "  move X Y                move the dialog to X, Y\n"
                            "  icon                    print the message box's icon: hand,\n"
                            "                          exclamation, information or none\n"
                            "  message-box             print the message box's text and close it\n"
                            "  show-box hand|exclamation|information|none TEXT\n"
                            "                          show a message box (caption \"Robot\") until\n"
                            "                          it is closed; for trying the robot out\n"
                            "  start PROGRAM [ARGS]    start PROGRAM as the test runner does (with an\n"
                            "                          elevated robot's limited token), wait for its\n"
                            "                          end and exit with its exit code\n"
                            "  watch PROGRAM           wait for a process of PROGRAM (a file name such\n"
                            "                          as SETUP2.EXE) to start, print \"started PID\",\n"
                            "                          wait for its end, print \"exit code N\"\n"
                            "Exit code 0 on success, 1 when no dialog (or program) was found, 2 on bad\n"
                            "usage.\n";

static int Fail(const char *what)
{
    fprintf(stderr, "ROBOT.EXE: %s\n", what);
    return 1;
}

static int BadUsage()
{
    fputs(Usage, stderr);
    return 2;
}

static void PrintLine(const std::string &text)
{
    fwrite(text.data(), 1, text.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

// A process of that program name, open for its exit code; waits up to
// timeoutMs for it to start.
static HANDLE WaitForProgram(const char *program, DWORD timeoutMs, DWORD *pid)
{
    DWORD start = GetTickCount();
    do {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32 entry;
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
            const char *name = strrchr(entry.szExeFile, '\\');
            if (lstrcmpiA(name ? name + 1 : entry.szExeFile, program) != 0) continue;
            HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID);
            if (!process) continue;
            CloseHandle(snapshot);
            *pid = entry.th32ProcessID;
            return process;
        }
        CloseHandle(snapshot);
        Sleep(10);
    } while (GetTickCount() - start < timeoutMs);
    return 0;
}

static const struct {
    const char *name;
    UINT style;
} IconNames[] = {
    {"hand", MB_ICONHAND}, {"exclamation", MB_ICONEXCLAMATION}, {"information", MB_ICONINFORMATION}, {"none", 0}};

int main(int argc, char **argv)
{
    // Plain "\n" line ends, for the scripts that read the output.
    _setmode(_fileno(stdout), _O_BINARY);
    DWORD pid = 0;
    const char *caption = 0;
    DWORD timeoutMs = 10000;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
        if (strcmp(argv[i], "-p") == 0)
            pid = strtoul(argv[i + 1], 0, 0);
        else if (strcmp(argv[i], "-c") == 0)
            caption = argv[i + 1];
        else if (strcmp(argv[i], "-t") == 0)
            timeoutMs = strtoul(argv[i + 1], 0, 10) * 1000;
        else
            return BadUsage();
    }
    if (i >= argc) return BadUsage();
    const char *command = argv[i];
    char **args = argv + i + 1;
    int count = argc - i - 1;

    if (strcmp(command, "show-box") == 0) {
        if (count != 2) return BadUsage();
        for (const auto &icon : IconNames)
            if (strcmp(args[0], icon.name) == 0) {
                MessageBoxA(0, args[1], "Robot", MB_OK | icon.style);
                return 0;
            }
        return BadUsage();
    }
    if (strcmp(command, "start") == 0) {
        if (count < 1) return BadUsage();
        std::string line = std::string("\"") + args[0] + "\"";
        for (int a = 1; a < count; ++a) line += std::string(" ") + args[a];
        line += '\0';
        STARTUPINFOA startup;
        memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        if (!StartAsUser(args[0], &line[0], 0, 0, &startup, &process)) return Fail("cannot start the program");
        DWORD code = 1;
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        return (int)code;
    }
    if (strcmp(command, "watch") == 0) {
        if (count != 1) return BadUsage();
        DWORD watched = 0, code = 0;
        HANDLE process = WaitForProgram(args[0], timeoutMs, &watched);
        if (!process) return Fail("no such program started");
        PrintLine("started " + std::to_string(watched));
        WaitForSingleObject(process, INFINITE);
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
        PrintLine("exit code " + std::to_string(code));
        return 0;
    }
    if (strcmp(command, "wait-dialog") == 0 && count == 1) caption = args[0];

    HWND dialog = RobotFindDialog(pid, caption, timeoutMs);
    if (!dialog) return Fail("no such dialog");

    if (strcmp(command, "wait-dialog") == 0 && count <= 1) {
        PrintLine(RobotText(dialog));
    } else if (strcmp(command, "wait-gone") == 0 && count == 0) {
        if (!RobotWaitGone(dialog, timeoutMs)) return Fail("the dialog is still there");
    } else if (strcmp(command, "text") == 0 && count == 1) {
        PrintLine(RobotItemText(dialog, atoi(args[0])));
    } else if (strcmp(command, "type") == 0 && count == 2) {
        RobotType(dialog, atoi(args[0]), args[1]);
    } else if (strcmp(command, "replace") == 0 && count == 2) {
        RobotReplaceText(dialog, atoi(args[0]), args[1]);
    } else if (strcmp(command, "click") == 0 && count == 1) {
        RobotClick(dialog, atoi(args[0]));
    } else if (strcmp(command, "key") == 0 && count == 1) {
        if (strcmp(args[0], "enter") == 0)
            RobotKey(dialog, VK_RETURN);
        else if (strcmp(args[0], "escape") == 0)
            RobotKey(dialog, VK_ESCAPE);
        else
            return BadUsage();
    } else if (strcmp(command, "move") == 0 && count == 2) {
        RobotMove(dialog, atoi(args[0]), atoi(args[1]));
    } else if (strcmp(command, "icon") == 0 && count == 0) {
        UINT style = RobotMessageBoxIcon(dialog);
        for (const auto &icon : IconNames)
            if (icon.style == style) PrintLine(icon.name);
    } else if (strcmp(command, "message-box") == 0 && count == 0) {
        PrintLine(RobotMessageBoxText(dialog));
        LRESULT defaultId = SendMessageA(dialog, DM_GETDEFID, 0, 0);
        RobotClick(dialog, HIWORD(defaultId) == DC_HASDEFID ? LOWORD(defaultId) : IDOK);
        if (!RobotWaitGone(dialog, timeoutMs)) return Fail("the message box is still there");
    } else {
        return BadUsage();
    }
    return 0;
}
