// A child screen saver for the benchmark. It keeps the contract the
// rotator relies on (it ends itself when the pointer moves more than 2 px
// from where it was at start) and logs two lines, each with the
// performance counter in microseconds, a clock all processes share:
//   start <pid> <us> created=<us>
//   exit <pid> <us>
// "created" is when the system made the process, on the same clock, so
// the time from the rotator's decision to the child running can be split
// into the launch and the child's own start-up.
// The log is the file named by GAPCHILD_LOG (else gapchild.log beside the
// program); GAPCHILD_MAX_MS (default 300000) ends it anyway.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

const wchar_t kClassName[] = L"RotatorBenchGapChild";
const int kMoveSlack = 2;
const UINT_PTR kPollTimer = 1;
const UINT_PTR kSafetyTimer = 2;

wchar_t g_log[MAX_PATH];
POINT g_start{};

long long NowUs() {
    LARGE_INTEGER count, freq;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&freq);
    return static_cast<long long>(count.QuadPart / freq.QuadPart * 1000000 +
                                  count.QuadPart % freq.QuadPart * 1000000 / freq.QuadPart);
}

// The process's creation time moved onto the performance counter's clock:
// both are read now, and the system time passed since creation is taken off.
long long CreatedUs() {
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    long long counter = NowUs();
    GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER c{}, n{};
    c.LowPart = created.dwLowDateTime;
    c.HighPart = created.dwHighDateTime;
    n.LowPart = now.dwLowDateTime;
    n.HighPart = now.dwHighDateTime;
    return counter - static_cast<long long>((n.QuadPart - c.QuadPart) / 10);
}

void Log(const char* line) {
    HANDLE f = CreateFileW(g_log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(f, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    CloseHandle(f);
}

unsigned EnvMs(const wchar_t* name, unsigned fallback) {
    wchar_t text[32] = L"";
    DWORD n = GetEnvironmentVariableW(name, text, 32);
    if (n == 0 || n >= 32)
        return fallback;
    return static_cast<unsigned>(wcstoul(text, nullptr, 10));
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER: {
        POINT pt;
        if (wp == kSafetyTimer ||
            (GetCursorPos(&pt) &&
             (std::abs(pt.x - g_start.x) > kMoveSlack || std::abs(pt.y - g_start.y) > kMoveSlack)))
            DestroyWindow(hwnd);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    long long start = NowUs();
    DWORD n = GetEnvironmentVariableW(L"GAPCHILD_LOG", g_log, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        GetModuleFileNameW(nullptr, g_log, MAX_PATH);
        wchar_t* slash = wcsrchr(g_log, L'\\');
        wcscpy(slash ? slash + 1 : g_log, L"gapchild.log");
    }
    char line[128];
    snprintf(line, sizeof line, "start %lu %lld created=%lld\n", GetCurrentProcessId(), start,
             CreatedUs());
    Log(line);
    GetCursorPos(&g_start);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);
    // Small, and shown without activation: Wine without a window manager
    // blocks for a while when an active full-screen window goes away.
    HWND hwnd = CreateWindowExW(WS_EX_TOPMOST, kClassName, kClassName, WS_POPUP, 400, 300, 200, 200,
                                nullptr, nullptr, instance, nullptr);
    if (hwnd) {
        SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        SetTimer(hwnd, kPollTimer, 20, nullptr);
        SetTimer(hwnd, kSafetyTimer, EnvMs(L"GAPCHILD_MAX_MS", 300000), nullptr);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    snprintf(line, sizeof line, "exit %lu %lld\n", GetCurrentProcessId(), NowUs());
    Log(line);
    return 0;
}
