// End-to-end harness: lays out a medium in a temporary folder, runs
// SETUP1.EXE on it through the runner, which answers its dialogs from a list
// of actions, and reads what the stand-in second phase recorded.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

// Value of --NAME=VALUE on the test program's command line, as a Windows
// path when it is a Unix one ("/x/y" becomes "Z:\x\y"); empty when absent.
std::string TestOption(const char *name);

// Removed with everything in it when it ends (or at MediumRemove), unless
// it only borrows a folder that someone else removes.
struct Medium {
    std::string dir;  // the medium folder, a Windows path without trailing "\"
    bool owned = true;
    Medium() = default;
    Medium(const Medium &) = delete;
    Medium &operator=(const Medium &) = delete;
    ~Medium();
};

// Makes a fresh folder %TEMP%\setup1-TAG-PID (removing any leftover) and
// copies SETUP1.EXE into it, and the stand-in second phase under the name
// phase2 when one is given. False when that fails.
bool MediumCreate(Medium *medium, const char *tag, const char *phase2 = 0);
// Writes a file below the medium folder (folders made as needed).
bool MediumWriteFile(const Medium *medium, const char *relativeName, const std::string &content);
// Writes SETUP1.INF with the given text.
bool MediumWritePlan(const Medium *medium, const std::string &text);
// Copies the stand-in second phase into the medium under the given name.
bool MediumAddPhase2(const Medium *medium, const char *name);
// Copies the files (not the folders) of a folder into the medium.
bool MediumCopyFolder(const Medium *medium, const std::string &folder);
// Removes the medium folder and everything in it before the medium ends.
void MediumRemove(Medium *medium);

// Recursive delete of a folder; clears read-only attributes on the way.
void RemoveTree(const std::string &dir);
bool FileExists(const std::string &path);
std::string ReadWholeFile(const std::string &path);  // empty when missing
// Writes a file with exactly these bytes, its folders made as needed.
bool PutFile(const std::string &path, const std::string &content);
std::string TempFolder(const char *tag);  // %TEMP%\setup1-TAG-PID, not created

// The folder TempFolder(tag), emptied (and made, unless the program under
// test is to make it) for the test and removed when the test ends.
struct Scratch {
    std::string dir;
    explicit Scratch(const char *tag, bool make = true) : dir(TempFolder(tag))
    {
        RemoveTree(dir);
        if (make) CreateDirectoryA(dir.c_str(), 0);
    }
    ~Scratch() { RemoveTree(dir); }
    std::string operator/(const std::string &name) const { return dir + "\\" + name; }
};

// Starts a console program with the arguments (quoted as needed), its
// output and errors going to the file outputPath (nowhere when empty).
// Fails the running test case when that cannot be done.
bool StartConsole(const std::string &program, const std::string &arguments, const std::string &outputPath,
                  PROCESS_INFORMATION *process);
// Waits for a program so started and closes its handles; when it does not
// end in time, it is ended and the running test case fails. Its exit code,
// 0xFFFFFFFF when it did not end by itself.
DWORD WaitConsole(PROCESS_INFORMATION *process, DWORD timeoutMs);
// How many times longer than on a plain machine the runs may take: the
// environment's SETUP1_TIME_SCALE, 1 when unset. Every wait here is scaled by it.
DWORD TimeScale();

struct Phase2Record {
    std::string commandLine;  // GetCommandLineA
    std::string winMainLine;  // the command line WinMain received
    std::string currentDir;   // GetCurrentDirectoryA at start
    std::string files;        // "NAME=SIZE;" for each file in that folder at start
};
// Waits up to timeoutMs for the record file to be complete, then reads it;
// with 0 it reads once.
bool ReadPhase2Record(const std::string &recordPath, Phase2Record *record, DWORD timeoutMs = 10000);

// ---- the runner ----------------------------------------------------------

// Whether the runner puts the program's path in double quotes on the line
// it starts it with (true at start); bare, as a command prompt does.
extern bool RunQuotesProgram;

// How the runner answers one dialog. The prompt kinds expect the directory
// prompt, BOX_OK a message box.
enum RunAnswer {
    PROMPT_OK,    // OK with the path as shown
    PROMPT_TYPE,  // the text typed over the path (select all, delete, type), then OK
    PROMPT_EXIT,  // Exit
    BOX_OK,       // a message box's OK
};

