#pragma once
// Drawing routines shared by the skin controls. Rectangles are in the DC's
// coordinates; right and bottom are exclusive.

#include <windows.h>

#include <cstdint>

#include "image/Picture.h"
#include "ui/PNGGeometry.h"

void DrawPicturePart(const TPicture* picture, HDC dc, const TDrawRect& dest,
                     const TDrawRect& source);

// The whole picture, or frame `index` of a strip of `count` frames side by side.
void DrawPicture(const TPicture* picture, HDC dc, const TDrawRect& dest, int32_t count,
                 int32_t index, TPNGDrawStyle style);

void DrawNineGrid(const TPicture* picture, HDC dc, const TDrawRect& dest, const TDrawRect& source);

void DrawThreeSlice(const TPicture* picture, HDC dc, const TDrawRect& dest,
                    const TDrawRect& source);
