#include "ui/PNGGeometry.h"

#include <algorithm>

bool AdjustPNGSource(const TDrawRect& dest, TDrawRect& source) {
  if (source.Width() < 1 || source.Height() < 1 || dest.Width() < 1 || dest.Height() < 1)
    return false;
  if (dest.Width() > source.Width() && source.Width() > 1) --source.Right;
  if (dest.Height() > source.Height() && source.Height() > 1) --source.Bottom;
  return true;
}

static std::vector<TDrawPart> TileParts(const TDrawRect& dest, const TDrawRect& source) {
  const int fw = source.Width(), fh = source.Height();
  std::vector<TDrawPart> parts;
  if (fw < 1 || fh < 1) return parts;  // more frames than pixels: nothing to tile
  // One more row and column than fit completely; the overhang is clipped.
  const int rows = dest.Height() / fh + 1;
  const int cols = dest.Width() / fw + 1;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const int x = dest.Left + c * fw, y = dest.Top + r * fh;
      parts.push_back({{x, y, x + fw, y + fh}, source});
    }
  return parts;
}

std::vector<TDrawPart> PictureParts(int pictureWidth, int pictureHeight, const TDrawRect& dest,
                                    int count, int index, TPNGDrawStyle style) {
  const int fw = count > 0 ? pictureWidth / count : pictureWidth;
  const int fh = pictureHeight;
  TDrawRect source{0, 0, fw, fh};
  if (index > 0 && index < count) source = source.Offset(index * fw, 0);
  const TDrawRect natural{dest.Left, dest.Top, dest.Left + fw, dest.Top + fh};
  switch (style) {
    case dsNone:
      return {{natural, source}};
    case dsStretch:
      return {{dest, source}};
    case dsTile:
      return TileParts(dest, source);
    case ds9Grid: {
      const auto grid = NineGridParts(dest, source);
      return {grid.begin(), grid.end()};
    }
  }
  return {};
}

std::array<TDrawPart, 9> NineGridParts(const TDrawRect& dest, const TDrawRect& source) {
  const int a = source.Width() / 3, b = source.Height() / 3;
  const int sx[4] = {source.Left, source.Left + a, source.Right - a, source.Right};
  const int sy[4] = {source.Top, source.Top + b, source.Bottom - b, source.Bottom};
  const int dx[4] = {dest.Left, dest.Left + a, dest.Right - a, dest.Right};
  const int dy[4] = {dest.Top, dest.Top + b, dest.Bottom - b, dest.Bottom};
  std::array<TDrawPart, 9> parts;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      parts[r * 3 + c] = {{dx[c], dy[r], dx[c + 1], dy[r + 1]},
                          {sx[c], sy[r], sx[c + 1], sy[r + 1]}};
  return parts;
}

std::array<TDrawPart, 3> ThreeSliceParts(const TDrawRect& dest, const TDrawRect& source) {
  const int w = std::min(source.Width(), dest.Width());
  const int h = std::min(source.Height(), dest.Height());
  const int e = w / 2, g = w % 2;
  const TDrawPart left{{dest.Left, dest.Top, dest.Left + e, dest.Bottom},
                       {source.Left, source.Top, source.Left + e, source.Top + h}};
  const TDrawPart middle{{dest.Left + e, dest.Top, dest.Right - e + g, dest.Bottom},
                         {source.Left + e, source.Top, source.Left + e + 1, source.Top + h}};
  const TDrawPart right{{dest.Right - e + g, dest.Top, dest.Right, dest.Bottom},
                        {source.Right - e, source.Top, source.Right, source.Top + h}};
  return {left, middle, right};
}

TFrameSize ButtonFrameSize(int pictureWidth, int pictureHeight, int numGlyphs, int stateMax,
                           TSplitStyle split) {
  if (split == spHorizontal) return {pictureWidth / numGlyphs, pictureHeight / stateMax};
  return {pictureWidth / stateMax, pictureHeight / numGlyphs};
}

int ButtonStateFrame(int numGlyphs, const TButtonState& state) {
  if (numGlyphs <= 1) return 0;
  if (!state.Enabled) return 3;
  if (state.Down || state.Held) return 2;
  if (state.MouseIn) return 1;
  return 0;
}

TDrawRect ButtonSourceRect(TFrameSize frame, int stateIndex, int stateFrame, TSplitStyle split) {
  TDrawRect source{0, 0, frame.Width, frame.Height};
  if (stateIndex > 0)
    source = split == spHorizontal ? source.Offset(0, stateIndex * frame.Height)
                                   : source.Offset(stateIndex * frame.Width, 0);
  return split == spHorizontal ? source.Offset(stateFrame * frame.Width, 0)
                               : source.Offset(0, stateFrame * frame.Height);
}

TDrawRect ButtonDestRect(int width, int height, TFrameSize frame, bool stretch, bool center) {
  if (stretch) return {0, 0, width, height};
  const TDrawRect dest{0, 0, frame.Width, frame.Height};
  if (!center) return dest;
  return dest.Offset((width - frame.Width) / 2, (height - frame.Height) / 2);
}
