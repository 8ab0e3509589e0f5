// Lines: two coloured outlines drift and bounce around the screen, trailing
// fading copies of themselves.
// A self-contained screen saver: "/s" runs it full screen, "/p <hwnd>" draws
// into a preview window, anything else says it has no settings.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

const wchar_t kTitle[] = L"Lines";
const wchar_t kClassName[] = L"LinesSaverWindow";
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

// Small fast generator; seeded per run so each start looks different.
uint32_t g_seed = 1;
float Random01() {
    g_seed = g_seed * 1664525u + 1013904223u;
    return float(g_seed >> 8) / float(1u << 24);
}
float RandomRange(float lo, float hi) { return lo + (hi - lo) * Random01(); }

// Hue 0..360 at full saturation, scaled by brightness 0..1.
COLORREF Hue(float hue, float brightness) {
    while (hue >= 360.0f) hue -= 360.0f;
    while (hue < 0.0f) hue += 360.0f;
    const float h = hue / 60.0f;
    const int sector = int(h);
    const float f = h - float(sector);
    float r = 0, g = 0, b = 0;
    switch (sector) {
    case 0: r = 1; g = f; break;
    case 1: r = 1 - f; g = 1; break;
    case 2: g = 1; b = f; break;
    case 3: g = 1 - f; b = 1; break;
    case 4: r = f; b = 1; break;
    default: r = 1; b = 1 - f; break;
    }
    return RGB(int(r * 255 * brightness), int(g * 255 * brightness), int(b * 255 * brightness));
}

// Two four-cornered shapes bounce around the screen, each leaving a fading trail.
class Scene {
public:
    void Resize(int width, int height, bool small) {
        width_ = width;
        height_ = height;
        penWidth_ = small ? 1 : 2;
        const float speed = float(std::max(width, height)) / 1024.0f * (small ? 1.2f : 4.0f);
        for (int s = 0; s < kShapes; ++s) {
            Shape& shape = shapes_[s];
            for (int c = 0; c < kCorners; ++c) {
                shape.x[c] = RandomRange(0.0f, float(width - 1));
                shape.y[c] = RandomRange(0.0f, float(height - 1));
                shape.vx[c] = RandomRange(0.4f, 1.0f) * speed * (Random01() < 0.5f ? -1.0f : 1.0f);
                shape.vy[c] = RandomRange(0.4f, 1.0f) * speed * (Random01() < 0.5f ? -1.0f : 1.0f);
            }
            shape.hue = RandomRange(0.0f, 360.0f) + 180.0f * float(s);
            shape.hueSpeed = RandomRange(0.4f, 1.2f);
            shape.count = 0;
            shape.newest = 0;
        }
        frame_ = 0;
    }

    void Step() {
        ++frame_;
        for (Shape& shape : shapes_) {
            for (int c = 0; c < kCorners; ++c) {
                Bounce(shape.x[c], shape.vx[c], float(width_ - 1));
                Bounce(shape.y[c], shape.vy[c], float(height_ - 1));
            }
            shape.hue += shape.hueSpeed;
            // A copy every third frame spreads the trail out.
            if (frame_ % 3 == 0) {
                shape.newest = (shape.newest + 1) % kTrail;
                for (int c = 0; c <= kCorners; ++c) {
                    shape.trail[shape.newest][c] = {int(shape.x[c % kCorners]), int(shape.y[c % kCorners])};
                }
                shape.hues[shape.newest] = shape.hue;
                if (shape.count < kTrail) ++shape.count;
            }
        }
    }

    void Draw(HDC dc) const {
        RECT all = {0, 0, width_, height_};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        for (const Shape& shape : shapes_) {
            // Oldest first, so the bright newest outline lies on top.
            for (int age = shape.count - 1; age >= 0; --age) {
                const int i = (shape.newest - age + kTrail) % kTrail;
                const float fade = 1.0f - float(age) / float(kTrail);
                HPEN pen = CreatePen(PS_SOLID, penWidth_, Hue(shape.hues[i], fade * fade));
                HGDIOBJ old = SelectObject(dc, pen);
                Polyline(dc, shape.trail[i], kCorners + 1);
                SelectObject(dc, old);
                DeleteObject(pen);
            }
        }
    }

private:
    static constexpr int kShapes = 2;
    static constexpr int kCorners = 4;
    static constexpr int kTrail = 14;

    struct Shape {
        float x[kCorners], y[kCorners], vx[kCorners], vy[kCorners];
        float hue, hueSpeed;
        POINT trail[kTrail][kCorners + 1];  // closed outline: first corner repeated
        float hues[kTrail];
        int count, newest;
    };

    static void Bounce(float& pos, float& velocity, float limit) {
        pos += velocity;
        if (pos < 0.0f) {
            pos = -pos;
            velocity = -velocity;
        } else if (pos > limit) {
            pos = 2.0f * limit - pos;
            velocity = -velocity;
        }
    }

    int width_ = 0, height_ = 0, penWidth_ = 1;
    unsigned frame_ = 0;
    Shape shapes_[kShapes] = {};
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
