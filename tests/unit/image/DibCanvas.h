// A 32-bit top-down memory bitmap selected into a memory DC, for drawing
// tests that assert on pixels; and small PNG test pictures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class DibCanvas {
 public:
  DibCanvas(int width, int height, COLORREF fill) : FWidth(width), FHeight(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    FBitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&FBits),
                               nullptr, 0);
    FDC = CreateCompatibleDC(nullptr);
    FOld = SelectObject(FDC, FBitmap);
    Fill(fill);
  }
  ~DibCanvas() {
    SelectObject(FDC, FOld);
    DeleteDC(FDC);
    DeleteObject(FBitmap);
  }
  DibCanvas(const DibCanvas&) = delete;
  DibCanvas& operator=(const DibCanvas&) = delete;

  HDC DC() const { return FDC; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

  void Fill(COLORREF colour) {
    GdiFlush();
    for (int i = 0; i < FWidth * FHeight; ++i)
      FBits[i] = (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
  }
  // The pixel as 0x00BBGGRR.
  COLORREF Pixel(int x, int y) const {
    GdiFlush();
    const uint32_t p = FBits[y * FWidth + x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
  // The smallest rectangle holding every pixel that is not `background`.
  RECT ChangedBounds(COLORREF background) const {
    RECT r{FWidth, FHeight, 0, 0};
    for (int y = 0; y < FHeight; ++y)
      for (int x = 0; x < FWidth; ++x)
        if (Pixel(x, y) != background) {
          r.left = x < r.left ? x : r.left;
          r.top = y < r.top ? y : r.top;
          r.right = x + 1 > r.right ? x + 1 : r.right;
          r.bottom = y + 1 > r.bottom ? y + 1 : r.bottom;
        }
    return r;
  }

 private:
  int FWidth, FHeight;
  HBITMAP FBitmap = nullptr;
  uint32_t* FBits = nullptr;
  HDC FDC = nullptr;
  HGDIOBJ FOld = nullptr;
};

// Colours close enough for a scaled or blended drawing.
inline bool Near(COLORREF a, COLORREF b, int tolerance = 12) {
  return abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
         abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

// A test picture: `colour(x, y)` gives 0xAARRGGBB per pixel.
template <typename F>
std::vector<uint8_t> PixelsOf(int width, int height, F colour) {
  std::vector<uint8_t> bgra;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t argb = colour(x, y);
      bgra.push_back(argb & 0xFF);
      bgra.push_back((argb >> 8) & 0xFF);
      bgra.push_back((argb >> 16) & 0xFF);
      bgra.push_back(argb >> 24);
    }
  return bgra;
}
