// Rectangles and frame choice of the skin drawing, independent of any DC.
#include "ui/PNGGeometry.h"

#include <gtest/gtest.h>

#include <ostream>

std::ostream& operator<<(std::ostream& out, const TDrawRect& r) {
  return out << "(" << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom << ")";
}

namespace {

TEST(PNGSource, NothingBelowOnePixel) {
  const TDrawRect cases[][2] = {
      {{0, 0, 0, 10}, {0, 0, 10, 10}},    // zero-width destination
      {{0, 0, 10, 0}, {0, 0, 10, 10}},    // zero-height destination
      {{0, 0, 10, 10}, {5, 0, 5, 10}},    // zero-width source
      {{0, 0, 10, 10}, {0, 0, 10, -3}},   // negative source
      {{10, 0, 4, 10}, {0, 0, 10, 10}},   // negative destination
  };
  for (const auto& c : cases) {
    TDrawRect source = c[1];
    EXPECT_FALSE(AdjustPNGSource(c[0], source)) << c[0] << " from " << c[1];
  }
}

TEST(PNGSource, LargerDestinationDropsLastColumnAndRow) {
  struct Case { TDrawRect dest, source, expected; };
  const Case cases[] = {
      {{0, 0, 20, 20}, {0, 0, 10, 10}, {0, 0, 9, 9}},     // both grow
      {{0, 0, 20, 10}, {0, 0, 10, 10}, {0, 0, 9, 10}},    // only wider
      {{0, 0, 10, 10}, {0, 0, 10, 10}, {0, 0, 10, 10}},   // same size: untouched
      {{0, 0, 5, 5}, {0, 0, 10, 10}, {0, 0, 10, 10}},     // smaller: untouched
      {{0, 0, 20, 20}, {3, 4, 4, 5}, {3, 4, 4, 5}},       // a single pixel stays
  };
  for (const auto& c : cases) {
    TDrawRect source = c.source;
    ASSERT_TRUE(AdjustPNGSource(c.dest, source));
    EXPECT_EQ(source, c.expected) << c.dest;
  }
}

TEST(PictureParts, FrameOfStripAndFallbackToFirst) {
  struct Case { int index; int left; };
  const Case cases[] = {{0, 0}, {1, 80}, {2, 160}, {3, 240}, {4, 0}, {-1, 0}, {100, 0}};
  for (const auto& c : cases) {
    const auto parts = PictureParts(320, 28, {0, 0, 80, 28}, 4, c.index, dsNone);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].Source, (TDrawRect{c.left, 0, c.left + 80, 28})) << "index " << c.index;
  }
}

TEST(PictureParts, NoneDrawsNaturalSizeStretchFillsDestination) {
  const TDrawRect dest{5, 6, 105, 56};
  auto none = PictureParts(30, 20, dest, 1, 0, dsNone);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].Dest, (TDrawRect{5, 6, 35, 26}));
  auto stretch = PictureParts(30, 20, dest, 1, 0, dsStretch);
  ASSERT_EQ(stretch.size(), 1u);
  EXPECT_EQ(stretch[0].Dest, dest);
  EXPECT_EQ(stretch[0].Source, (TDrawRect{0, 0, 30, 20}));
  // Count 0 means the whole picture is one frame.
  EXPECT_EQ(PictureParts(30, 20, dest, 0, 0, dsNone)[0].Source, (TDrawRect{0, 0, 30, 20}));
}

TEST(PictureParts, UnknownStyleDrawsNothing) {
  EXPECT_TRUE(PictureParts(30, 20, {0, 0, 10, 10}, 1, 0, static_cast<TPNGDrawStyle>(4)).empty());
}

