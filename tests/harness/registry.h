// Registry keys under Software\Tessaric made and removed by the tests, and a
// watcher that answers a message box of a given process from another thread.
#pragma once
#include <windows.h>
#include <string.h>

#include <string>
#include <vector>

#include "robot.h"

struct Hive {
    HKEY root;
    const char *subKey;  // below root, or null
    const char *name;
};
static const Hive HiveUser = {HKEY_CURRENT_USER, 0, "HKCU"};
static const Hive HiveDefault = {HKEY_USERS, ".DEFAULT", "HKU\\.DEFAULT"};
static const Hive HiveMachine = {HKEY_LOCAL_MACHINE, 0, "HKLM"};

inline std::string HivePath(const Hive &hive, const std::string &path)
{
    return hive.subKey ? std::string(hive.subKey) + "\\" + path : path;
}

inline void DeleteKeyTree(HKEY root, const std::string &path)
{
    HKEY key;
    if (RegOpenKeyA(root, path.c_str(), &key) != ERROR_SUCCESS) return;
    char name[512];
    // Always the first sub-key: deleting shifts the others down.
    while (RegEnumKeyA(key, 0, name, sizeof name) == ERROR_SUCCESS) {
        DeleteKeyTree(key, name);
        if (RegDeleteKeyA(key, name) != ERROR_SUCCESS) break;
    }
    RegCloseKey(key);
}

// Removes Software\Tessaric from the three hives of the settings store.
inline void CleanSettings()
{
    for (const Hive *hive : {&HiveUser, &HiveDefault, &HiveMachine}) {
        DeleteKeyTree(hive->root, HivePath(*hive, "Software\\Tessaric"));
        HKEY software;
        if (RegOpenKeyA(hive->root, HivePath(*hive, "Software").c_str(), &software) == ERROR_SUCCESS) {
            RegDeleteKeyA(software, "Tessaric");
            RegCloseKey(software);
        }
    }
}

inline bool KeyExists(const Hive &hive, const std::string &path)
{
    HKEY key;
    if (RegOpenKeyA(hive.root, HivePath(hive, path).c_str(), &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Made one component at a time: the ANSI calls refuse a whole path longer
// than MAX_PATH, though each key name may hold 255 characters.
inline HKEY CreateKeyPath(const Hive &hive, const std::string &path)
{
    std::string full = HivePath(hive, path);
    HKEY key = hive.root;
    bool own = false;
    size_t start = 0;
    while (start <= full.size()) {
        size_t end = full.find('\\', start);
        if (end == std::string::npos) end = full.size();
        HKEY next;
        LONG status = RegCreateKeyA(key, full.substr(start, end - start).c_str(), &next);
        if (own) RegCloseKey(key);
        if (status != ERROR_SUCCESS) return 0;
        key = next;
        own = true;
        start = end + 1;
    }
    return key;
}

inline bool MakeKey(const Hive &hive, const std::string &path)
{
    HKEY key = CreateKeyPath(hive, path);
    if (!key) return false;
    RegCloseKey(key);
    return true;
}

// A value of any type and bytes in the key path (made when missing).
inline bool SetValueBytes(const Hive &hive, const std::string &path, const char *name, DWORD type, const void *data,
                          DWORD size)
{
    HKEY key = CreateKeyPath(hive, path);
    if (!key) return false;
    LONG status = RegSetValueExA(key, name, 0, type, (const BYTE *)data, size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

inline bool SetText(const Hive &hive, const std::string &path, const char *name, const std::string &text)
{
    return SetValueBytes(hive, path, name, REG_SZ, text.c_str(), (DWORD)text.size() + 1);
}

// What a message box showed.
struct SeenBox {
    std::string text;
    std::string caption;
    UINT icon;
    bool hasOk;
    bool hasCancel;
};

// Watches for message boxes (class #32770 with a caption) of one process on
// its own thread, notes each and presses OK.
struct BoxWatch {
    DWORD pid;
    const char *caption;
    DWORD quietMs;  // stop after this long without a box
    volatile LONG stop;
    std::vector<SeenBox> seen;
    HANDLE thread = 0;
    ~BoxWatch();  // stops the watch, should a test end before BoxWatchEnd
};

inline DWORD WINAPI BoxWatchThread(void *parameter)
{
    BoxWatch *watch = (BoxWatch *)parameter;
    DWORD lastSeen = GetTickCount();
    while (!watch->stop && GetTickCount() - lastSeen < watch->quietMs) {
        HWND box = RobotFindDialog(watch->pid, watch->caption, 50);
        if (!box) continue;
        SeenBox seen;
        seen.text = RobotMessageBoxText(box);
        seen.caption = RobotText(box);
        seen.icon = RobotMessageBoxIcon(box);
        seen.hasOk = GetDlgItem(box, IDOK) != 0;
        seen.hasCancel = GetDlgItem(box, IDCANCEL) != 0 || GetDlgItem(box, IDNO) != 0;
        watch->seen.push_back(seen);
        RobotClick(box, IDOK);
        RobotWaitGone(box, 5000);
        lastSeen = GetTickCount();
    }
    return 0;
}

inline void BoxWatchStart(BoxWatch *watch, DWORD pid, const char *caption, DWORD quietMs = 3000)
{
    watch->pid = pid;
    watch->caption = caption;
    watch->quietMs = quietMs;
    watch->stop = 0;
    watch->seen.clear();
    watch->thread = CreateThread(0, 0, BoxWatchThread, watch, 0, 0);
}

// Stops the watch (at once, or when it has been quiet for its time) and
// waits for its thread.
inline void BoxWatchEnd(BoxWatch *watch, bool now = true)
{
    if (now) InterlockedExchange(&watch->stop, 1);
    if (watch->thread) {
        WaitForSingleObject(watch->thread, 20000);
        CloseHandle(watch->thread);
        watch->thread = 0;
    }
}

inline BoxWatch::~BoxWatch() { BoxWatchEnd(this); }
