#include "e2e.h"

#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "resource.h"
#include "robot.h"
#include "test_args.h"
#include "testing.h"

std::string TestOption(const char *name)
{
    std::string prefix = std::string("--") + name + "=";
    for (int i = 1; i < TestArgc; ++i) {
        if (strncmp(TestArgv[i], prefix.c_str(), prefix.size()) != 0) continue;
        std::string value = TestArgv[i] + prefix.size();
        if (!value.empty() && value[0] == '/') {
            value = "Z:" + value;
            for (char &c : value)
                if (c == '/') c = '\\';
        }
        return value;
    }
    return std::string();
}

std::string ReadWholeFile(const std::string &path)
{
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return data;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) data.append(chunk, n);
    fclose(f);
    return data;
}

bool FileExists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string TempFolder(const char *tag)
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return std::string();
    std::string dir(temp, length);
    if (dir.back() != '\\') dir += '\\';
    return dir + "setup1-" + tag + "-" + std::to_string(GetCurrentProcessId());
}

void RemoveTree(const std::string &dir)
{
    if (dir.empty()) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = dir + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(dir.c_str());
}

// Makes every folder of path that is missing; path is a folder.
static bool MakeFolders(const std::string &path)
{
    if (path.empty() || FileExists(path)) return true;
    size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0 && path[slash - 1] != ':' && !MakeFolders(path.substr(0, slash)))
        return false;
    return CreateDirectoryA(path.c_str(), 0) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool MediumCreate(Medium *medium, const char *tag, const char *phase2)
{
    medium->dir = TempFolder(tag);
    if (medium->dir.empty()) return false;
    RemoveTree(medium->dir);
    if (!MakeFolders(medium->dir)) return false;
    std::string setup1 = TestOption("setup1");
    return !setup1.empty() && CopyFileA(setup1.c_str(), (medium->dir + "\\SETUP1.EXE").c_str(), FALSE) &&
           (!phase2 || MediumAddPhase2(medium, phase2));
}

bool PutFile(const std::string &path, const std::string &content)
{
    size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos && !MakeFolders(path.substr(0, slash))) return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), (DWORD)content.size(), &written, 0);
    CloseHandle(file);
    return ok && written == content.size();
}

bool MediumWriteFile(const Medium *medium, const char *relativeName, const std::string &content)
{
    return PutFile(medium->dir + "\\" + relativeName, content);
}

bool MediumWritePlan(const Medium *medium, const std::string &text)
{
    return MediumWriteFile(medium, "SETUP1.INF", text);
}

bool MediumAddPhase2(const Medium *medium, const char *name)
{
    std::string phase2 = TestOption("phase2");
    return !phase2.empty() && CopyFileA(phase2.c_str(), (medium->dir + "\\" + name).c_str(), FALSE);
}

bool MediumCopyFolder(const Medium *medium, const std::string &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool copied = true;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::string name = found.cFileName;
        copied = CopyFileA((folder + "\\" + name).c_str(), (medium->dir + "\\" + name).c_str(), FALSE) && copied;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return copied;
}

void MediumRemove(Medium *medium)
{
    RemoveTree(medium->dir);
    medium->dir.clear();
}

Medium::~Medium()
{
    if (owned) RemoveTree(dir);
}

bool StartConsole(const std::string &program, const std::string &arguments, const std::string &outputPath,
                  PROCESS_INFORMATION *process)
{
    std::string line = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments) + '\0';
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, 0, TRUE};
    HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, 0);
    HANDLE output = INVALID_HANDLE_VALUE;
    if (!outputPath.empty()) {
        output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
        DWORD error = GetLastError();
        if (output == INVALID_HANDLE_VALUE) {
            FAIL_CHECK("CreateFileA(" << outputPath << ") failed, error " << error);
            if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
            return false;
        }
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    // Without CREATE_NO_WINDOW: under Wine the output of a program started
    // so into a file of ours sometimes comes back empty.
    BOOL started = StartWith(0, program.c_str(), &line[0], output != INVALID_HANDLE_VALUE, 0, 0, &startup, process);
    DWORD error = GetLastError();
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
    if (!started) FAIL_CHECK("CreateProcessA(" << line.c_str() << ") failed, error " << error);
    return started != FALSE;
}

