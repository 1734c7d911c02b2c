#pragma once
// The picture holder of the skin controls: one decoded PNG (with alpha),
// JPEG or bitmap, and the drawing operations the controls use.

#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>

class TGdiPlusImage;
class TDibBitmap;

enum TPictureKind { pkNone, pkPNG, pkJPEG, pkBitmap };

class TPicture {
 public:
  // Runs after every change of the held picture.
  std::function<void()> OnChange;

  TPicture() = default;
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  // PNG or JPEG bytes, told apart by their signature. False, and the holder
  // emptied, when they do not decode.
  bool LoadFromBytes(const void* data, size_t size);
  // An RCDATA resource of the module holding PNG or JPEG bytes.
  bool LoadFromResource(HINSTANCE module, int id);
  bool LoadFromFile(const char* path);
  // A copy of the bitmap; the caller keeps its handle.
  bool LoadFromBitmap(HBITMAP bitmap);
  // The holder gets a copy of the other picture. Decoded pictures are never
  // changed, so the copy shares them.
  void Assign(const TPicture& source);
  void Clear();

  TPictureKind Kind() const { return FKind; }
  int Width() const;
  int Height() const;
  // No picture, or one below 1 x 1.
  bool Empty() const { return Width() < 1 || Height() < 1; }

  // PNG: the source rectangle scaled into the destination with alpha blending,
  // one GDI+ drawing context per call.
  void DrawPNGPart(HDC dc, const RECT& dest, const RECT& source) const;
  // Bitmap: the source rectangle copied opaque with stretching.
  void StretchBitmapPart(HDC dc, const RECT& dest, const RECT& source) const;
  // JPEG (and bitmaps): the whole picture scaled opaque into the destination.
  void DrawWhole(HDC dc, const RECT& dest) const;

 private:
  void Reset();
  void Changed();

  TPictureKind FKind = pkNone;
  std::shared_ptr<const TGdiPlusImage> FPNG;
  std::shared_ptr<const TDibBitmap> FBitmap;  // JPEG and bitmap pictures
};
