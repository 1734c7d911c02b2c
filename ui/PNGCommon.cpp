#include "ui/PNGCommon.h"

namespace {

RECT ToRect(const TDrawRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }

bool Drawable(const TPicture* picture) { return picture && !picture->Empty(); }

template <typename Parts>
void DrawParts(const TPicture* picture, HDC dc, const Parts& parts) {
  for (const TDrawPart& part : parts) DrawPicturePart(picture, dc, part.Dest, part.Source);
}

}  // namespace

void DrawPicturePart(const TPicture* picture, HDC dc, const TDrawRect& dest,
                     const TDrawRect& source) {
  if (!Drawable(picture)) return;
  switch (picture->Kind()) {
    case pkPNG: {
      TDrawRect s = source;
      if (AdjustPNGSource(dest, s)) picture->DrawPNGPart(dc, ToRect(dest), ToRect(s));
      break;
    }
    case pkBitmap:
      picture->StretchBitmapPart(dc, ToRect(dest), ToRect(source));
      break;
    default:
      picture->DrawWhole(dc, ToRect(dest));
      break;
  }
}

void DrawPicture(const TPicture* picture, HDC dc, const TDrawRect& dest, int32_t count,
                 int32_t index, TPNGDrawStyle style) {
  if (!Drawable(picture)) return;
  DrawParts(picture, dc,
            PictureParts(picture->Width(), picture->Height(), dest, count, index, style));
}

void DrawNineGrid(const TPicture* picture, HDC dc, const TDrawRect& dest,
                  const TDrawRect& source) {
  DrawParts(picture, dc, NineGridParts(dest, source));
}

void DrawThreeSlice(const TPicture* picture, HDC dc, const TDrawRect& dest,
                    const TDrawRect& source) {
  DrawParts(picture, dc, ThreeSliceParts(dest, source));
}
