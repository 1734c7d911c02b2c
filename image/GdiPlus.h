#pragma once
// PNG and JPEG pictures through the flat API of gdiplus.dll, loaded at run
// time.
// GDI+ is started on first use and shut down when the process exits.

#include <windows.h>

#include <cstddef>
#include <memory>

class TGdiPlusImage {
 public:
  ~TGdiPlusImage();
  TGdiPlusImage(const TGdiPlusImage&) = delete;
  TGdiPlusImage& operator=(const TGdiPlusImage&) = delete;

  // Decodes a PNG (or any format GDI+ reads) from bytes; empty on failure.
  static std::unique_ptr<TGdiPlusImage> Decode(const void* data, size_t size);

  // The picture as a GDI bitmap, which the caller deletes; null on failure.
  HBITMAP CreateBitmap() const;

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }

  // Draws the source rectangle, multiplied by sourceScale, scaled into the
  // destination, blended by the alpha channel. Opens and closes one GDI+
  // drawing context on the DC.
  void DrawPart(HDC dc, const RECT& dest, const RECT& source, float sourceScale = 1) const;

 private:
  TGdiPlusImage(void* image, IStream* stream, int width, int height);

  void* FImage;       // GpImage*
  IStream* FStream;   // GDI+ reads the bitmap from it lazily, so it lives as long
  int FWidth, FHeight;
};

// True when gdiplus.dll could be loaded and started.
bool GdiPlusAvailable();
