// What the sample screen savers have in common: the command line ("/s" runs
// full screen, "/p <hwnd>" draws into a preview window, anything else says
// there are no settings), the window with its back buffer redrawn on a timer,
// and the rules for ending. A sample brings only its scene:
//   int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
//       MyScene scene;
//       return shell::RunSaver(instance, L"Title", L"TitleSaverWindow", scene);
//   }
// Header only: every sample is a program of its own.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace shell {

// The picture a sample draws; the shell owns the window and the buffer.
class Scene {
public:
    // Called with the client size whenever it changes; small in the preview.
    virtual void Resize(int width, int height, bool small) = 0;
    virtual void Step() = 0;              // one frame on
    virtual void Draw(HDC dc) const = 0;  // the whole frame, into the back buffer

protected:
    ~Scene() = default;
};

const UINT_PTR kFrameTimer = 1;
const UINT kFrameMs = 30;
const int kMoveSlack = 4;  // pointer jitter (in pixels) that does not end the saver

enum class RunMode { Saver, Preview, Settings };

struct Options {
    RunMode mode = RunMode::Settings;
    HWND parent = nullptr;
};

inline bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
inline bool IsSwitch(wchar_t c) { return c == L'/' || c == L'-'; }

// The Windows host puts the program name first; a rotator may pass only " /S".
inline Options ParseCommandLine(const wchar_t* p) {
    while (IsBlank(*p)) ++p;
    if (!IsSwitch(*p)) {
        if (*p == L'"') {
            ++p;
            while (*p && *p != L'"') ++p;
            if (*p) ++p;
        } else {
            while (*p && !IsBlank(*p)) ++p;
        }
        while (IsBlank(*p)) ++p;
    }
    Options opt;
    if (!IsSwitch(*p)) return opt;
    ++p;
    const wchar_t letter = (*p >= L'A' && *p <= L'Z') ? wchar_t(*p + 32) : *p;
    if (letter == L's') {
        opt.mode = RunMode::Saver;
    } else if (letter == L'p' || letter == L'l') {
        ++p;
        if (*p == L':') ++p;
        while (IsBlank(*p)) ++p;
        uintptr_t handle = 0;
        while (*p >= L'0' && *p <= L'9') handle = handle * 10 + uintptr_t(*p++ - L'0');
        opt.mode = RunMode::Preview;
        opt.parent = reinterpret_cast<HWND>(handle);
    }
    return opt;
}

// Small fast generator: rand() is too coarse for a thousand stars per second.
// Seeded per run so each start looks different.
inline uint32_t g_seed = 1;
inline float Random01() {
    g_seed = g_seed * 1664525u + 1013904223u;
    return float(g_seed >> 8) / float(1u << 24);
}
inline float RandomRange(float lo, float hi) { return lo + (hi - lo) * Random01(); }

// The window: a back buffer, the scene, and the rules for ending.
struct Saver {
    Options opt;
    POINT startCursor{};
    bool sawFirstMove = false;
    POINT firstMove{};
    HDC memDC = nullptr;
    HBITMAP memBitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    int width = 0, height = 0;
    Scene* scene = nullptr;
};
inline Saver g_saver;

inline void FreeBuffer() {
    if (!g_saver.memDC) return;
    SelectObject(g_saver.memDC, g_saver.oldBitmap);
    DeleteObject(g_saver.memBitmap);
    DeleteDC(g_saver.memDC);
    g_saver.memDC = nullptr;
}

inline void MakeBuffer(HWND hwnd, int width, int height) {
    FreeBuffer();
    g_saver.width = std::max(width, 1);
    g_saver.height = std::max(height, 1);
    HDC dc = GetDC(hwnd);
    g_saver.memDC = CreateCompatibleDC(dc);
    g_saver.memBitmap = CreateCompatibleBitmap(dc, g_saver.width, g_saver.height);
    g_saver.oldBitmap = SelectObject(g_saver.memDC, g_saver.memBitmap);
    ReleaseDC(hwnd, dc);
    g_saver.scene->Resize(g_saver.width, g_saver.height, g_saver.opt.mode == RunMode::Preview);
}