TEST(PictureParts, TileCountsOneMoreThanFits) {
  struct Case { int w, h, destW, destH; size_t rows, cols; };
  const Case cases[] = {
      {10, 10, 25, 20, 3, 3},  // third column half visible, third row outside
      {10, 10, 20, 20, 3, 3},  // exact fit still gets an extra row and column
      {10, 10, 9, 9, 1, 1},
      {7, 5, 0, 0, 1, 1},
  };
  for (const auto& c : cases) {
    const auto parts = PictureParts(c.w, c.h, {0, 0, c.destW, c.destH}, 1, 0, dsTile);
    ASSERT_EQ(parts.size(), c.rows * c.cols) << c.destW << "x" << c.destH;
    EXPECT_EQ(parts.back().Dest.Left, int(c.cols - 1) * c.w);
    EXPECT_EQ(parts.back().Dest.Top, int(c.rows - 1) * c.h);
  }
}

TEST(PictureParts, TilesRowByRowFromTopLeft) {
  const auto parts = PictureParts(10, 10, {2, 3, 27, 23}, 1, 0, dsTile);
  ASSERT_EQ(parts.size(), 9u);
  EXPECT_EQ(parts[0].Dest, (TDrawRect{2, 3, 12, 13}));
  EXPECT_EQ(parts[1].Dest, (TDrawRect{12, 3, 22, 13}));
  EXPECT_EQ(parts[3].Dest, (TDrawRect{2, 13, 12, 23}));
  for (const auto& p : parts) EXPECT_EQ(p.Source, (TDrawRect{0, 0, 10, 10}));
}

TEST(PictureParts, TileOfFrameNarrowerThanOnePixelDrawsNothing) {
  // Four frames of a 3-pixel-wide picture are 0 pixels wide.
  EXPECT_TRUE(PictureParts(3, 10, {0, 0, 25, 20}, 4, 0, dsTile).empty());
}

TEST(NineGrid, CornersKeepSizeRestStretches) {
  const auto parts = NineGridParts({0, 0, 100, 50}, {0, 0, 30, 30});
  const TDrawRect dest[9] = {
      {0, 0, 10, 10},   {10, 0, 90, 10},   {90, 0, 100, 10},
      {0, 10, 10, 40},  {10, 10, 90, 40},  {90, 10, 100, 40},
      {0, 40, 10, 50},  {10, 40, 90, 50},  {90, 40, 100, 50}};
  const TDrawRect source[9] = {
      {0, 0, 10, 10},   {10, 0, 20, 10},   {20, 0, 30, 10},
      {0, 10, 10, 20},  {10, 10, 20, 20},  {20, 10, 30, 20},
      {0, 20, 10, 30},  {10, 20, 20, 30},  {20, 20, 30, 30}};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(parts[i].Dest, dest[i]) << "part " << i;
    EXPECT_EQ(parts[i].Source, source[i]) << "part " << i;
  }
}

TEST(NineGrid, SmallerDestinationGivesEmptyMiddles) {
  const auto parts = NineGridParts({0, 0, 15, 15}, {0, 0, 30, 30});
  EXPECT_LT(parts[4].Dest.Width(), 0);
  TDrawRect source = parts[4].Source;
  EXPECT_FALSE(AdjustPNGSource(parts[4].Dest, source));
  EXPECT_EQ(parts[0].Dest, (TDrawRect{0, 0, 10, 10}));
}

TEST(ThreeSlice, WiderDestinationStretchesMiddleColumn) {
  const auto parts = ThreeSliceParts({0, 0, 200, 28}, {80, 0, 160, 28});
  EXPECT_EQ(parts[0].Source, (TDrawRect{80, 0, 120, 28}));
  EXPECT_EQ(parts[0].Dest, (TDrawRect{0, 0, 40, 28}));
  EXPECT_EQ(parts[1].Source, (TDrawRect{120, 0, 121, 28}));
  EXPECT_EQ(parts[1].Dest, (TDrawRect{40, 0, 160, 28}));
  EXPECT_EQ(parts[2].Source, (TDrawRect{120, 0, 160, 28}));
  EXPECT_EQ(parts[2].Dest, (TDrawRect{160, 0, 200, 28}));
}

