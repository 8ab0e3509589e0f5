// FallingText: columns of katakana and Latin characters rain down the screen.
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

const wchar_t kTitle[] = L"FallingText";
const wchar_t kClassName[] = L"FallingTextSaverWindow";
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

// Columns of characters rain down the screen: a bright head, a green trail.
class Scene {
public:
    ~Scene() { FreeFont(); }

    void Resize(int width, int height, bool small) {
        width_ = width;
        height_ = height;
        PickFont(small ? 8 : std::max(14, height / 42));
        cols_ = width / cellW_ + 1;
        rows_ = height / cellH_ + 1;
        cells_.assign(size_t(cols_) * size_t(rows_), Cell{});
        columns_.assign(size_t(cols_), Column{});
        for (Column& c : columns_) {
            Restart(c);
            c.head = RandomRange(-float(rows_), float(rows_));  // already under way
        }
    }

    void Step() {
        for (int x = 0; x < cols_; ++x) {
            Column& c = columns_[size_t(x)];
            for (int y = 0; y < rows_; ++y) {
                Cell& cell = At(x, y);
                cell.light = cell.light > c.fade ? uint8_t(cell.light - c.fade) : 0;
            }
            const int before = int(c.head);
            c.head += c.speed;
            for (int y = std::max(before + 1, 0); y <= int(c.head) && y < rows_; ++y) {
                At(x, y) = Cell{RandomGlyph(), 255};
            }
            if (c.head - float(rows_) > 255.0f / float(c.fade)) Restart(c);
        }
        // A few glyphs in the trails change while they fade.
        for (int i = 0; i < cols_ / 2; ++i) {
            Cell& cell = cells_[size_t(Random01() * float(cells_.size() - 1))];
            if (cell.light) cell.glyph = RandomGlyph();
        }
    }

    void Draw(HDC dc) const {
        RECT all = {0, 0, width_, height_};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        SetBkMode(dc, TRANSPARENT);
        HGDIOBJ oldFont = SelectObject(dc, font_);
        for (int x = 0; x < cols_; ++x) {
            const int headRow = int(columns_[size_t(x)].head);
            for (int y = 0; y < rows_; ++y) {
                const Cell& cell = At(x, y);
                if (!cell.light) continue;
                const int l = cell.light;
                SetTextColor(dc, y == headRow ? RGB(200, 255, 210) : RGB(l / 6, l, l / 3));
                TextOutW(dc, x * cellW_, y * cellH_, &cell.glyph, 1);
            }
        }
        SelectObject(dc, oldFont);
    }

private:
    struct Cell {
        wchar_t glyph = L' ';
        uint8_t light = 0;
    };
    struct Column {
        float head = 0, speed = 0;
        int fade = 0;  // light lost per frame: short or long trails
    };

    Cell& At(int x, int y) { return cells_[size_t(y) * size_t(cols_) + size_t(x)]; }
    const Cell& At(int x, int y) const { return cells_[size_t(y) * size_t(cols_) + size_t(x)]; }

    void Restart(Column& c) const {
        c.head = -RandomRange(0.0f, float(rows_));
        c.speed = RandomRange(0.25f, 0.7f);
        c.fade = int(RandomRange(6.0f, 16.0f));
    }

    wchar_t RandomGlyph() const {
        static const wchar_t kLatin[] = L"0123456789ABCDEFGHJKLMNPQRSTUVWXYZ:=*+<>";
        const float r = Random01();
        if (katakana_ && r < 0.75f) return wchar_t(0xFF66 + int(Random01() * 56.0f));  // half-width katakana
        return kLatin[int(Random01() * float(sizeof kLatin / sizeof kLatin[0] - 1))];
    }

    // Katakana when an installed font has them, Latin letters and digits otherwise.
    void PickFont(int pixels) {
        FreeFont();
        static const wchar_t* const kJapanese[] = {L"MS Gothic", L"Meiryo", L"Yu Gothic", L"IPAGothic"};
        HDC screen = GetDC(nullptr);
        for (const wchar_t* face : kJapanese) {
            HFONT f = CreateFontW(-pixels, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, face);
            if (f && HasKatakana(screen, f)) {
                font_ = f;
                katakana_ = true;
                break;
            }
            if (f) DeleteObject(f);
        }
        if (!font_) {
            font_ = CreateFontW(-pixels, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
            katakana_ = false;
        }
        HGDIOBJ old = SelectObject(screen, font_);
        TEXTMETRICW tm;
        GetTextMetricsW(screen, &tm);
        SelectObject(screen, old);
        ReleaseDC(nullptr, screen);
        cellH_ = std::max(1, int(tm.tmHeight));
        cellW_ = std::max(1, int(tm.tmAveCharWidth) + 2);
    }

    // The font must hold both scripts: Windows may hand back a fallback face
    // for the name asked for that has katakana but no Latin letters.
    static bool HasKatakana(HDC dc, HFONT f) {
        const wchar_t sample[] = {0xFF71, 0xFF8A, 0xFF9D, L'A', L'7', L'Z'};
        const int n = int(sizeof sample / sizeof sample[0]);
        WORD glyphs[n] = {};
        HGDIOBJ old = SelectObject(dc, f);
        const DWORD got = GetGlyphIndicesW(dc, sample, n, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
        SelectObject(dc, old);
        if (got != DWORD(n)) return false;
        for (WORD g : glyphs)
            if (g == 0xFFFF) return false;
        return true;
    }

    void FreeFont() {
        if (font_) DeleteObject(font_);
        font_ = nullptr;
    }

    int width_ = 0, height_ = 0, cols_ = 0, rows_ = 0, cellW_ = 1, cellH_ = 1;
    bool katakana_ = false;
    HFONT font_ = nullptr;
    std::vector<Cell> cells_;
    std::vector<Column> columns_;
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
