#pragma once
// An opaque 24-bit device-independent bitmap: the decoded JPEG and plain
// bitmap pictures.

#include <windows.h>

#include <memory>

class TDibBitmap {
 public:
  ~TDibBitmap();
  TDibBitmap(const TDibBitmap&) = delete;
  TDibBitmap& operator=(const TDibBitmap&) = delete;

  // A copy of any bitmap the DC functions can read.
  static std::unique_ptr<TDibBitmap> FromBitmap(HBITMAP bitmap);

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

  // Copies the source rectangle opaque into the destination, stretching.
  void StretchTo(HDC dc, const RECT& dest, const RECT& source) const;

 private:
  TDibBitmap(HBITMAP bitmap, int width, int height)
      : FBitmap(bitmap), FWidth(width), FHeight(height) {}
  static std::unique_ptr<TDibBitmap> Create(int width, int height, void** bits);

  HBITMAP FBitmap;
  int FWidth, FHeight;
};
