// Drawing the built-in night-street sample. Every random choice comes from a small generator with a
// fixed seed, so the sample (and every render of it) is the same on every platform.
#include "tools/aperlume/sample_image.h"

#include <algorithm>
#include <cmath>

namespace aperlume::tool {
namespace {

struct Colour {
    std::uint8_t r, g, b;
};

// A 32-bit linear congruential generator (Numerical Recipes constants); plenty for placing lights.
class Generator {
public:
    explicit Generator(std::uint32_t seed) : state_(seed) {}
    std::uint32_t Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    // Uniform integer in [low, high].
    int Between(int low, int high) { return low + static_cast<int>(Next() % static_cast<std::uint32_t>(high - low + 1)); }

private:
    std::uint32_t state_;
};

class Canvas {
public:
    explicit Canvas(ToolImage& image) : image_(image) {}

    void Set(int x, int y, Colour c) {
        if (x < 0 || y < 0 || x >= image_.width || y >= image_.height) return;
        std::uint8_t* p = image_.samples.data() +
                          (static_cast<std::size_t>(y) * static_cast<std::size_t>(image_.width) + static_cast<std::size_t>(x)) * 3;
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }
    void FillRect(int x0, int y0, int x1, int y1, Colour c) {  // inclusive corners
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) Set(x, y, c);
    }
    void FillDisc(int cx, int cy, int radius, Colour c) {
        for (int y = -radius; y <= radius; ++y)
            for (int x = -radius; x <= radius; ++x)
                if (x * x + y * y <= radius * radius + radius / 2) Set(cx + x, cy + y, c);
    }
    void Ring(int cx, int cy, int radius, int thickness, Colour c) {
        const int outer = radius * radius, inner = (radius - thickness) * (radius - thickness);
        for (int y = -radius; y <= radius; ++y)
            for (int x = -radius; x <= radius; ++x) {
                const int d = x * x + y * y;
                if (d <= outer && d > inner) Set(cx + x, cy + y, c);
            }
    }
    void Line(int x0, int y0, int x1, int y1, int thickness, Colour c) {
        const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        for (int i = 0; i <= steps; ++i) {
            const double t = steps == 0 ? 0.0 : static_cast<double>(i) / steps;
            const int x = static_cast<int>(std::lround(x0 + (x1 - x0) * t));
            const int y = static_cast<int>(std::lround(y0 + (y1 - y0) * t));
            FillRect(x - thickness / 2, y - thickness / 2, x + (thickness - 1) / 2, y + (thickness - 1) / 2, c);
        }
    }

private:
    ToolImage& image_;
};

std::uint8_t Mix(int a, int b, double t) { return static_cast<std::uint8_t>(std::lround(a + (b - a) * t)); }

constexpr int kHorizon = 300;  // where the buildings stand on the street

void DrawSky(Canvas& canvas, Generator& random) {
    for (int y = 0; y < kSampleHeight; ++y) {
        for (int x = 0; x < kSampleWidth; ++x) {
            Colour c;
            if (y < kHorizon) {
                // Deep blue overhead to a faint city glow at the horizon, a little warmer towards the right.
                const double t = static_cast<double>(y) / kHorizon;
                const double side = static_cast<double>(x) / kSampleWidth;
                c = {Mix(4, 34 + static_cast<int>(10 * side), t * t), Mix(6, 20, t * t), Mix(26, 40, t)};
            } else {
                // The street: dark asphalt, a little lighter near the viewer.
                const double t = static_cast<double>(y - kHorizon) / (kSampleHeight - kHorizon);
                c = {Mix(14, 26, t), Mix(14, 25, t), Mix(18, 28, t)};
            }
            canvas.Set(x, y, c);
        }
    }
    for (int i = 0; i < 60; ++i) {  // faint stars
        const auto v = static_cast<std::uint8_t>(random.Between(60, 140));
        canvas.Set(random.Between(0, kSampleWidth - 1), random.Between(0, 110), {v, v, static_cast<std::uint8_t>(v + 20)});
    }
}

void DrawBuildings(Canvas& canvas, Generator& random) {
    static constexpr Colour kWindowColours[] = {
        {255, 214, 140}, {255, 236, 190}, {250, 190, 110}, {190, 225, 255}, {255, 250, 235}};
    int x = -10;
    while (x < kSampleWidth) {
        const int width = random.Between(36, 90);
        const int top = random.Between(90, 220);
        const Colour wall = {static_cast<std::uint8_t>(random.Between(8, 16)), static_cast<std::uint8_t>(random.Between(8, 14)),
                             static_cast<std::uint8_t>(random.Between(12, 20))};
        canvas.FillRect(x, top, x + width - 1, kHorizon - 1, wall);
        // Rows of windows, about one in three lit.
        for (int wy = top + 6; wy + 5 < kHorizon - 8; wy += 11)
            for (int wx = x + 5; wx + 4 < x + width - 4; wx += 9)
                if (random.Between(0, 99) < 32) {
                    const Colour lit = kWindowColours[random.Between(0, 4)];
                    canvas.FillRect(wx, wy, wx + 3, wy + 4, lit);
                }
        x += width + random.Between(0, 12);
    }
}

void DrawStreetLights(Canvas& canvas, Generator& random) {
    // Street lamps along both sides, smaller with distance.
    for (int i = 0; i < 7; ++i) {
        const int lx = 30 + i * 95 + random.Between(-8, 8);
        const int ly = 150 + random.Between(-10, 10);
        canvas.Line(lx, ly + 4, lx, kHorizon + 10, 2, {30, 30, 34});
        canvas.FillDisc(lx, ly, 3 + (i % 3), {255, 226, 160});
    }
    // Traffic lights: red, amber and green.
    static constexpr Colour kSignals[] = {{255, 40, 30}, {255, 176, 20}, {40, 255, 120}};
    for (int i = 0; i < 3; ++i) {
        const int sx = 160 + i * 170;
        canvas.FillRect(sx - 5, 205, sx + 5, 241, {20, 20, 22});
        canvas.FillDisc(sx, 212 + 11 * i, 3, kSignals[i]);
    }
    // Cars on the street: pairs of red tail lights going away, white head lights coming near.
    for (int i = 0; i < 6; ++i) {
        const int cy = 315 + i * 13;
        const int cx = 70 + random.Between(0, 500);
        const int spread = 10 + i * 4;
        const int radius = 1 + i / 2;
        const bool tail = i % 2 == 0;
        const Colour light = tail ? Colour{255, 30, 24} : Colour{255, 255, 240};
        canvas.FillDisc(cx - spread / 2, cy, radius, light);
        canvas.FillDisc(cx + spread / 2, cy, radius, light);
    }
    // Distant city lights and their reflections on the wet street: single points and pairs of pixels.
    static constexpr Colour kPointColours[] = {{255, 255, 255}, {255, 210, 120}, {120, 200, 255},
                                               {255, 90, 80},   {140, 255, 160}, {255, 120, 240}};
    for (int i = 0; i < 220; ++i) {
        const Colour c = kPointColours[random.Between(0, 5)];
        const int px = random.Between(0, kSampleWidth - 1);
        const int py = i < 160 ? random.Between(160, kHorizon - 2) : random.Between(kHorizon + 4, kSampleHeight - 4);
        canvas.Set(px, py, c);
        if (random.Between(0, 2) == 0) canvas.Set(px + 1, py, c);
    }
}

void DrawNeon(Canvas& canvas) {
    canvas.Ring(96, 96, 18, 3, {255, 60, 200});          // a magenta ring
    canvas.Line(470, 80, 560, 80, 3, {60, 230, 255});    // a cyan bar
    canvas.Line(470, 80, 515, 40, 2, {60, 230, 255});    // and a cyan triangle on it
    canvas.Line(515, 40, 560, 80, 2, {60, 230, 255});
    canvas.Line(300, 60, 300, 120, 3, {255, 150, 40});   // an orange vertical sign
    canvas.FillRect(250, 250, 276, 262, {255, 250, 210});  // a lit shop window
}

}  // namespace

ToolImage BuildSampleImage() {
    ToolImage image = EmptyToolImage(kSampleWidth, kSampleHeight, 3, 8);
    image.samples.assign(image.RowBytes() * static_cast<std::size_t>(kSampleHeight), 0);
    Canvas canvas(image);
    Generator random(20240611u);
    DrawSky(canvas, random);
    DrawBuildings(canvas, random);
    DrawStreetLights(canvas, random);
    DrawNeon(canvas);
    return image;
}

}  // namespace aperlume::tool
