// Crashes: a test child that dies 200 ms after start by writing through a
// null pointer: a real access violation, no exit line; the process ends with
// the fault's code (0xC0000005). No crash dialog or debugger waits for a user.
// Log lines:
//   start <name> pid=<pid> cmdline=[<command line>]
//   move <name> x=<X> y=<Y>      (each change of the pointer position)
//   crash <name>                 (just before the fault)
// The log is the file named by CHILD_LOG, else childlog.txt beside the program.
#include <windows.h>

#include <cstdarg>
#include <cwchar>
#include <string>

namespace {

const wchar_t kClassName[] = L"TestChildWindow";
const UINT_PTR kPollTimer = 1;
const UINT_PTR kSafetyTimer = 2;
const UINT_PTR kCrashTimer = 3;

std::wstring g_name;     // program's base name, without folder and extension
std::wstring g_folder;   // program's folder, with the trailing backslash
std::wstring g_logPath;
POINT g_start{}, g_last{};
int g_exitCode = 0;
bool g_crashNow = false;

void InitPaths() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring full = path;
    const size_t slash = full.find_last_of(L"\\/");
    g_folder = full.substr(0, slash + 1);
    g_name = full.substr(slash + 1);
    const size_t dot = g_name.find_last_of(L'.');
    if (dot != std::wstring::npos) g_name.erase(dot);
    wchar_t env[MAX_PATH] = L"";
    const DWORD n = GetEnvironmentVariableW(L"CHILD_LOG", env, MAX_PATH);
    g_logPath = (n > 0 && n < MAX_PATH) ? std::wstring(env) : g_folder + L"childlog.txt";
}

unsigned EnvMs(const wchar_t* name, unsigned fallback) {
    wchar_t text[32] = L"";
    const DWORD n = GetEnvironmentVariableW(name, text, 32);
    if (n == 0 || n >= 32) return fallback;
    wchar_t* end = nullptr;
    const unsigned long v = wcstoul(text, &end, 10);
    return (end != text && *end == 0) ? unsigned(v) : fallback;
}

// One line per event, appended and closed at once so that several children
// can share one log and a crash loses nothing.
void Log(const wchar_t* format, ...) {
    wchar_t line[8192];
    va_list args;
    va_start(args, format);
    const int len = vswprintf(line, 8190, format, args);
    va_end(args);
    if (len < 0) return;
    line[len] = L'\n';
    char utf8[3 * 8192];
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line, len + 1, utf8, sizeof utf8, nullptr, nullptr);
    HANDLE f = CreateFileW(g_logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(f, utf8, DWORD(bytes), &written, nullptr);
    CloseHandle(f);
}

// Outside any window procedure: Windows may swallow a fault raised while it
// dispatches a timer message, and this one must end the process.
void Crash() {
    Log(L"crash %ls", g_name.c_str());
    // Both volatile: the compiler may neither assume the pointer is null nor drop the store.
    volatile int* volatile target = nullptr;
    *target = 1;
}

// Wine starts its debugger for an unhandled fault whatever the error mode says;
// ending the process from the top-level filter is what the error mode asks of Windows.
LONG WINAPI EndOnFault(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

void Finish(HWND hwnd, int code) {
    g_exitCode = code;
    DestroyWindow(hwnd);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER:
        if (wp == kPollTimer) {
            POINT pt;
            if (GetCursorPos(&pt) && (pt.x != g_last.x || pt.y != g_last.y)) {
                g_last = pt;
                Log(L"move %ls x=%ld y=%ld", g_name.c_str(), pt.x, pt.y);
            }
        } else if (wp == kCrashTimer) {
            g_crashNow = true;
        } else if (wp == kSafetyTimer) {
            Finish(hwnd, 0);
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        DrawTextW(dc, g_name.c_str(), -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_DESTROY:
        KillTimer(hwnd, kPollTimer);
        KillTimer(hwnd, kSafetyTimer);
        KillTimer(hwnd, kCrashTimer);
        PostQuitMessage(g_exitCode);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    InitPaths();
    SetErrorMode(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS);
    SetUnhandledExceptionFilter(EndOnFault);
    Log(L"start %ls pid=%lu cmdline=[%ls]", g_name.c_str(), GetCurrentProcessId(), GetCommandLineW());
    GetCursorPos(&g_start);
    g_last = g_start;

    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(RGB(64, 64, 64));
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);
    // A small top-most pop-up, shown without taking activation: Wine without a
    // window manager blocks for about 2 s when an active window is hidden.
    HWND hwnd = CreateWindowExW(WS_EX_TOPMOST, kClassName, g_name.c_str(), WS_POPUP, 400, 300, 200, 200, nullptr,
                                nullptr, instance, nullptr);
    if (!hwnd) {
        Log(L"exit %ls code=1", g_name.c_str());
        return 1;
    }
    SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    SetTimer(hwnd, kPollTimer, 20, nullptr);
    SetTimer(hwnd, kSafetyTimer, EnvMs(L"CHILD_MAX_MS", 120000), nullptr);
    SetTimer(hwnd, kCrashTimer, 200, nullptr);

    MSG msg = {};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (g_crashNow) Crash();
    }
    DeleteObject(wc.hbrBackground);
    const int code = int(msg.wParam);
    Log(L"exit %ls code=%d", g_name.c_str(), code);
    return code;
}
