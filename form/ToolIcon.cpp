#include "form/ToolIcon.h"

#include <algorithm>
#include <span>

namespace lut::form {

namespace {

struct Colour {
    int red;
    int green;
    int blue;
};

struct Point {
    double x;
    double y;
};

constexpr Colour Navy{0x1F, 0x4E, 0x79};
constexpr Colour Panel{0xF2, 0xF2, 0xF2};
constexpr Colour Display{0x3A, 0xA8, 0x5C};
constexpr Colour Amber{0xF5, 0xA6, 0x23};
constexpr double Grid = 128.0;

bool InRoundedRect(Point p, double left, double top, double width, double height, double radius) {
    if (p.x < left || p.x > left + width || p.y < top || p.y > top + height) {
        return false;
    }
    const double dx = p.x - std::clamp(p.x, left + radius, left + width - radius);
    const double dy = p.y - std::clamp(p.y, top + radius, top + height - radius);
    return dx * dx + dy * dy <= radius * radius;
}

bool InEllipse(Point p, double left, double top, double width, double height) {
    const double dx = (p.x - (left + width / 2)) / (width / 2);
    const double dy = (p.y - (top + height / 2)) / (height / 2);
    return dx * dx + dy * dy <= 1.0;
}

bool InPolygon(Point p, std::span<const Point> corners) {
    bool inside = false;
    for (std::size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++) {
        const Point a = corners[i];
        const Point b = corners[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) {
            inside = !inside;
        }
    }
    return inside;
}

constexpr std::array<Point, 7> Arrow{{{64, 54}, {88, 30}, {74, 30}, {74, 12}, {54, 12}, {54, 30}, {40, 30}}};

// The colour of the topmost shape at a point of the grid; nothing outside the tile.
const Colour* ColourAt(Point p) {
    if (InPolygon(p, Arrow)) {
        return &Amber;
    }
    for (int terminal = 0; terminal < 4; ++terminal) {
        if (InEllipse(p, 34 + terminal * 16, 93, 9, 9)) {
            return &Navy;
        }
    }
    if (p.x >= 32 && p.x <= 96 && p.y >= 66 && p.y <= 86) {
        return &Display;
    }
    if (InRoundedRect(p, 22, 58, 84, 52, 8)) {
        return &Panel;
    }
    if (InRoundedRect(p, 4, 4, 120, 120, 22)) {
        return &Navy;
    }
    return nullptr;
}

}  // namespace

IconImage DrawToolIcon(int size) {
    // Small images take more samples a pixel, so that their edges are as smooth as the large ones'.
    const int samples = std::clamp(64 / std::max(size, 1), 4, 8);
    const double unit = Grid / size;
    IconImage image{size, std::vector<std::uint8_t>(static_cast<std::size_t>(size) * size * 4)};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            int covered = 0;
            int red = 0;
            int green = 0;
            int blue = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const Point p{(x + (sx + 0.5) / samples) * unit, (y + (sy + 0.5) / samples) * unit};
                    if (const Colour* colour = ColourAt(p)) {
                        ++covered;
                        red += colour->red;
                        green += colour->green;
                        blue += colour->blue;
                    }
                }
            }
            std::uint8_t* pixel = &image.rgba[(static_cast<std::size_t>(y) * size + x) * 4];
            if (covered > 0) {
                pixel[0] = static_cast<std::uint8_t>(red / covered);
                pixel[1] = static_cast<std::uint8_t>(green / covered);
                pixel[2] = static_cast<std::uint8_t>(blue / covered);
                pixel[3] = static_cast<std::uint8_t>(covered * 255 / (samples * samples));
            }
        }
    }
    return image;
}

}  // namespace lut::form
