// FallingText: columns of katakana and Latin characters rain down the screen.
// The window, the command line and the rules for ending are in SaverShell.h.
#include "SaverShell.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using shell::Random01;
using shell::RandomRange;

// Columns of characters rain down the screen: a bright head, a green trail.
class FallingText final : public shell::Scene {
public:
    ~FallingText() { FreeFont(); }

    void Resize(int width, int height, bool small) override {
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

    void Step() override {
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

    void Draw(HDC dc) const override {
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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    FallingText scene;
    return shell::RunSaver(instance, L"FallingText", L"FallingTextSaverWindow", scene);
}
