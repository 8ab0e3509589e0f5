// Starfield: stars fly out of the middle of the screen towards the viewer.
// A self-contained screen saver: "/s" runs it full screen, "/p <hwnd>" draws
// into a preview window, anything else says it has no settings.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

const wchar_t kTitle[] = L"Starfield";
const wchar_t kClassName[] = L"StarfieldSaverWindow";
const UINT_PTR kFrameTimer = 1;
const UINT kFrameMs = 30;
const int kMoveSlack = 4;  // pointer jitter (in pixels) that does not end the saver

enum class RunMode { Saver, Preview, Settings };

struct Options {
    RunMode mode = RunMode::Settings;
    HWND parent = nullptr;
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsSwitch(wchar_t c) { return c == L'/' || c == L'-'; }

// The Windows host puts the program name first; a rotator may pass only " /S".
Options ParseCommandLine(const wchar_t* p) {
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
uint32_t g_seed = 1;
float Random01() {
    g_seed = g_seed * 1664525u + 1013904223u;
    return float(g_seed >> 8) / float(1u << 24);
}
float RandomRange(float lo, float hi) { return lo + (hi - lo) * Random01(); }

struct Star {
    float x, y, z;         // z runs from 1 (far) down to the viewer
    COLORREF tint;         // full-brightness colour of the star
};

class Scene {
public:
    void Resize(int width, int height, bool small) {
        width_ = width;
        height_ = height;
        stars_.assign(small ? 120 : 500, Star{});
        for (Star& s : stars_) Respawn(s, RandomRange(0.05f, 1.0f));
    }

    void Step() {
        for (Star& s : stars_) {
            s.z -= kSpeed;
            int sx, sy;
            if (s.z <= kNear || !Project(s.x, s.y, s.z, sx, sy)) Respawn(s, 1.0f);
        }
    }

    void Draw(HDC dc) const {
        RECT all = {0, 0, width_, height_};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        SelectObject(dc, GetStockObject(DC_PEN));
        SelectObject(dc, GetStockObject(DC_BRUSH));
        const float scale = float(std::max(width_, height_)) / 1024.0f;
        for (const Star& s : stars_) {
            int x, y, tx, ty;
            if (!Project(s.x, s.y, s.z, x, y)) continue;
            // The tail is where the star was a few frames ago: a motion streak.
            Project(s.x, s.y, s.z + kSpeed * 3.0f, tx, ty);
            const float nearness = 1.0f - s.z;  // 0 far .. 1 close
            const float light = std::min(1.0f, 0.2f + nearness * nearness * 1.2f);
            const COLORREF head = Dim(s.tint, light);
            SetDCPenColor(dc, Dim(s.tint, light * 0.55f));
            MoveToEx(dc, tx, ty, nullptr);
            LineTo(dc, x, y);
            const int r = int(nearness * nearness * nearness * 4.0f * scale);
            SetDCPenColor(dc, head);
            SetDCBrushColor(dc, head);
            if (r <= 0) {
                SetPixel(dc, x, y, head);
                if (nearness > 0.6f) Rectangle(dc, x, y, x + 2, y + 2);
            } else {
                Ellipse(dc, x - r, y - r, x + r + 1, y + r + 1);
            }
        }
    }

private:
    static constexpr float kSpeed = 0.009f;
    static constexpr float kFocal = 0.3f;  // how wide the far field spreads
    static constexpr float kNear = 0.02f;

    static COLORREF Dim(COLORREF c, float f) {
        return RGB(int(GetRValue(c) * f), int(GetGValue(c) * f), int(GetBValue(c) * f));
    }

    void Respawn(Star& s, float z) const {
        // Keep the very middle clear, or stars would sit still there.
        do {
            s.x = RandomRange(-1.0f, 1.0f);
            s.y = RandomRange(-1.0f, 1.0f);
        } while (s.x * s.x + s.y * s.y < 0.0025f);
        s.z = z;
        const float t = Random01();
        if (t < 0.6f) s.tint = RGB(255, 255, 255);
        else if (t < 0.85f) s.tint = RGB(170, 200, 255);  // blue-white
        else s.tint = RGB(255, 220, 160);                 // warm
    }

    bool Project(float x, float y, float z, int& sx, int& sy) const {
        const float half = float(std::max(width_, height_)) * kFocal;
        sx = int(float(width_) * 0.5f + x / z * half);
        sy = int(float(height_) * 0.5f + y / z * half);
        return sx >= -8 && sy >= -8 && sx < width_ + 8 && sy < height_ + 8;
    }

    int width_ = 0, height_ = 0;
    std::vector<Star> stars_;
};

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
    Scene scene;
};
Saver g_saver;

void FreeBuffer() {
    if (!g_saver.memDC) return;
    SelectObject(g_saver.memDC, g_saver.oldBitmap);
    DeleteObject(g_saver.memBitmap);
    DeleteDC(g_saver.memDC);
    g_saver.memDC = nullptr;
}

void MakeBuffer(HWND hwnd, int width, int height) {
    FreeBuffer();
    g_saver.width = std::max(width, 1);
    g_saver.height = std::max(height, 1);
    HDC dc = GetDC(hwnd);
    g_saver.memDC = CreateCompatibleDC(dc);
    g_saver.memBitmap = CreateCompatibleBitmap(dc, g_saver.width, g_saver.height);
    g_saver.oldBitmap = SelectObject(g_saver.memDC, g_saver.memBitmap);
    ReleaseDC(hwnd, dc);
    g_saver.scene.Resize(g_saver.width, g_saver.height, g_saver.opt.mode == RunMode::Preview);
}

void Present(HDC dc) {
    if (g_saver.memDC) BitBlt(dc, 0, 0, g_saver.width, g_saver.height, g_saver.memDC, 0, 0, SRCCOPY);
}

bool MovedFar(POINT a, POINT b) {
    return std::abs(a.x - b.x) > kMoveSlack || std::abs(a.y - b.y) > kMoveSlack;
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
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
        g_saver.scene.Step();
        g_saver.scene.Draw(g_saver.memDC);
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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    g_saver.opt = ParseCommandLine(GetCommandLineW());
    g_seed = GetTickCount() ^ (GetCurrentProcessId() << 16);

    if (g_saver.opt.mode == RunMode::Settings) {
        MessageBoxW(nullptr, L"This screen saver has no settings.", kTitle, MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    if (g_saver.opt.mode == RunMode::Preview && !IsWindow(g_saver.opt.parent)) return 0;

    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kClassName;
    if (!RegisterClassW(&wc)) return 1;

    HWND hwnd;
    if (g_saver.opt.mode == RunMode::Saver) {
        GetCursorPos(&g_saver.startCursor);
        ShowCursor(FALSE);
        hwnd = CreateWindowExW(WS_EX_TOPMOST, kClassName, kTitle, WS_POPUP | WS_VISIBLE, 0, 0,
                               GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                               nullptr, instance, nullptr);
    } else {
        RECT rc;
        GetClientRect(g_saver.opt.parent, &rc);
        hwnd = CreateWindowExW(0, kClassName, kTitle, WS_CHILD | WS_VISIBLE, 0, 0, rc.right,
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