TEST(ThreeSlice, OddWidthAtOwnSize) {
  // w = 11: e = 5, g = 1; the middle covers two pixels, the right part is
  // squeezed from 5 source pixels into 4.
  const auto parts = ThreeSliceParts({0, 0, 11, 8}, {0, 0, 11, 8});
  EXPECT_EQ(parts[0].Dest, (TDrawRect{0, 0, 5, 8}));
  EXPECT_EQ(parts[1].Dest, (TDrawRect{5, 0, 7, 8}));
  EXPECT_EQ(parts[1].Source, (TDrawRect{5, 0, 6, 8}));
  EXPECT_EQ(parts[2].Dest, (TDrawRect{7, 0, 11, 8}));
  EXPECT_EQ(parts[2].Source, (TDrawRect{6, 0, 11, 8}));
}

TEST(ThreeSlice, NarrowerDestinationKeepsOuterPixels) {
  const auto parts = ThreeSliceParts({0, 0, 20, 10}, {0, 0, 80, 28});
  EXPECT_EQ(parts[0].Source, (TDrawRect{0, 0, 10, 10}));  // rows past D's height unused
  EXPECT_EQ(parts[0].Dest, (TDrawRect{0, 0, 10, 10}));
  EXPECT_EQ(parts[1].Dest.Width(), 0);                     // the middle drops out
  EXPECT_EQ(parts[2].Source, (TDrawRect{70, 0, 80, 10}));
  EXPECT_EQ(parts[2].Dest, (TDrawRect{10, 0, 20, 10}));
}

TEST(ButtonFrame, SizeFollowsSplitDirection) {
  EXPECT_EQ(ButtonFrameSize(320, 28, 4, 1, spHorizontal).Width, 80);
  EXPECT_EQ(ButtonFrameSize(120, 40, 4, 1, spHorizontal).Width, 30);
  const TFrameSize vertical = ButtonFrameSize(60, 160, 4, 2, spVertical);
  EXPECT_EQ(vertical.Width, 30);
  EXPECT_EQ(vertical.Height, 40);
}

TEST(ButtonFrame, FirstRuleThatHoldsChoosesFrame) {
  struct Case { TButtonState state; int frame; };
  const Case cases[] = {
      {{true, false, false, false}, 0},
      {{true, false, false, true}, 1},
      {{true, false, true, true}, 2},
      {{true, false, true, false}, 2},   // held after moving off
      {{true, true, false, false}, 2},   // Down
      {{false, true, true, true}, 3},    // disabled wins over everything
  };
  for (const auto& c : cases) EXPECT_EQ(ButtonStateFrame(4, c.state), c.frame);
  EXPECT_EQ(ButtonStateFrame(1, {false, true, true, true}), 0);
}

TEST(ButtonFrame, SourceMovesByLookAndState) {
  const TFrameSize f{80, 28};
  EXPECT_EQ(ButtonSourceRect(f, 0, 2, spHorizontal), (TDrawRect{160, 0, 240, 28}));
  EXPECT_EQ(ButtonSourceRect(f, 1, 3, spHorizontal), (TDrawRect{240, 28, 320, 56}));
  EXPECT_EQ(ButtonSourceRect(f, 2, 1, spVertical), (TDrawRect{160, 28, 240, 56}));
}

TEST(ButtonFrame, Destination) {
  const TFrameSize f{30, 40};
  EXPECT_EQ(ButtonDestRect(50, 50, f, true, true), (TDrawRect{0, 0, 50, 50}));
  EXPECT_EQ(ButtonDestRect(50, 50, f, false, false), (TDrawRect{0, 0, 30, 40}));
  EXPECT_EQ(ButtonDestRect(51, 45, f, false, true), (TDrawRect{10, 2, 40, 42}));
  // Truncation towards zero when the control is smaller than the frame.
  EXPECT_EQ(ButtonDestRect(25, 40, f, false, true), (TDrawRect{-2, 0, 28, 40}));
}

}  // namespace
