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

// Resource ids of a skin picture's 1.5x and 2x drawings lie this far apart.
constexpr int kSkinScaleStep = 100;

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
  // A skin picture drawn for 96, 144 and 192 dpi, held as the resources id,
  // id + kSkinScaleStep and id + 2 * kSkinScaleStep: the one nearest the
  // holder's dpi is taken (the first where the others are missing). Only its
  // size is read here; it is decoded when first drawn, once for the whole
  // process while any holder keeps it.
  bool LoadSkinResource(HINSTANCE module, int id);
  // Sizes and source rectangles are pixels at ppi dots per inch from now
  // on (96 at first): a picture drawn for another dpi is stretched, and a
  // skin picture is loaded again at the nearest scale.
  void SetPixelsPerInch(int ppi);
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
  bool Decode(const void* data, size_t size);
  // The skin picture taken but not yet decoded is decoded now.
  void DecodeSkin() const;
  // What one pixel of the drawn picture is in the holder's pixels.
  float DrawnPerShown() const { return float(FDrawnPPI) / float(FPPI); }

  TPictureKind FKind = pkNone;
  int FPPI = 96;
  int FDrawnPPI = 96;  // the dpi the held picture was drawn for
  HINSTANCE FSkinModule = nullptr;
  int FSkinId = 0;  // 0: not a skin picture
  mutable int FSkinResource = 0;  // the resource of the scale taken; 0 once decoded
  int FDrawnWidth = 0, FDrawnHeight = 0;  // of a skin picture not yet decoded
  mutable std::shared_ptr<const TGdiPlusImage> FPNG;
  mutable std::shared_ptr<const TDibBitmap> FBitmap;  // JPEG and bitmap pictures
};