DWORD TimeScale()
{
    char text[8] = "";
    DWORD length = GetEnvironmentVariableA("SETUP1_TIME_SCALE", text, sizeof text);
    DWORD scale = length > 0 && length < sizeof text ? (DWORD)atoi(text) : 1;
    return scale > 0 ? scale : 1;
}

DWORD WaitConsole(PROCESS_INFORMATION *process, DWORD timeoutMs)
{
    timeoutMs *= TimeScale();
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process->hProcess, timeoutMs) != WAIT_OBJECT_0) {
        FAIL_CHECK("the process did not end within " << timeoutMs << " ms; it was ended by force");
        TerminateProcess(process->hProcess, 0xFFFFFFFF);
        WaitForSingleObject(process->hProcess, 5000);
    } else {
        GetExitCodeProcess(process->hProcess, &code);
    }
    CloseHandle(process->hThread);
    CloseHandle(process->hProcess);
    return code;
}

// The record is complete once its last line is "end".
static bool SplitRecord(const std::string &data, Phase2Record *record)
{
    std::string lines[5];
    size_t start = 0;
    for (std::string &line : lines) {
        size_t end = data.find("\r\n", start);
        if (end == std::string::npos) return false;
        line = data.substr(start, end - start);
        start = end + 2;
    }
    if (lines[4] != "end" || start != data.size()) return false;
    record->commandLine = lines[0];
    record->winMainLine = lines[1];
    record->currentDir = lines[2];
    record->files = lines[3];
    return true;
}

bool ReadPhase2Record(const std::string &recordPath, Phase2Record *record, DWORD timeoutMs)
{
    timeoutMs *= TimeScale();
    DWORD startTime = GetTickCount();
    for (;;) {
        if (SplitRecord(ReadWholeFile(recordPath), record)) return true;
        if (GetTickCount() - startTime >= timeoutMs) return false;
        Sleep(50);
    }
}

// ---- the runner ----------------------------------------------------------

std::string SeenDialog::Text(int id) const
{
    auto found = items.find(id);
    return found == items.end() ? std::string() : found->second;
}

// Fails the running test case, which goes on.
static void RunFails(const std::string &why) { FAIL_CHECK(why); }

static std::string ClassName(HWND window)
{
    char name[256];
    int length = window ? GetClassNameA(window, name, sizeof name) : 0;
    return length > 0 ? std::string(name, (size_t)length) : std::string();
}

// The process's topmost visible dialog (class #32770) that is not in
// passOver, and whether its backdrop is shown.
struct DialogSearch {
    DWORD pid, secondPid;
    const std::vector<HWND> *passOver;
    HWND found;
    bool backdrop;
};

static BOOL CALLBACK MatchRunWindow(HWND window, LPARAM parameter)
{
    DialogSearch *search = (DialogSearch *)parameter;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if ((pid != search->pid && (pid != search->secondPid || !pid)) || !IsWindowVisible(window)) return TRUE;
    std::string name = ClassName(window);
    if (name == "SetupWClass") search->backdrop = true;
    if (name != "#32770" || search->found) return TRUE;
    for (HWND stuck : *search->passOver)
        if (stuck == window) return TRUE;
    search->found = window;
    return TRUE;
}

// The processes of the job by id and program name, one a line.
static std::string JobProcessList(HANDLE job)
{
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST head;
        ULONG_PTR more[63];
    } ids;
    memset(&ids, 0, sizeof ids);
    ids.head.NumberOfAssignedProcesses = 64;
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, 0)) return "\n  (no list)";
    std::string list;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    for (ULONG i = 0; i < ids.head.NumberOfProcessIdsInList; ++i) {
        DWORD pid = (DWORD)ids.head.ProcessIdList[i];
        std::string name = "?";
        PROCESSENTRY32 entry;
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
            if (entry.th32ProcessID == pid)
                name = entry.szExeFile + std::string(" parent ") + std::to_string(entry.th32ParentProcessID);
        list += "\n  process " + std::to_string(pid) + " " + name;
    }
    CloseHandle(snapshot);
    return list;
}

