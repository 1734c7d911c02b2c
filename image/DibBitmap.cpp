#include "image/DibBitmap.h"


namespace {

BITMAPINFO InfoFor(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

}  // namespace

TDibBitmap::~TDibBitmap() { DeleteObject(FBitmap); }

std::unique_ptr<TDibBitmap> TDibBitmap::Create(int width, int height, void** bits) {
  BITMAPINFO info = InfoFor(width, height);
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
  if (!bitmap) return nullptr;
  return std::unique_ptr<TDibBitmap>(new TDibBitmap(bitmap, width, height));
}

std::unique_ptr<TDibBitmap> TDibBitmap::FromBitmap(HBITMAP bitmap) {
  BITMAP header{};
  if (!bitmap || !GetObject(bitmap, sizeof(header), &header)) return nullptr;
  if (header.bmWidth < 1 || header.bmHeight < 1) return nullptr;
  void* bits = nullptr;
  auto dib = Create(header.bmWidth, header.bmHeight, &bits);
  if (!dib) return nullptr;
  HDC screen = GetDC(nullptr);
  HDC from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
  HGDIOBJ oldFrom = SelectObject(from, bitmap), oldTo = SelectObject(to, dib->FBitmap);
  BitBlt(to, 0, 0, header.bmWidth, header.bmHeight, from, 0, 0, SRCCOPY);
  SelectObject(from, oldFrom);
  SelectObject(to, oldTo);
  DeleteDC(from);
  DeleteDC(to);
  ReleaseDC(nullptr, screen);
  return dib;
}

void TDibBitmap::StretchTo(HDC dc, const RECT& dest, const RECT& source) const {
  HDC from = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(from, FBitmap);
  // Whole pixels, no blending: a one-pixel frame stays crisp at any size.
  const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top, from,
             source.left, source.top, source.right - source.left, source.bottom - source.top,
             SRCCOPY);
  SetStretchBltMode(dc, oldMode);
  SelectObject(from, old);
  DeleteDC(from);
}
