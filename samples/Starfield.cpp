// Starfield: stars fly out of the middle of the screen towards the viewer.
// The window, the command line and the rules for ending are in SaverShell.h.
#include "SaverShell.h"

#include <algorithm>
#include <vector>

namespace {

using shell::Random01;
using shell::RandomRange;

struct Star {
    float x, y, z;         // z runs from 1 (far) down to the viewer
    COLORREF tint;         // full-brightness colour of the star
};

class Starfield final : public shell::Scene {
public:
    void Resize(int width, int height, bool small) override {
        width_ = width;
        height_ = height;
        stars_.assign(small ? 120 : 500, Star{});
        for (Star& s : stars_) Respawn(s, RandomRange(0.05f, 1.0f));
    }

    void Step() override {
        for (Star& s : stars_) {
            s.z -= kSpeed;
            int sx, sy;
            if (s.z <= kNear || !Project(s.x, s.y, s.z, sx, sy)) Respawn(s, 1.0f);
        }
    }

    void Draw(HDC dc) const override {
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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    Starfield scene;
    return shell::RunSaver(instance, L"Starfield", L"StarfieldSaverWindow", scene);
}
