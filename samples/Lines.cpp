// Lines: two coloured outlines drift and bounce around the screen, trailing
// fading copies of themselves.
// The window, the command line and the rules for ending are in SaverShell.h.
#include "SaverShell.h"

#include <algorithm>

namespace {

using shell::Random01;
using shell::RandomRange;

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
class Lines final : public shell::Scene {
public:
    void Resize(int width, int height, bool small) override {
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

    void Step() override {
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

    void Draw(HDC dc) const override {
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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    Lines scene;
    return shell::RunSaver(instance, L"Lines", L"LinesSaverWindow", scene);
}