inline void Present(HDC dc) {
    if (g_saver.memDC) BitBlt(dc, 0, 0, g_saver.width, g_saver.height, g_saver.memDC, 0, 0, SRCCOPY);
}

inline bool MovedFar(POINT a, POINT b) {
    return std::abs(a.x - b.x) > kMoveSlack || std::abs(a.y - b.y) > kMoveSlack;
}

inline LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    const bool saver = g_saver.opt.mode == RunMode::Saver;
    switch (msg) {
    case WM_CREATE: {
        RECT rc;
        GetClientRect(hwnd, &rc);
        MakeBuffer(hwnd, rc.right, rc.bottom);
        SetTimer(hwnd, kFrameTimer, kFrameMs, nullptr);
        return 0;
    }
    case WM_SIZE:
        if (LOWORD(lp) > 0 && HIWORD(lp) > 0 &&
            (LOWORD(lp) != g_saver.width || HIWORD(lp) != g_saver.height))
            MakeBuffer(hwnd, LOWORD(lp), HIWORD(lp));
        return 0;
    case WM_TIMER: {
        if (wp != kFrameTimer) break;
        if (!saver && !IsWindow(g_saver.opt.parent)) {
            DestroyWindow(hwnd);  // the preview host went away
            return 0;
        }
        if (saver) {
            // Polling as well as WM_MOUSEMOVE: a pointer moved by another
            // program does not always produce a move message.
            POINT now;
            if (GetCursorPos(&now) && MovedFar(now, g_saver.startCursor)) {
                DestroyWindow(hwnd);
                return 0;
            }
        }
        g_saver.scene->Step();
        g_saver.scene->Draw(g_saver.memDC);
        HDC dc = GetDC(hwnd);
        Present(dc);
        ReleaseDC(hwnd, dc);
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        Present(dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        if (saver) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE:
        if (saver) {
            // Windows sends one move when the window appears: it only sets the reference.
            const POINT pt = {short(LOWORD(lp)), short(HIWORD(lp))};
            if (!g_saver.sawFirstMove) {
                g_saver.sawFirstMove = true;
                g_saver.firstMove = pt;
            } else if (MovedFar(pt, g_saver.firstMove)) {
                DestroyWindow(hwnd);
            }
        }
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
        if (saver) {
            DestroyWindow(hwnd);
            return 0;
        }
        break;
    case WM_SYSCOMMAND:
        // No second saver on top of this one.
        if (saver && (wp & 0xFFF0) == SC_SCREENSAVE) return 0;
        break;
    case WM_DESTROY:
        KillTimer(hwnd, kFrameTimer);
        FreeBuffer();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// The whole program: title is the name shown to the user, className the
// window class registered for it.
inline int RunSaver(HINSTANCE instance, const wchar_t* title, const wchar_t* className, Scene& scene) {
    g_saver.opt = ParseCommandLine(GetCommandLineW());
    g_saver.scene = &scene;
    g_seed = GetTickCount() ^ (GetCurrentProcessId() << 16);

    if (g_saver.opt.mode == RunMode::Settings) {
        MessageBoxW(nullptr, L"This screen saver has no settings.", title, MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    if (g_saver.opt.mode == RunMode::Preview && !IsWindow(g_saver.opt.parent)) return 0;

    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = className;
    if (!RegisterClassW(&wc)) return 1;

    HWND hwnd;
    if (g_saver.opt.mode == RunMode::Saver) {
        GetCursorPos(&g_saver.startCursor);
        ShowCursor(FALSE);
        hwnd = CreateWindowExW(WS_EX_TOPMOST, className, title, WS_POPUP | WS_VISIBLE, 0, 0,
                               GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                               nullptr, instance, nullptr);
    } else {
        RECT rc;
        GetClientRect(g_saver.opt.parent, &rc);
        hwnd = CreateWindowExW(0, className, title, WS_CHILD | WS_VISIBLE, 0, 0, rc.right,
                               rc.bottom, g_saver.opt.parent, nullptr, instance, nullptr);
    }

    MSG msg = {};
    if (hwnd) {
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (g_saver.opt.mode == RunMode::Saver) ShowCursor(TRUE);
    return hwnd ? int(msg.wParam) : 1;
}

}  // namespace shell
