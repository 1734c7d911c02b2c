// Helpers of the skin control suites: opaque test pictures written as PNG
// files and decoded by the real GDI+.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "image/Picture.h"
#include "tests/support/PngWriter.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/image/DibCanvas.h"

inline uint32_t Argb(COLORREF c) {
  return 0xFF000000u | (uint32_t(GetRValue(c)) << 16) | (uint32_t(GetGValue(c)) << 8) | GetBValue(c);
}

// colour(x, y) gives the COLORREF of each pixel.
template <typename F>
void LoadTestPNG(TPicture& picture, int width, int height, F colour) {
  static int serial = 0;
  const std::string path = zrtest::FreshDir("uitest" + std::to_string(++serial)) + "test.png";
  ASSERT_TRUE(zrtest::WritePng(path, width, height, PixelsOf(width, height, [&](int x, int y) {
    return Argb(colour(x, y));
  })));
  ASSERT_TRUE(picture.LoadFromFile(path.c_str()));
  ASSERT_EQ(picture.Kind(), pkPNG);
}
