#pragma once
// Rectangles, tile counts and frame choice of the skin controls. Plain C++ so
// the rules build and run natively as well as on Windows.

#include <array>
#include <vector>

enum TPNGDrawStyle { dsNone, dsStretch, dsTile, ds9Grid };

enum TSplitStyle { spHorizontal, spVertical };

// Left, top, right, bottom; right and bottom are exclusive.
struct TDrawRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;

  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  TDrawRect Offset(int dx, int dy) const { return {Left + dx, Top + dy, Right + dx, Bottom + dy}; }
  bool operator==(const TDrawRect& o) const {
    return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
  }
  bool operator!=(const TDrawRect& o) const { return !(*this == o); }
};

// One source rectangle of a picture drawn into one destination rectangle.
struct TDrawPart {
  TDrawRect Dest;
  TDrawRect Source;
};

// The source rectangle a PNG part is drawn from: false when nothing is drawn
// (source or destination under 1 pixel). When the destination is larger the
// source loses its last column or row, so scaling never blends in the pixels
// beyond the part.
bool AdjustPNGSource(const TDrawRect& dest, TDrawRect& source);

// The parts DrawPicture draws for one frame of a strip of `count` frames.
std::vector<TDrawPart> PictureParts(int pictureWidth, int pictureHeight, const TDrawRect& dest,
                                    int count, int index, TPNGDrawStyle style);

std::array<TDrawPart, 9> NineGridParts(const TDrawRect& dest, const TDrawRect& source);

std::array<TDrawPart, 3> ThreeSliceParts(const TDrawRect& dest, const TDrawRect& source);

// Skin buttons: one frame per visual state along the split direction,
// one look per StateIndex across it.
struct TFrameSize {
  int Width = 0, Height = 0;
};

TFrameSize ButtonFrameSize(int pictureWidth, int pictureHeight, int numGlyphs, int stateMax,
                           TSplitStyle split);

struct TButtonState {
  bool Enabled = true;
  bool Down = false;
  bool Held = false;  // left button pressed on the control and not yet released
  bool MouseIn = false;
};

// Visual-state frame: 3 disabled, 2 pressed, 1 hovered, 0 otherwise; always 0
// for a single-frame picture.
int ButtonStateFrame(int numGlyphs, const TButtonState& state);

TDrawRect ButtonSourceRect(TFrameSize frame, int stateIndex, int stateFrame, TSplitStyle split);

TDrawRect ButtonDestRect(int width, int height, TFrameSize frame, bool stretch, bool center);
