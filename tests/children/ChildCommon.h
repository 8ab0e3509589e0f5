// What the test children have in common: a small top-most window named after
// the program, a log, and a poll of the pointer every 20 ms. Log lines:
//   start <name> pid=<pid> cmdline=[<command line>]
//   move <name> x=<X> y=<Y>      (each change of the pointer position)
//   exit <name> code=<n>
// The log is the file named by CHILD_LOG, else childlog.txt beside the program.
// CHILD_MAX_MS (default 120000) ends a child with code 0 in any case, so a
// test never leaves one behind.
// A child passes RunChild its own window procedure, which hands ChildProc
// the messages it does not handle itself. Header only: every child is a
// program of its own.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cwchar>
#include <optional>
#include <string>

namespace child {

const wchar_t kClassName[] = L"TestChildWindow";
const UINT_PTR kPollTimer = 1;
const UINT_PTR kSafetyTimer = 2;
const UINT_PTR kOwnTimer = 3;  // the one timer a child may add for its own behaviour

inline std::wstring g_name;     // program's base name, without folder and extension
inline std::wstring g_folder;   // program's folder, with the trailing backslash
inline std::wstring g_logPath;
inline POINT g_start{}, g_last{};
inline int g_exitCode = 0;

inline void InitPaths() {
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

inline unsigned EnvMs(const wchar_t* name, unsigned fallback) {
    wchar_t text[32] = L"";
    const DWORD n = GetEnvironmentVariableW(name, text, 32);
    if (n == 0 || n >= 32) return fallback;
    wchar_t* end = nullptr;
    const unsigned long v = wcstoul(text, &end, 10);
    return (end != text && *end == 0) ? unsigned(v) : fallback;
}

// One line per event, appended and closed at once so that several children
// can share one log and a crash loses nothing.
inline void Log(const wchar_t* format, ...) {
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

// Ends the child: the exit code is what the message loop returns.
inline void Finish(HWND hwnd, int code) {
    g_exitCode = code;
    DestroyWindow(hwnd);
}

// One poll: true, with the position, when the pointer has moved since the
// last one; the move is logged.
inline bool PointerMoved(POINT& pt) {
    if (!GetCursorPos(&pt) || (pt.x == g_last.x && pt.y == g_last.y)) return false;
    g_last = pt;
    Log(L"move %ls x=%ld y=%ld", g_name.c_str(), pt.x, pt.y);
    return true;
}

// What every child's window does: log pointer moves, end on the safety timer,
// show its name.
inline LRESULT ChildProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER:
        if (wp == kPollTimer) {
            POINT pt;
            PointerMoved(pt);
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
        KillTimer(hwnd, kOwnTimer);
        PostQuitMessage(g_exitCode);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// The whole program: logs the start, shows the window in the child's colour,
// runs the messages and logs the exit. ownTimerMs, if given, starts kOwnTimer;
// afterDispatch, if given, runs after each message, outside any window procedure.
inline int RunChild(HINSTANCE instance, WNDPROC wndProc, COLORREF background,
                    std::optional<UINT> ownTimerMs = std::nullopt, void (*afterDispatch)() = nullptr) {
    InitPaths();
    Log(L"start %ls pid=%lu cmdline=[%ls]", g_name.c_str(), GetCurrentProcessId(), GetCommandLineW());
    GetCursorPos(&g_start);
    g_last = g_start;

    WNDCLASSW wc = {};
    wc.lpfnWndProc = wndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(background);
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
    if (ownTimerMs) SetTimer(hwnd, kOwnTimer, *ownTimerMs, nullptr);

    MSG msg = {};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (afterDispatch) afterDispatch();
    }
    DeleteObject(wc.hbrBackground);
    const int code = int(msg.wParam);
    Log(L"exit %ls code=%d", g_name.c_str(), code);
    return code;
}

}  // namespace child