// The process's top-level windows, visible or not, one a line: what a run
// that does not end is waiting in.
static BOOL CALLBACK ListWindow(HWND window, LPARAM parameter)
{
    std::pair<DWORD, std::string> *list = (std::pair<DWORD, std::string> *)parameter;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == list->first)
        list->second += "\n  window " + ClassName(window) + " \"" + RobotText(window) + "\"" +
                        (IsWindowVisible(window) ? " visible" : " hidden");
    return TRUE;
}

static BOOL CALLBACK CollectItem(HWND child, LPARAM parameter)
{
    SeenDialog *seen = (SeenDialog *)parameter;
    int id = GetDlgCtrlID(child);
    // The first child of an id counts; its text is what the user reads.
    if (!seen->items.count(id)) seen->items[id] = RobotText(child);
    return TRUE;
}

static SeenDialog Look(HWND dialog)
{
    SeenDialog seen;
    seen.messageBox = GetDlgItem(dialog, IDC_PATH) == 0;
    seen.caption = RobotText(dialog);
    EnumChildWindows(dialog, CollectItem, (LPARAM)&seen);
    if (!seen.messageBox) {
        seen.path = seen.items[IDC_PATH];
        seen.items.erase(IDC_PATH);
    }
    GetWindowRect(dialog, &seen.rect);
    GUITHREADINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, 0), &info) && info.hwndFocus &&
        IsChild(dialog, info.hwndFocus))
        seen.focusId = GetDlgCtrlID(info.hwndFocus);
    seen.icon = seen.messageBox ? RobotMessageBoxIcon(dialog) : 0;
    seen.ownerClass = ClassName(GetWindow(dialog, GW_OWNER));
    return seen;
}

static const char *const AnswerNames[] = {"PROMPT_OK", "PROMPT_TYPE", "PROMPT_EXIT", "BOX_OK"};

static std::string Describe(const SeenDialog &seen, size_t number)
{
    return "dialog " + std::to_string(number + 1) + (seen.messageBox ? " (a message box \"" : " (the prompt \"") +
           seen.caption + "\": \"" + (seen.messageBox ? seen.Text(0xFFFF) : seen.Text(IDC_TEXT_ENGLISH)) + "\")";
}

// Answers the dialog as the action says; a dialog of the other kind than
// the action expects gets Exit or OK, and the test fails.
static void Answer(HWND dialog, SeenDialog *seen, const RunAction &action)
{
    if (action.move) RobotMove(dialog, action.x, action.y);
    if (seen->messageBox) {
        if (action.byKey)
            RobotKey(dialog, VK_RETURN);
        else
            RobotClick(dialog, IDOK);
        return;
    }
    if (action.answer == PROMPT_TYPE) {
        RobotReplaceText(dialog, IDC_PATH, action.text.c_str());
        seen->typed = RobotItemText(dialog, IDC_PATH);
    }
    bool ok = action.answer == PROMPT_OK || action.answer == PROMPT_TYPE;
    if (action.byKey)
        RobotKey(dialog, ok ? VK_RETURN : VK_ESCAPE);
    else
        RobotClick(dialog, ok ? IDOK : IDCANCEL);
}

// The job's counts of processes (running, and in all); zero when they
// cannot be learnt, which fails the test case.
static JOBOBJECT_BASIC_ACCOUNTING_INFORMATION JobAccounting(HANDLE job)
{
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting;
    memset(&accounting, 0, sizeof accounting);
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting, 0)) {
        DWORD error = GetLastError();
        RunFails("QueryInformationJobObject failed, error " + std::to_string(error));
        memset(&accounting, 0, sizeof accounting);
    }
    return accounting;
}

bool RunQuotesProgram = true;

// A run under way: the job that holds all its processes, its starts (the
// second zero when there is none), how far the answers have come.
struct Run {
    std::string program, line, recordPath;
    const RunOptions *options;
    DWORD timeoutMs, start;  // scaled; GetTickCount once started
    HANDLE job;
    PROCESS_INFORMATION first, second;
    size_t next;
    bool failed;
};