// One answer, for the next dialog that appears: {PROMPT_EXIT},
// {PROMPT_TYPE, "C:\\ZEV"}, {BOX_OK, "", true} (Enter), or with a move first:
// RunAction(PROMPT_OK).MovedTo(37, 21).
struct RunAction {
    RunAnswer answer;
    std::string text;             // typed over the path (PROMPT_TYPE)
    bool byKey;                   // Enter (OK) or Escape (Exit) instead of a click on the button
    bool move = false;            // first move the dialog to x, y
    std::function<void()> first;  // called while the dialog is up, before the answer
    int x = 0, y = 0;
    RunAction(RunAnswer answer, const std::string &text = std::string(), bool byKey = false)
        : answer(answer), text(text), byKey(byKey)
    {
    }
    RunAction MovedTo(int toX, int toY) const
    {
        RunAction moved = *this;
        moved.move = true;
        moved.x = toX;
        moved.y = toY;
        return moved;
    }
};

// What the runner saw of one dialog when it appeared, before answering it.
struct SeenDialog {
    bool messageBox = false;  // a message box; else the directory prompt
    std::string caption;
    // Every child's text by control id: the prompt's four texts and its
    // buttons; a box's text (0xFFFF) and its buttons.
    std::map<int, std::string> items;
    std::string path;                // the prompt's path field; "" for a box
    std::string typed;               // the path field after PROMPT_TYPE typed, before OK
    RECT rect = {0, 0, 0, 0};        // the window's rectangle on the screen
    int focusId = 0;                 // control id of the focused child; 0 when none has the focus
    UINT icon = 0;                   // a box's icon: MB_ICONHAND, MB_ICONEXCLAMATION, MB_ICONINFORMATION or 0
    std::string ownerClass;          // class name of the owner window; "" when it has none
    bool backdrop = false;           // the process's backdrop was still shown once the dialog was read
    std::string Text(int id) const;  // items[id], "" when there is no such child
};

struct RunResult {
    DWORD pid = 0;                      // the process's id
    DWORD exitCode = 0xFFFFFFFF;        // SETUP1.EXE's; 0xFFFFFFFF when it did not end by itself
    DWORD secondExitCode = 0xFFFFFFFF;  // that of the second start, when there was one
    DWORD processes = 0;                // processes of the run in all, those started included
    bool timedOut = false;              // ended by force after the time limit
    bool sawBackdrop = false;           // a visible SetupWClass window of the process was seen
    std::vector<SeenDialog> dialogs;    // in the order they appeared
    bool haveRecord = false;            // the stand-in second phase wrote a complete record
    Phase2Record record;
};

// What a run needs besides its answers; as they are at start, they suit most.
// secondStartMs: the program is started again that long after the first,
// as by a second double-click, and the runner answers and waits for both.
// atHandOver: the stand-in second phase stays a few seconds after its
// record, while the first phase waits in its start of it; called once then.
// meanwhile: called on each round of the runner's watch (about every 20 ms)
// while no dialog is shown; the result's pid is known by then.
struct RunOptions {
    DWORD timeoutMs = 30000;  // for the whole run
    DWORD secondStartMs = 0;  // 0: started once
    std::function<void()> atHandOver, meanwhile;
    std::string currentDir;  // where the program starts; "" for the current folder
};

// Starts MEDIUM\SETUP1.EXE with commandLine (the part after the program name)
// in the medium folder, answers each dialog of the process with the next
// action, waits for it and every process it started to end, and reads the
// stand-in second phase's record. Fails the running test case (and returns
// false) when the run does not end within its time (it is then ended by
// force and timedOut set), when a dialog finds no action left or one of the
// wrong kind (it is answered with Exit or OK), when actions are left unused,
// or when the program cannot be started.
bool RunSetup(const Medium *medium, const char *commandLine, const std::vector<RunAction> &actions, RunResult *result,
              RunOptions options = RunOptions());
// The same for any program: the runner's own machinery, for other programs
// of the tests.
bool RunProgram(const std::string &program, const char *commandLine, const std::vector<RunAction> &actions,
                RunResult *result, const RunOptions &options = RunOptions());
