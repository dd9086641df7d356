// The tool's icon, drawn here once for both windows: the Qt window shows these images, and the Windows
// build turns them into its icon resource at build time.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace lut::form {

inline constexpr std::array<int, 5> ToolIconSizes{128, 64, 48, 32, 16};

// One square image, rows top to bottom, 4 bytes a pixel: red, green, blue, alpha (not premultiplied).
struct IconImage {
    int size = 0;
    std::vector<std::uint8_t> rgba;
};

// A data logger (a box with a display and a row of terminals) under an arrow pointing into it, on a
// rounded tile; drawn on a 128-unit grid and sampled for the size, so that every size matches.
IconImage DrawToolIcon(int size);

}  // namespace lut::form