// Starts the program in the run's job; false, with the test failed, when it cannot.
static bool StartInJob(const Run &run, PROCESS_INFORMATION *process)
{
    // CreateProcessA may write into the command line.
    std::string writable = run.line + '\0';
    // The environment is inherited; the second phase inherits it in turn.
    SetEnvironmentVariableA("PHASE2_RECORD", run.recordPath.c_str());
    SetEnvironmentVariableA("PHASE2_HOLD", run.options->atHandOver ? "3000" : 0);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    memset(process, 0, sizeof *process);
    const char *dir = run.options->currentDir.empty() ? 0 : run.options->currentDir.c_str();
    BOOL started = StartAsUser(run.program.c_str(), &writable[0], CREATE_SUSPENDED, dir, &startup, process);
    DWORD startError = GetLastError();
    SetEnvironmentVariableA("PHASE2_RECORD", 0);
    SetEnvironmentVariableA("PHASE2_HOLD", 0);
    if (!started) {
        RunFails(std::string("CreateProcessA(") + run.program + ") failed, error " + std::to_string(startError));
        return false;
    }
    BOOL assigned = AssignProcessToJobObject(run.job, process->hProcess);
    DWORD assignError = GetLastError();
    ResumeThread(process->hThread);
    if (!assigned) RunFails("AssignProcessToJobObject failed, error " + std::to_string(assignError));
    return true;
}

