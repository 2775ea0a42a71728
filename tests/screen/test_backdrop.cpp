// The backdrop window: its class, its bands of blue and the edition's
// bitmap, read back from the real (X) screen.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "../native/band_cases.h"
#include "../staging/files.h"
#include "backdrop.h"
#include "e2e.h"
#include "registry.h"
#include "robot.h"
#include "screen.h"
#include "setup1.h"
#include "testing.h"
#include "texts.h"

// The backdrop of this process, made once as the entry would make it.
static HWND Backdrop()
{
    if (!BackdropWindow) {
        ProgramInstance = GetModuleHandleA(0);
        SetLastError(0xdeadbeef);
        int created = CreateBackdrop(ProgramInstance, 0, SW_SHOWNORMAL);
        DWORD error = GetLastError();
        INFO("CreateBackdrop error ", error);
        REQUIRE(created == 1);
        REQUIRE(BackdropWindow != 0);
    }
    return BackdropWindow;
}

static void Repaint(char edition)
{
    PhaseTwoPlan.EditionLetter = edition;
    REQUIRE(InvalidateRect(Backdrop(), 0, TRUE));
    REQUIRE(UpdateWindow(Backdrop()));
    PumpMessages(100);
}

struct Run {
    DWORD colour;
    int first, rows;
};

// The runs of equal colour down column x, from row `from` to row `to` - 1.
static std::vector<Run> ColumnRuns(const ScreenImage &image, int x, int from, int to)
{
    std::vector<Run> runs;
    for (int y = from; y < to; ++y) {
        DWORD c = image.At(x, y);
        if (runs.empty() || runs.back().colour != c)
            runs.push_back({c, y, 1});
        else
            ++runs.back().rows;
    }
    return runs;
}

static bool InBitmapArea(int x, int y, int width, int height)
{
    return x >= width - 242 && x < width - 10 && y >= height - 122 && y < height - 10;
}

TEST_CASE("CreateBackdrop registers SetupWClass and opens a bare full-screen window")
{
    CheckScreenSize();
    HWND window = Backdrop();
    WNDCLASSA info = {};
    REQUIRE(GetClassInfoA(ProgramInstance, "SetupWClass", &info));
    CHECK(info.style == 0x6000u);
    CHECK((void *)info.lpfnWndProc == (void *)BackdropWndProc);
    CHECK(info.cbClsExtra == 0);
    CHECK(info.cbWndExtra == 0);
    CHECK(info.hIcon == LoadIconA(0, MAKEINTRESOURCEA(17)));
    CHECK(info.hIcon == (HICON)0);
    CHECK(info.hCursor == LoadCursorA(0, (LPCSTR)IDC_ARROW));
    CHECK(info.hbrBackground == (HBRUSH)(COLOR_WINDOW + 1));
    CHECK(info.lpszMenuName == (LPCSTR)0);

    char className[64] = "", title[64] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    CHECK(Text(className) == "SetupWClass");
    CHECK(Text(title) == "Setup");
    // The platform adds WS_CLIPSIBLINGS to every top-level window.
    CHECK(Hex((DWORD)GetWindowLongA(window, GWL_STYLE) & ~WS_CLIPSIBLINGS) == Hex(WS_POPUP | WS_VISIBLE));
    CHECK(GetWindowLongA(window, GWL_EXSTYLE) == 0);
    CHECK(GetParent(window) == (HWND)0);
    CHECK(GetMenu(window) == (HMENU)0);
    RECT frame;
    GetWindowRect(window, &frame);
    CHECK(frame.left == 0);
    CHECK(frame.top == 0);
    CHECK(frame.right == GetSystemMetrics(SM_CXSCREEN));
    CHECK(frame.bottom == GetSystemMetrics(SM_CYSCREEN));
}

