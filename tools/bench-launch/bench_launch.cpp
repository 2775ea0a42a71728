// Start-to-launch time: from CreateProcess of a first phase to the moment
// the stand-in second phase it starts has written its record, for
// SETUP1.EXE on a small medium and for LAUNCH.EXE, which covers the screen
// with one colour and starts the same stand-in. Alternating, in one Wine
// prefix.
// usage: bench_launch MEDIUM_DIR STAGE_DIR LAUNCH_EXE ROUNDS
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "robot.h"

static double Seconds()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

static std::string ReadAll(const std::string &path)
{
    std::string data;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0,
                              OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) return data;
    char chunk[4096];
    DWORD got;
    while (ReadFile(file, chunk, sizeof chunk, &got, 0) && got) data.append(chunk, got);
    CloseHandle(file);
    return data;
}

struct Timing {
    double seconds;  // CreateProcess to the record's appearance
    DWORD exitCode;
    std::string firstLine;  // the stand-in's GetCommandLineA
};

// Starts program with line in dir, waits for the record to appear and be
// complete and for the program to end. False on any failure.
static bool Measure(const std::string &program, const std::string &line, const std::string &dir,
                    const std::string &record, Timing *timing)
{
    for (int i = 0; i < 200 && GetFileAttributesA(record.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
        DeleteFileA(record.c_str());
        Sleep(10);
    }
    if (GetFileAttributesA(record.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    std::string writable = line + '\0';
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    double start = Seconds();
    // As the runner of the tests starts it: an elevated benchmark's limited
    // token, for an elevated SETUP1.EXE trusts no folder that Wine's Unix
    // permissions let the user write.
    if (!StartAsUser(program.c_str(), &writable[0], 0, dir.c_str(), &startup, &process)) {
        printf("cannot start %s: error %lu\n", program.c_str(), GetLastError());
        return false;
    }
    bool seen = false;
    while (Seconds() - start < 30) {
        if (GetFileAttributesA(record.c_str()) != INVALID_FILE_ATTRIBUTES) {
            seen = true;
            break;
        }
        Sleep(1);
    }
    timing->seconds = Seconds() - start;
    std::string data;
    for (int i = 0; seen && i < 500; ++i) {
        data = ReadAll(record);
        if (data.size() >= 5 && data.compare(data.size() - 5, 5, "end\r\n") == 0) break;
        Sleep(10);
    }
    timing->firstLine = data.substr(0, data.find("\r\n"));
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 0xFFFFFFFF);
    GetExitCodeProcess(process.hProcess, &timing->exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // The stand-in ends right after its record; let it go before the next.
    Sleep(100);
    if (!seen) printf("%s: no record within 30 s\n", program.c_str());
    return seen;
}

static double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int main(int argc, char **argv)
{
    if (argc < 5 || atoi(argv[4]) < 1) {
        printf("usage: bench_launch MEDIUM_DIR STAGE_DIR LAUNCH_EXE ROUNDS\n");
        return 2;
    }
    std::string medium = argv[1], stage = argv[2], launcher = argv[3];
    int rounds = atoi(argv[4]);
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string record = std::string(temp) + "bench-launch-record.txt";
    SetEnvironmentVariableA("PHASE2_RECORD", record.c_str());

    std::string setup1 = medium + "\\SETUP1.EXE";
    std::string setupLine = "\"" + setup1 + "\"";
    // The line SETUP1.EXE gives the stand-in, for LAUNCH.EXE to start.
    std::string phase2Line = stage + "\\P2.EXE -p4 " + medium;
    std::string launchLine = "\"" + launcher + "\" " + phase2Line;

    std::vector<double> setupTimes, launchTimes;
    bool ok = true;
    // Round 0 warms the caches and is not counted.
    for (int round = 0; round <= rounds && ok; ++round) {
        Timing setupTiming = {}, launchTiming = {};
        for (int pass = 0; pass < 2 && ok; ++pass) {
            if ((pass + round) % 2 == 0)
                ok = Measure(setup1, setupLine, medium, record, &setupTiming) && setupTiming.exitCode == 1;
            else
                ok = Measure(launcher, launchLine, medium, record, &launchTiming);
        }
        if (!ok) break;
        if (setupTiming.firstLine != phase2Line || launchTiming.firstLine != phase2Line) {
            printf("unexpected second-phase line: [%s] / [%s], wanted [%s]\n", setupTiming.firstLine.c_str(),
                   launchTiming.firstLine.c_str(), phase2Line.c_str());
            ok = false;
            break;
        }
        if (round == 0) continue;
        printf("round %d: SETUP1.EXE %.1f ms, LAUNCH.EXE %.1f ms\n", round, setupTiming.seconds * 1000,
               launchTiming.seconds * 1000);
        fflush(stdout);
        setupTimes.push_back(setupTiming.seconds);
        launchTimes.push_back(launchTiming.seconds);
    }
    DeleteFileA(record.c_str());
    if (!ok) {
        printf("benchmark failed\n");
        return 1;
    }
    double setupMedian = Median(setupTimes), launchMedian = Median(launchTimes);
    printf("median: SETUP1.EXE %.1f ms, LAUNCH.EXE %.1f ms, ratio %.2f\n", setupMedian * 1000, launchMedian * 1000,
           setupMedian / launchMedian);
    printf("launch-ms %.1f %.1f %.3f\n", setupMedian * 1000, launchMedian * 1000, setupMedian / launchMedian);
    return 0;
}
