// The screenshot writer produces PNG files that decoders accept: signature,
// chunk CRCs, and pixel rows that come back unchanged from the stored blocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/PngWriter.h"

namespace {

uint32_t Be32(const std::string& s, size_t at) {
  return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
         (uint32_t(uint8_t(s[at + 2])) << 8) | uint32_t(uint8_t(s[at + 3]));
}

uint32_t Crc(const std::string& s, size_t at, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = at; i < at + n; ++i) {
    c ^= uint8_t(s[i]);
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

std::string ReadAll(const char* path) {
  std::string out;
  FILE* f = std::fopen(path, "rb");
  if (!f) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

TEST(PngWriter, WritesValidChunksAndPixels) {
  for (int w : {1, 3, 200}) {
    const int h = 120;  // 200 * 3 * 120 > 65535: more than one stored block
    std::vector<uint8_t> bgra(size_t(w) * h * 4);
    for (size_t i = 0; i < bgra.size(); ++i) bgra[i] = uint8_t(i * 7);
    const char* path = "harness_png_test.png";
    ASSERT_TRUE(zrtest::WritePng(path, w, h, bgra));
    std::string png = ReadAll(path);
    std::remove(path);
    ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
    std::string idat;
    size_t at = 8;
    while (at + 12 <= png.size()) {
      uint32_t len = Be32(png, at);
      std::string type = png.substr(at + 4, 4);
      ASSERT_EQ(Be32(png, at + 8 + len), Crc(png, at + 4, len + 4)) << type;
      if (type == "IHDR") {
        EXPECT_EQ(Be32(png, at + 8), uint32_t(w));
        EXPECT_EQ(Be32(png, at + 12), uint32_t(h));
      }
      if (type == "IDAT") idat += png.substr(at + 8, len);
      at += 12 + len;
    }
    EXPECT_EQ(at, png.size());
    // Undo the stored deflate blocks and compare row by row.
    std::string raw;
    size_t p = 2;
    for (bool last = false; !last;) {
      last = idat[p] & 1;
      size_t n = uint8_t(idat[p + 1]) | (uint8_t(idat[p + 2]) << 8);
      raw += idat.substr(p + 5, n);
      p += 5 + n;
    }
    ASSERT_EQ(raw.size(), size_t(h) * (w * 3 + 1));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_EQ(uint8_t(raw[y * (w * 3 + 1) + 1 + x * 3 + c]), bgra[(size_t(y) * w + x) * 4 + 2 - c]);
  }
}

TEST(PngWriter, RefusesEmptyOrShortInput) {
  EXPECT_FALSE(zrtest::WritePng("x.png", 0, 5, {}));
  EXPECT_FALSE(zrtest::WritePng("x.png", 2, 2, std::vector<uint8_t>(15)));
}

}  // namespace