// The bands down the screen and the bitmap in its corner, on the real screen
// now or as captured before.
static void CheckBackdropOnScreen(const char *bitmapName, const ScreenImage *captured = 0)
{
    ScreenImage screen;
    if (captured)
        screen = *captured;
    else
        REQUIRE(CaptureScreen(&screen));
    const int w = screen.width, h = screen.height;
    const BandCase *c = FindBandCase(h);
    INFO("screen ", w, "x", h);
    REQUIRE(c != 0);
    const int s = c->bandHeight;

    // Every row has one colour across the full width, outside the bitmap.
    int unevenRows = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 1; x < w; ++x) {
            if (InBitmapArea(x, y, w, h) || screen.At(x, y) == screen.At(0, y)) continue;
            if (++unevenRows <= 3) {
                INFO("row ", y, " column ", x);
                CHECK(Hex(screen.At(x, y)) == Hex(screen.At(0, y)));
            }
            break;
        }
    }
    CHECK(unevenRows == 0);

    // The bands: S + 1 rows of blue 255, then S rows each, one step darker.
    int lastBandRow = c->count * s;  // the first band has one row more
    if (lastBandRow > h - 1) lastBandRow = h - 1;
    std::vector<Run> runs = ColumnRuns(screen, 0, 0, lastBandRow + 1);
    CHECK(runs.size() == (size_t)c->count);
    for (size_t i = 0; i < runs.size() && i < (size_t)c->count; ++i) {
        INFO("band ", i, " from row ", runs[i].first);
        CHECK(Hex(runs[i].colour) == Hex(255 - (int)i));
        int rows = i == 0 ? s + 1 : s;
        if (runs[i].first + rows > lastBandRow + 1) rows = lastBandRow + 1 - runs[i].first;
        CHECK(runs[i].rows == rows);
    }
    CHECK(Hex(screen.At(0, 0)) == Hex(0x0000FF));
    CHECK(Hex(screen.At(0, lastBandRow)) == Hex(c->lastIntensity));

    // Below the last band no band is drawn, and since WM_ERASEBKGND returns 1
    // the class brush (COLOR_WINDOW) never erases there either: the rows keep
    // what the window surface held before, which is black, not a blue
    // of the gradient nor the window colour.
    for (int y = lastBandRow + 1; y < h; ++y) {
        if (screen.At(0, y) != 0) {
            INFO("row ", y, " below the last band");
            CHECK(Hex(screen.At(0, y)) == Hex(0));
            CHECK(Hex(screen.At(0, y)) != Hex(GetSysColor(COLOR_WINDOW)));
            break;
        }
    }

    // The bitmap, pixel for pixel, 10 pixels from the right and bottom edges.
    ScreenImage bitmap;
    REQUIRE(BitmapPixels(GetModuleHandleA(0), bitmapName, &bitmap));
    REQUIRE(bitmap.width == 232);
    REQUIRE(bitmap.height == 112);
    const int left = w - 232 - 10, top = h - 112 - 10;
    if (h == 480) {
        CHECK(left == 398);
        CHECK(top == 358);
    }
    int different = 0;
    for (int y = 0; y < bitmap.height; ++y)
        for (int x = 0; x < bitmap.width; ++x)
            if (screen.At(left + x, top + y) != bitmap.At(x, y) && ++different <= 3) {
                INFO(Text(bitmapName), " pixel ", x, ",", y);
                CHECK(Hex(screen.At(left + x, top + y)) == Hex(bitmap.At(x, y)));
            }
    CHECK(different == 0);
    // Around it the gradient: the column left of it and the row above it.
    CHECK(Hex(screen.At(left - 1, top + 50)) == Hex(screen.At(0, top + 50)));
    CHECK(Hex(screen.At(left + 100, top - 1)) == Hex(screen.At(0, top - 1)));
    CHECK(Hex(screen.At(w - 10, top + 50)) == Hex(screen.At(0, top + 50)));
    CHECK(Hex(screen.At(left + 100, h - 10)) == Hex(screen.At(0, h - 10)));
}

