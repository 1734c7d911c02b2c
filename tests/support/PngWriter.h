// Writes 32-bit BGRA pixels as a PNG file (stored deflate blocks: no
// compression library needed, files stay small enough for screenshots).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zrtest {

// bgra: width * height pixels, top row first, 4 bytes each (B, G, R, A).
bool WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& bgra);

}  // namespace zrtest