// Makes the job and starts the program in it (a second time after
// secondStartMs); false, with the test failed and nothing left open, when
// it cannot.
static bool StartRun(Run *run, RunResult *result)
{
    DeleteFileA(run->recordPath.c_str());
    // The program and all it starts run in a job: the runner can tell when
    // the last of them has ended, and ends all of them on a timeout.
    run->job = CreateJobObjectA(0, 0);
    if (!run->job) {
        DWORD error = GetLastError();
        RunFails(std::string("CreateJobObjectA failed, error ") + std::to_string(error));
        return false;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    memset(&limits, 0, sizeof limits);
    // Should the test program itself end early, the job's end ends them too.
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(run->job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    // The platform starts the process that owns the desktop for the first
    // program to need it, and it lives as long as any program uses the
    // desktop. Started by the program under test, it would run in the job
    // and outlive the run; this process asks for the desktop first.
    GetDesktopWindow();

    if (!StartInJob(*run, &run->first)) {
        CloseHandle(run->job);
        return false;
    }
    result->pid = run->first.dwProcessId;
    if (run->options->secondStartMs) {
        Sleep(run->options->secondStartMs);
        StartInJob(*run, &run->second);
    }
    run->start = GetTickCount();
    return true;
}

// Answers each dialog of the run's processes with the next action until
// the first start ends or the time is up.
static void AnswerUntilExit(Run *run, const std::vector<RunAction> &actions, RunResult *result)
{
    std::vector<HWND> stuck;  // answered, but still shown
    bool handedOver = false;
    while (GetTickCount() - run->start < run->timeoutMs) {
        DialogSearch search = {run->first.dwProcessId, run->second.dwProcessId, &stuck, 0, false};
        EnumWindows(MatchRunWindow, (LPARAM)&search);
        if (search.backdrop) result->sawBackdrop = true;
        if (search.found) {
            SeenDialog seen = Look(search.found);
            // Looked for again once the dialog has answered the runner: a
            // backdrop that the dialog's own loop destroyed is gone by now.
            search.backdrop = false;
            EnumWindows(MatchRunWindow, (LPARAM)&search);
            seen.backdrop = search.backdrop;
            std::string what = Describe(seen, result->dialogs.size());
            RunAction action(seen.messageBox ? BOX_OK : PROMPT_EXIT);
            if (run->next >= actions.size()) {
                RunFails(what + " came when no action was left; answered with " + AnswerNames[action.answer]);
                run->failed = true;
            } else if ((actions[run->next].answer == BOX_OK) != seen.messageBox) {
                RunFails(what + " came where action " + std::to_string(run->next + 1) + " (" +
                         AnswerNames[actions[run->next].answer] + ") expected the other kind; answered with " +
                         AnswerNames[action.answer]);
                run->failed = true;
                ++run->next;
            } else {
                action = actions[run->next++];
            }
            if (action.first) action.first();
            Answer(search.found, &seen, action);
            result->dialogs.push_back(seen);
            if (!RobotWaitGone(search.found, 10000)) {
                RunFails(what + " was still shown 10 s after its answer");
                run->failed = true;
                stuck.push_back(search.found);
            }
            continue;
        }
        if (run->options->atHandOver && !handedOver && ReadPhase2Record(run->recordPath, &result->record, 0)) {
            handedOver = true;
            run->options->atHandOver();
        }
        if (run->options->meanwhile) run->options->meanwhile();
        if (WaitForSingleObject(run->first.hProcess, 20) == WAIT_OBJECT_0) break;
    }
}

// Waits for every process of the run (ending them all on a timeout, with
// what they were waiting in), takes the exit codes, the count of processes
// and the second phase's record, and closes the run; false when the run
// failed.
static bool CollectOutcome(Run *run, const std::vector<RunAction> &actions, RunResult *result)
{
    // What the program started may still be running: the second phase
    // writes its record before it ends.
    while (JobAccounting(run->job).ActiveProcesses > 0 && GetTickCount() - run->start < run->timeoutMs) Sleep(20);
    bool ended = WaitForSingleObject(run->first.hProcess, 0) == WAIT_OBJECT_0;
    DWORD running = JobAccounting(run->job).ActiveProcesses;
    if (!ended || running > 0) {
        std::pair<DWORD, std::string> windows(run->first.dwProcessId, std::string());
        if (!ended) EnumWindows(ListWindow, (LPARAM)&windows);
        RunFails("the run of " + run->program + " did not end within " + std::to_string(run->timeoutMs) +
                 " ms; it was ended by force. The program " + (ended ? "had ended" : "was still running") + ", " +
                 std::to_string(running) + " processes in all" + JobProcessList(run->job) + windows.second);
        run->failed = true;
        result->timedOut = true;
        TerminateJobObject(run->job, 0xFFFFFFFF);
        WaitForSingleObject(run->first.hProcess, 5000);
    } else if (!GetExitCodeProcess(run->first.hProcess, &result->exitCode)) {
        result->exitCode = 0xFFFFFFFF;
    }
    result->processes = JobAccounting(run->job).TotalProcesses;
    CloseHandle(run->first.hThread);
    CloseHandle(run->first.hProcess);
    if (run->second.hProcess) {
        if (!result->timedOut) GetExitCodeProcess(run->second.hProcess, &result->secondExitCode);
        CloseHandle(run->second.hThread);
        CloseHandle(run->second.hProcess);
    }
    CloseHandle(run->job);
    if (run->next < actions.size() && !result->timedOut) {
        RunFails("the run ended with " + std::to_string(actions.size() - run->next) + " of " +
                 std::to_string(actions.size()) + " actions unused, the first " +
                 AnswerNames[actions[run->next].answer]);
        run->failed = true;
    }
    // Every process of the run has ended: the record is complete now or never.
    result->haveRecord = ReadPhase2Record(run->recordPath, &result->record, 0);
    DeleteFileA(run->recordPath.c_str());
    return !run->failed;
}

bool RunProgram(const std::string &program, const char *commandLine, const std::vector<RunAction> &actions,
                RunResult *result, const RunOptions &options)
{
    *result = RunResult();
    Run run{};
    run.program = program;
    run.line = RunQuotesProgram ? "\"" + program + "\"" : program;
    if (commandLine && commandLine[0]) run.line += std::string(" ") + commandLine;
    run.recordPath = TempFolder("run-record") + ".txt";
    run.options = &options;
    run.timeoutMs = options.timeoutMs * TimeScale();
    if (!StartRun(&run, result)) return false;
    AnswerUntilExit(&run, actions, result);
    return CollectOutcome(&run, actions, result);
}

bool RunSetup(const Medium *medium, const char *commandLine, const std::vector<RunAction> &actions, RunResult *result,
              RunOptions options)
{
    options.currentDir = medium->dir;
    return RunProgram(medium->dir + "\\SETUP1.EXE", commandLine, actions, result, options);
}