TEST_CASE("the first paint shows the bands and heart")
{
    CheckScreenSize();
    Backdrop();
    // No plan has been read: the edition letter is still the blank.
    CHECK(PhaseTwoPlan.EditionLetter == ' ');
    PumpMessages(100);
    CheckBackdropOnScreen("heart");
}

TEST_CASE("a repaint draws the bitmap of the edition letter")
{
    static const struct {
        char edition;
        const char *bitmap;
    } cases[] = {
        {'N', "linnet"}, {'3', "heart"}, {'N', "linnet"}, {'4', "heart"}, {' ', "heart"},
    };
    // The two pictures must differ enough to tell them apart.
    ScreenImage heart, linnet;
    REQUIRE(BitmapPixels(GetModuleHandleA(0), "heart", &heart));
    REQUIRE(BitmapPixels(GetModuleHandleA(0), "linnet", &linnet));
    REQUIRE(heart.pixels.size() == linnet.pixels.size());
    size_t differing = 0;
    for (size_t i = 0; i < heart.pixels.size(); ++i) differing += heart.pixels[i] != linnet.pixels[i];
    REQUIRE(differing > heart.pixels.size() / 10);

    for (const auto &c : cases) {
        INFO("edition '", std::string(1, c.edition), "'");
        Repaint(c.edition);
        CheckBackdropOnScreen(c.bitmap);
    }
    PhaseTwoPlan.EditionLetter = ' ';
}

TEST_CASE("SETUP1.EXE on a Linnet medium shows linnet once the plan is read, in a run without a dialog")
{
    CheckScreenSize();
    Medium medium;
    REQUIRE(MediumCreate(&medium, "linnet"));
    Scratch stage("linnet-stage", false);
    REQUIRE(MediumAddPhase2(&medium, "PHASE2.EXE"));
    REQUIRE(MediumWritePlan(&medium, "[phasetwo]\r\ntarget=3+N\r\ncopyfiles=PHASE2.EXE\r\ntempdir=" + stage.dir +
                                         "\r\nrun=PHASE2.EXE\r\n"));
    // The screen while the first phase waits for the second to start: long
    // after the plan was read, and no dialog has repainted anything.
    ScreenImage screen;
    bool captured = false;
    RunResult run;
    RunOptions options;
    options.atHandOver = [&] { captured = CaptureScreen(&screen); };
    RunSetup(&medium, "", {}, &run, options);
    CHECK(run.exitCode == 1u);
    CHECK(run.dialogs.empty());
    REQUIRE(captured);
    CheckBackdropOnScreen("linnet", &screen);
}

// Holds all of this process's GDI handles but a few hundred, so that code
// that keeps one object a call runs out within a few hundred calls.
struct GdiScarcity {
    std::vector<HGDIOBJ> held;
    explicit GdiScarcity(int spare)
    {
        // The platform's table has room for 65536 at most.
        while (held.size() < 100000) {
            HGDIOBJ pen = CreatePen(PS_SOLID, 0, RGB(held.size() & 255, 0, 0));
            if (!pen) break;
            held.push_back(pen);
        }
        for (int i = 0; i < spare && !held.empty(); ++i) {
            DeleteObject(held.back());
            held.pop_back();
        }
    }
    ~GdiScarcity()
    {
        for (HGDIOBJ object : held) DeleteObject(object);
    }
};

// How many more pens this process can have now: a leak shows as fewer.
static int FreeGdiRoom()
{
    std::vector<HGDIOBJ> pens;
    for (HGDIOBJ pen; pens.size() < 100000 && (pen = CreatePen(PS_SOLID, 0, 0)) != 0;) pens.push_back(pen);
    for (HGDIOBJ pen : pens) DeleteObject(pen);
    return (int)pens.size();
}

