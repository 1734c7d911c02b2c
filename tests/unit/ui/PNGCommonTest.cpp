// The shared drawing routines with real GDI+ and libjpeg, into a 32-bit memory
// bitmap: what lands where for every draw style.
#include "ui/PNGCommon.h"

#include <gtest/gtest.h>

#include "skin/skin_ids.h"
#include "tests/unit/ui/UiTest.h"

namespace {

const COLORREF Back = RGB(0, 0, 0);
const COLORREF Red = RGB(255, 0, 0), Green = RGB(0, 255, 0), Blue = RGB(0, 0, 255);
const COLORREF White = RGB(255, 255, 255);

TEST(DrawPicturePart, PNGBelowOnePixelDrawsNothing) {
  TPicture picture;
  LoadTestPNG(picture, 10, 10, [](int, int) { return Red; });
  DibCanvas canvas(40, 40, Back);
  const TDrawRect dests[] = {{5, 5, 5, 30}, {5, 5, 30, 5}, {30, 5, 5, 30}, {5, 30, 30, 5}};
  for (const auto& d : dests) DrawPicturePart(&picture, canvas.DC(), d, {0, 0, 10, 10});
  DrawPicturePart(&picture, canvas.DC(), {0, 0, 40, 40}, {3, 3, 3, 10});
  EXPECT_EQ(canvas.ChangedBounds(Back).right, 0);  // mirrored or empty parts never appear
}

TEST(DrawPicturePart, NoPictureOrEmptyPictureDrawsNothing) {
  TPicture empty;
  DibCanvas canvas(10, 10, Back);
  DrawPicturePart(nullptr, canvas.DC(), {0, 0, 10, 10}, {0, 0, 10, 10});
  DrawPicturePart(&empty, canvas.DC(), {0, 0, 10, 10}, {0, 0, 10, 10});
  DrawPicture(&empty, canvas.DC(), {0, 0, 10, 10}, 1, 0, dsStretch);
  EXPECT_EQ(canvas.ChangedBounds(Back).right, 0);
}

TEST(DrawPicturePart, JpegIsDrawnWholeWhateverTheSource) {
  TPicture background;
  ASSERT_TRUE(background.LoadFromResource(GetModuleHandleA(nullptr), IDR_SKIN_BACKGROUND));
  DibCanvas canvas(330, 228, Back);
  // The source names only the grey frame's corner; a JPEG ignores it.
  DrawPicturePart(&background, canvas.DC(), {0, 0, 330, 228}, {0, 0, 2, 2});
  EXPECT_TRUE(Near(canvas.Pixel(160, 30), RGB(46, 196, 247), 24)) << std::hex << canvas.Pixel(160, 30);
  EXPECT_TRUE(Near(canvas.Pixel(160, 150), White));
  EXPECT_TRUE(Near(canvas.Pixel(0, 150), RGB(128, 130, 127), 16));
}

TEST(DrawPicture, FrameOfFourFrameStrip) {
  const COLORREF frames[] = {Red, Green, Blue, White};
  TPicture strip;
  LoadTestPNG(strip, 320, 28, [&](int x, int) { return frames[x / 80]; });
  struct Case { int index; COLORREF colour; };
  const Case cases[] = {{2, Blue}, {1, Green}, {3, White}, {4, Red}, {-1, Red}};
  for (const auto& c : cases) {
    DibCanvas canvas(100, 40, Back);
    DrawPicture(&strip, canvas.DC(), {0, 0, 100, 40}, 4, c.index, dsNone);
    EXPECT_EQ(canvas.Pixel(0, 0), c.colour) << "index " << c.index;
    EXPECT_EQ(canvas.Pixel(79, 27), c.colour) << "index " << c.index;
    const RECT drawn = canvas.ChangedBounds(Back);
    EXPECT_EQ(drawn.right, 80);
    EXPECT_EQ(drawn.bottom, 28);
  }
}

TEST(DrawPicture, NoneDrawsNaturalSizeAtTopLeft) {
  TPicture picture;
  LoadTestPNG(picture, 12, 8, [](int, int) { return Green; });
  DibCanvas canvas(40, 40, Back);
  DrawPicture(&picture, canvas.DC(), {5, 6, 35, 36}, 1, 0, dsNone);
  const RECT drawn = canvas.ChangedBounds(Back);
  EXPECT_EQ(drawn.left, 5);
  EXPECT_EQ(drawn.top, 6);
  EXPECT_EQ(drawn.right, 17);
  EXPECT_EQ(drawn.bottom, 14);
}

TEST(DrawPicture, StretchCoversDestination) {
  TPicture picture;
  LoadTestPNG(picture, 4, 4, [](int x, int) { return x < 2 ? Red : Blue; });
  DibCanvas canvas(60, 40, Back);
  DrawPicture(&picture, canvas.DC(), {10, 5, 50, 35}, 1, 0, dsStretch);
  // Scaling may leave the outermost row or column blended to nothing.
  const RECT drawn = canvas.ChangedBounds(Back);
  EXPECT_NEAR(drawn.left, 10, 1);
  EXPECT_NEAR(drawn.top, 5, 1);
  EXPECT_EQ(drawn.right, 50);
  EXPECT_EQ(drawn.bottom, 35);
  EXPECT_TRUE(Near(canvas.Pixel(12, 20), Red));
  EXPECT_TRUE(Near(canvas.Pixel(47, 20), Blue));
}

TEST(DrawPicture, TileTenIntoTwentyFiveByTwentyClipped) {
  // A 10 x 10 picture, red with a green top-left pixel marking each tile.
  TPicture tile;
  LoadTestPNG(tile, 10, 10, [](int x, int y) { return x == 0 && y == 0 ? Green : Red; });
  DibCanvas canvas(40, 40, Back);
  IntersectClipRect(canvas.DC(), 0, 0, 25, 20);  // the control's bounds
  DrawPicture(&tile, canvas.DC(), {0, 0, 25, 20}, 1, 0, dsTile);
  for (int x : {0, 10, 20})
    for (int y : {0, 10}) EXPECT_EQ(canvas.Pixel(x, y), Green) << x << "," << y;
  EXPECT_EQ(canvas.Pixel(24, 19), Red);  // the half-visible third column
  const RECT drawn = canvas.ChangedBounds(Back);
  EXPECT_EQ(drawn.right, 25);
  EXPECT_EQ(drawn.bottom, 20);  // the third row is clipped away
}

TEST(DrawPicture, NineGridKeepsCornersStretchesTheRest) {
  // A 30 x 30 picture of nine 10 x 10 cells in nine colours.
  const COLORREF cells[9] = {RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(0, 0, 255),
                             RGB(255, 255, 0), RGB(0, 255, 255), RGB(255, 0, 255),
                             RGB(255, 255, 255), RGB(128, 128, 0), RGB(0, 128, 128)};
  TPicture grid;
  LoadTestPNG(grid, 30, 30, [&](int x, int y) { return cells[(y / 10) * 3 + x / 10]; });
  DibCanvas canvas(100, 50, Back);
  DrawPicture(&grid, canvas.DC(), {0, 0, 100, 50}, 1, 0, ds9Grid);
  // Corners at their own size, exactly.
  struct Probe { int x, y, cell; };
  const Probe exact[] = {{0, 0, 0}, {9, 9, 0}, {90, 0, 2}, {99, 9, 2},
                         {0, 40, 6}, {9, 49, 6}, {90, 40, 8}, {99, 49, 8}};
  for (const auto& p : exact) EXPECT_EQ(canvas.Pixel(p.x, p.y), cells[p.cell]) << p.x << "," << p.y;
  // Edges and centre stretched over the rest.
  const Probe stretched[] = {{11, 2, 1}, {50, 5, 1}, {88, 7, 1}, {3, 12, 3}, {5, 25, 3},
                             {50, 25, 4}, {20, 38, 4}, {95, 25, 5}, {50, 45, 7}};
  for (const auto& p : stretched)
    EXPECT_TRUE(Near(canvas.Pixel(p.x, p.y), cells[p.cell], 40))
        << p.x << "," << p.y << " " << std::hex << canvas.Pixel(p.x, p.y);
}

TEST(DrawThreeSlice, WiderDestinationStretchesOnlyTheMiddleColumn) {
  // 80 x 28: red left half, green columns 40 and 41, blue after them. The
  // middle is stretched from column 40; scaling blends in its right
  // neighbour, so that one is green too.
  TPicture frame;
  LoadTestPNG(frame, 80, 28, [](int x, int) { return x < 40 ? Red : x < 42 ? Green : Blue; });
  DibCanvas canvas(200, 28, Back);
  DrawThreeSlice(&frame, canvas.DC(), {0, 0, 200, 28}, {0, 0, 80, 28});
  EXPECT_EQ(canvas.Pixel(0, 10), Red);
  EXPECT_EQ(canvas.Pixel(39, 10), Red);  // left half unscaled
  for (int x : {41, 100, 158}) EXPECT_TRUE(Near(canvas.Pixel(x, 10), Green)) << x;
  for (int x : {160, 161}) EXPECT_EQ(canvas.Pixel(x, 10), Green) << x;  // right half unscaled
  for (int x : {162, 199}) EXPECT_EQ(canvas.Pixel(x, 10), Blue) << x;
}

TEST(DrawThreeSlice, OddWidthAtOwnSize) {
  // 11 wide: the middle column (5, green) covers two pixels and the right
  // part is squeezed from five source pixels into four.
  TPicture frame;
  LoadTestPNG(frame, 11, 8, [](int x, int) { return x < 5 ? Red : x == 5 ? Green : Blue; });
  DibCanvas canvas(11, 8, Back);
  DrawThreeSlice(&frame, canvas.DC(), {0, 0, 11, 8}, {0, 0, 11, 8});
  EXPECT_EQ(canvas.Pixel(4, 3), Red);
  EXPECT_TRUE(Near(canvas.Pixel(5, 3), Green));
  EXPECT_GT(GetGValue(canvas.Pixel(6, 3)), 100);  // still the middle column
  EXPECT_EQ(GetRValue(canvas.Pixel(6, 3)), 0);
  EXPECT_TRUE(Near(canvas.Pixel(10, 3), Blue));
  EXPECT_EQ(GetRValue(canvas.Pixel(7, 3)), 0);
}

TEST(DrawPicture, BitmapPictureUsesSourceFrame) {
  const uint32_t bits[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};  // 4 x 1 frames
  HBITMAP bitmap = CreateBitmap(4, 1, 1, 32, bits);
  TPicture strip;
  ASSERT_TRUE(strip.LoadFromBitmap(bitmap));
  DeleteObject(bitmap);
  DibCanvas canvas(8, 8, Back);
  DrawPicture(&strip, canvas.DC(), {0, 0, 8, 8}, 4, 1, dsStretch);
  EXPECT_EQ(canvas.Pixel(0, 0), Green);
  EXPECT_EQ(canvas.Pixel(7, 7), Green);
}

}  // namespace