TEST_CASE("a bitmap that cannot be loaded draws nothing and leaks nothing")
{
    Backdrop();
    // A module without the two bitmaps stands in for a damaged program file.
    HMODULE saved = ProgramInstance;
    ProgramInstance = GetModuleHandleA("kernel32.dll");
    REQUIRE(ProgramInstance != 0);
    SetLastError(0xdeadbeef);
    HBITMAP missing = LoadBitmapA(ProgramInstance, "heart");
    DWORD error = GetLastError();
    CHECK(missing == (HBITMAP)0);
    CHECK(error == (DWORD)ERROR_RESOURCE_TYPE_NOT_FOUND);
    Repaint('N');

    ScreenImage screen;
    REQUIRE(CaptureScreen(&screen));
    const int w = screen.width, h = screen.height;
    const BandCase *c = FindBandCase(h);
    REQUIRE(c != 0);
    // Rows below the last band are never painted and keep the old picture.
    const int rows = c->count * c->bandHeight < h - 10 ? c->count * c->bandHeight + 1 : h - 10;
    int notGradient = 0;
    for (int y = h - 122; y < rows; ++y)
        for (int x = w - 242; x < w - 10; ++x)
            if (screen.At(x, y) != screen.At(0, y) && ++notGradient <= 3) {
                INFO("corner pixel ", x, ",", y);
                CHECK(Hex(screen.At(x, y)) == Hex(screen.At(0, y)));
            }
    CHECK(notGradient == 0);
    ProgramInstance = saved;
    Repaint(' ');
}

TEST_CASE("no GDI object left behind by DrawCornerBitmap (with or without its bitmap) or PaintGradient; the window "
          "colours set after the bands")
{
    Backdrop();
    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    ReleaseDC(0, screen);
    REQUIRE(memory != 0);
    REQUIRE(canvas != 0);
    HGDIOBJ oldBitmap = SelectObject(memory, canvas);
    HGDIOBJ pen = GetCurrentObject(memory, OBJ_PEN), brush = GetCurrentObject(memory, OBJ_BRUSH);
    SetBkColor(memory, RGB(1, 2, 3));
    SetTextColor(memory, RGB(4, 5, 6));

    static const struct {
        const char *what;
        HMODULE module;
        char edition;
        bool gradient;
    } cases[] = {
        {"DrawCornerBitmap without its bitmap", GetModuleHandleA("kernel32.dll"), 'N', false},
        {"DrawCornerBitmap with the linnet", GetModuleHandleA(0), 'N', false},
        {"DrawCornerBitmap with the heart", GetModuleHandleA(0), ' ', false},
        {"PaintGradient", GetModuleHandleA(0), ' ', true},
    };
    const int spare = 300;
    for (const auto &c : cases) {
        INFO(c.what);
        REQUIRE(c.module != 0);
        ProgramInstance = c.module;
        PhaseTwoPlan.EditionLetter = c.edition;
        int room, left;
        {
            GdiScarcity scarcity(spare);
            room = FreeGdiRoom();
            // More calls than there is room: one object kept per call would
            // use it up.
            for (int i = 0; i < room + 100; ++i) {
                if (c.gradient)
                    PaintGradient(memory);
                else
                    DrawCornerBitmap(BackdropWindow);
            }
            left = FreeGdiRoom();
        }
        INFO("free GDI handles before ", room, ", after ", left);
        CHECK(room >= spare - 16);
        CHECK(room <= spare + 16);
        CHECK(left >= room - 16);
        if (c.gradient) {
            CHECK(GetCurrentObject(memory, OBJ_PEN) == pen);
            CHECK(GetCurrentObject(memory, OBJ_BRUSH) == brush);
            CHECK(Hex(GetBkColor(memory)) == Hex(GetSysColor(COLOR_WINDOW)));
            CHECK(Hex(GetTextColor(memory)) == Hex(GetSysColor(COLOR_WINDOWTEXT)));
            CHECK(Hex(GetPixel(memory, 0, 0)) == Hex(RGB(0, 0, 255)));
        }
    }
    ProgramInstance = GetModuleHandleA(0);
    PhaseTwoPlan.EditionLetter = ' ';
    Repaint(' ');

    SelectObject(memory, oldBitmap);
    DeleteObject(canvas);
    DeleteDC(memory);
}

TEST_CASE("BackdropWndProc: the four rows")
{
    HWND window = Backdrop();
    // WM_ERASEBKGND paints into the DC it is given and reports it erased.
    HDC screen = GetDC(0);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, 8, 8);
    ReleaseDC(0, screen);
    HGDIOBJ old = SelectObject(memory, canvas);
    PatBlt(memory, 0, 0, 8, 8, WHITENESS);
    CHECK(SendMessageA(window, WM_ERASEBKGND, (WPARAM)memory, 0) == 1);
    CHECK(Hex(GetPixel(memory, 0, 0)) == Hex(RGB(0, 0, 255)));
    SelectObject(memory, old);
    DeleteObject(canvas);
    DeleteDC(memory);

    // WM_PAINT draws nothing itself and validates the window.
    CHECK(InvalidateRect(window, 0, FALSE));
    CHECK(SendMessageA(window, WM_PAINT, 0, 0) == 0);
    RECT update;
    CHECK(GetUpdateRect(window, &update, FALSE) == FALSE);

    // Any other message goes to DefWindowProcA.
    char title[16];
    memset(title, 'x', sizeof title);
    CHECK(SendMessageA(window, WM_GETTEXT, sizeof title, (LPARAM)title) == 5);
    CHECK(Bytes(title, 6) == Bytes("Setup", 6));

    // WM_DESTROY posts the quit message with exit code 0 (called directly:
    // the window itself stays).
    MSG message;
    while (PeekMessageA(&message, 0, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
    CHECK(BackdropWndProc(window, WM_DESTROY, 0, 0) == 0);
    REQUIRE(PeekMessageA(&message, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
    CHECK(message.wParam == 0);
    CHECK(IsWindow(window));
}

// 1 when each row of part shows the band that column 0 shows there.
static bool Banded(const ScreenImage &screen, const RECT &part)
{
    for (int y = part.top; y < part.bottom; ++y) {
        DWORD band = screen.At(0, y);
        if (!band || (band & 0xFFFF00)) return false;
        for (int x = part.left; x < part.right; ++x)
            if (screen.At(x, y) != band) return false;
    }
    return true;
}

TEST_CASE("SETUP1.EXE keeps its backdrop answering, painted and open through a long staging")
{
    CheckScreenSize();
    // Onto a RAM-backed folder (ram-folder.sh): the disk's write-back would
    // hold up every program now and then.
    std::string ram = TestOption("ramdir");
    char tmp[MAX_PATH];
    DWORD tmpLength = GetEnvironmentVariableA("TMP", tmp, sizeof tmp);
    if (ram.empty())
        MESSAGE("no RAM folder (--ramdir): the staging goes to the disk, whose write-back may hold up answers");
    else
        REQUIRE(SetEnvironmentVariableA("TMP", ram.c_str()));
    // Normal mode with the close request sent during the copy; add-on mode
    // with it posted, where the report's modal loop hands it on.
    static const struct {
        const char *target;
        bool post;
    } cases[] = {{"4", false}, {"S", true}};
    const DWORD limit = 250 * TimeScale();
    const RECT part = {100, 100, 300, 200};
    for (const auto &c : cases) {
        INFO("target ", c.target);
        CleanSettings();
        Medium medium;
        REQUIRE(MediumCreate(&medium, "busy", "P2.EXE"));
        // A large file without data (sparse), copied eight times: each pass
        // removes the last copy first, so the folder holds one at a time.
        HANDLE big = CreateFileA((medium.dir + "\\BIG.DAT").c_str(), GENERIC_WRITE, 0, 0, CREATE_NEW, 0, 0);
        REQUIRE(big != INVALID_HANDLE_VALUE);
        CHECK(SetFilePointer(big, 256 << 20, 0, FILE_BEGIN) == (DWORD)(256 << 20));
        CHECK(SetEndOfFile(big));
        CloseHandle(big);
        Scratch scratch("busy-stage", false);
        const std::string &stage = scratch.dir;
        std::string copies = "BIG.DAT";
        for (int i = 1; i < 8; ++i) copies += ",BIG.DAT";
        REQUIRE(MediumWritePlan(&medium, "[phasetwo]\r\ntarget=" + std::string(c.target) + "\r\ncopyfiles=" + copies +
                                             ",P2.EXE\r\ntempdir=" + stage + "\r\nrun=P2.EXE\r\n"));
        auto staging = [&] { return FileExists(stage + "\\BIG.DAT") && !FileExists(stage + "\\P2.EXE"); };
        RunResult run;
        HWND backdrop = 0, cover = 0;
        static const char *const steps[] = {"answering", "covered", "uncovered", "painted again", "closed"};
        int answers = 0, step = 0;
        bool open = false;
        auto meanwhile = [&] {
            if (!backdrop) backdrop = RobotFindWindow(run.pid, BackdropClass, 0, 0);
            if (!backdrop || step == 4 || !staging()) return;
            DWORD_PTR result;
            DWORD start = GetTickCount();
            BOOL answered = SendMessageTimeoutA(backdrop, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &result);
            DWORD took = GetTickCount() - start;
            if (!answered || took > limit)
                FAIL_CHECK("answer " << answers + 1 << ": " << (answered ? "after " : "none in ") << took << " ms");
            ++answers;
            ScreenImage screen;
            if (step == 0 && answers >= 3) {
                // A window of this process over part of the backdrop, then gone.
                cover = CreateWindowExA(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE | SS_BLACKRECT, part.left,
                                        part.top, part.right - part.left, part.bottom - part.top, 0, 0, 0, 0);
                step = 1;
            } else if (step == 1 && CaptureScreen(&screen) && !Banded(screen, part)) {
                DestroyWindow(cover);
                InvalidateRect(backdrop, &part, TRUE);
                step = 2;
            } else if (step == 2 && !GetUpdateRect(backdrop, 0, FALSE) && CaptureScreen(&screen) &&
                       Banded(screen, part) && staging()) {
                // Painted again, by the backdrop itself: nothing of it is left to paint.
                step = 3;
            } else if (step == 3) {
                if (c.post)
                    PostMessageA(backdrop, WM_CLOSE, 0, 0);
                else
                    SendMessageTimeoutA(backdrop, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 10000, &result);
                open = IsWindow(backdrop) && IsWindowVisible(backdrop);
                step = 4;
            }
            PumpMessages(0);
        };
        std::vector<RunAction> actions;
        if (c.post) actions = {{PROMPT_OK}, {BOX_OK}};
        RunOptions options;
        options.timeoutMs = 60000;
        options.meanwhile = meanwhile;
        RunSetup(&medium, "", actions, &run, options);
        if (IsWindow(cover)) DestroyWindow(cover);
        INFO(answers, " answers during the staging");
        CHECK(Text(steps[step]) == "closed");
        CHECK(open);
        CHECK(Joined(Listing(stage)) == "BIG.DAT|P2.EXE");
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        CHECK(GetFileAttributesExA((stage + "\\BIG.DAT").c_str(), GetFileExInfoStandard, &data));
        CHECK(data.nFileSizeLow == (DWORD)(256 << 20));
        if (c.post) {
            CHECK(run.exitCode == 0u);
            REQUIRE(run.dialogs.size() == 2u);
            CHECK(run.dialogs[1].Text(0xFFFF) == AddOnDoneText);
            CHECK(run.dialogs[1].backdrop);
        } else {
            CHECK(run.exitCode == 1u);
            CHECK(run.haveRecord);
        }
        CleanSettings();
    }
    SetEnvironmentVariableA("TMP", tmpLength && tmpLength < sizeof tmp ? tmp : 0);
}
