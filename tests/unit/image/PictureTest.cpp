// The picture holder: decoding, sizes, copies and its drawing primitives,
// with the real GDI+, drawn into a 32-bit memory bitmap.
#include "image/Picture.h"

#include <gtest/gtest.h>

#include <deque>

#include "skin/skin_ids.h"
#include "tests/support/PngWriter.h"
#include "tests/support/TestSupport.h"
#include "tests/unit/image/DibCanvas.h"

namespace {

const COLORREF Blue = RGB(0, 0, 255);
const COLORREF Sky = RGB(46, 196, 247);

bool LoadSkin(TPicture& picture, int id) { return picture.LoadFromResource(GetModuleHandleA(nullptr), id); }

TEST(Picture, DecodesEverySkinPicture) {
  struct Case { int id; TPictureKind kind; int width, height; };
  const Case cases[] = {
      {IDR_SKIN_BACKGROUND, pkJPEG, 330, 228}, {IDR_SKIN_CLOSE, pkPNG, 120, 40},
      {IDR_SKIN_BUTTON, pkPNG, 320, 28},       {IDR_SKIN_BADGE_INFO, pkPNG, 110, 55},
      {IDR_SKIN_BADGE_YES, pkPNG, 110, 55},    {IDR_SKIN_BADGE_ERROR, pkPNG, 104, 55},
      {IDR_SKIN_TITLE, pkPNG, 107, 27},
  };
  for (const auto& c : cases) {
    TPicture picture;
    ASSERT_TRUE(LoadSkin(picture, c.id)) << c.id;
    EXPECT_EQ(picture.Kind(), c.kind) << c.id;
    EXPECT_EQ(picture.Width(), c.width) << c.id;
    EXPECT_EQ(picture.Height(), c.height) << c.id;
    EXPECT_FALSE(picture.Empty());
    // A skin picture gives its kind and size from its header, before any
    // decoding; at 192 dpi from its 2x drawing.
    for (int ppi : {96, 192}) {
      TPicture skin;
      skin.SetPixelsPerInch(ppi);
      ASSERT_TRUE(skin.LoadSkinResource(GetModuleHandleA(nullptr), c.id)) << c.id;
      EXPECT_EQ(skin.Kind(), c.kind) << c.id;
      EXPECT_EQ(skin.Width(), c.width * ppi / 96) << c.id;
      EXPECT_EQ(skin.Height(), c.height * ppi / 96) << c.id;
    }
  }
}

// Decoded when first drawn, and shared by a later holder: every pixel as
// the picture decoded at once.
TEST(Picture, SkinPictureDrawsAsTheDecodedOne) {
  for (int id : {IDR_SKIN_BACKGROUND, IDR_SKIN_BUTTON}) {
    TPicture decoded, first, second;
    ASSERT_TRUE(LoadSkin(decoded, id));
    ASSERT_TRUE(first.LoadSkinResource(GetModuleHandleA(nullptr), id));
    ASSERT_TRUE(second.LoadSkinResource(GetModuleHandleA(nullptr), id));
    const RECT all{0, 0, decoded.Width(), decoded.Height()};
    std::deque<DibCanvas> drawn;  // never moved: a canvas owns its bitmap
    for (const TPicture* picture : {&decoded, &first, &second}) {
      drawn.emplace_back(all.right, all.bottom, Blue);
      picture->Kind() == pkPNG ? picture->DrawPNGPart(drawn.back().DC(), all, all)
                               : picture->DrawWhole(drawn.back().DC(), all);
    }
    for (int y = 0; y < all.bottom; ++y)
      for (int x = 0; x < all.right; ++x)
        for (size_t i : {1, 2}) ASSERT_EQ(drawn[i].Pixel(x, y), drawn[0].Pixel(x, y)) << id << " " << x << "," << y;
  }
}

TEST(Picture, UndecodableBytesLeaveItEmpty) {
  TPicture picture;
  ASSERT_TRUE(LoadSkin(picture, IDR_SKIN_TITLE));
  const std::string cases[] = {"", "GIF89a", std::string("\x89PNG\r\n\x1a\n", 8) + "broken",
                               "\xFF\xD8\xFF\xE0 broken"};
  for (const auto& bytes : cases) {
    EXPECT_FALSE(picture.LoadFromBytes(bytes.data(), bytes.size()));
    EXPECT_EQ(picture.Kind(), pkNone);
    EXPECT_TRUE(picture.Empty());
    EXPECT_EQ(picture.Width(), 0);
  }
  EXPECT_FALSE(picture.LoadFromResource(GetModuleHandleA(nullptr), 1));  // no such resource
}

TEST(Picture, LoadsAFileAndRefusesWhatIsNoPicture) {
  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  const std::string dir = std::string(temp) + "zr_picture_file\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  const std::vector<uint8_t> bgra(3 * 2 * 4, 0x80);
  ASSERT_TRUE(zrtest::WritePng(dir + "small.png", 3, 2, bgra));
  HANDLE empty = CreateFileA((dir + "empty.png").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(empty, INVALID_HANDLE_VALUE);
  CloseHandle(empty);

  TPicture picture;
  ASSERT_TRUE(picture.LoadFromFile((dir + "small.png").c_str()));
  EXPECT_EQ(picture.Kind(), pkPNG);
  EXPECT_EQ(picture.Width(), 3);
  EXPECT_EQ(picture.Height(), 2);
  for (const char* name : {"missing.png", "empty.png", ""}) {  // "" names the folder itself
    ASSERT_TRUE(picture.LoadFromFile((dir + "small.png").c_str()));
    EXPECT_FALSE(picture.LoadFromFile((dir + name).c_str())) << name;
    EXPECT_TRUE(picture.Empty()) << name;
  }
}

TEST(Picture, EveryChangeIsReported) {
  TPicture picture, other;
  int changes = 0;
  picture.OnChange = [&] { ++changes; };
  LoadSkin(other, IDR_SKIN_CLOSE);
  LoadSkin(picture, IDR_SKIN_TITLE);
  picture.Assign(other);
  picture.Clear();
  picture.LoadFromBytes("x", 1);
  EXPECT_EQ(changes, 4);
}

TEST(Picture, AssignCopiesAndOutlivesTheSource) {
  TPicture copy;
  {
    TPicture source;
    ASSERT_TRUE(LoadSkin(source, IDR_SKIN_BUTTON));
    copy.Assign(source);
  }
  EXPECT_EQ(copy.Kind(), pkPNG);
  EXPECT_EQ(copy.Width(), 320);
  DibCanvas canvas(80, 28, Blue);
  copy.DrawPNGPart(canvas.DC(), {0, 0, 80, 28}, {0, 0, 80, 28});
  EXPECT_FALSE(Near(canvas.Pixel(40, 14), Blue));  // the grey button, drawn from the copy
}

TEST(Picture, PNGPartBlendsByAlpha) {
  TPicture strip;
  ASSERT_TRUE(LoadSkin(strip, IDR_SKIN_BUTTON));
  DibCanvas canvas(80, 28, Blue);
  // Frame 0 is opaque light grey, frame 3 the same at half opacity.
  strip.DrawPNGPart(canvas.DC(), {0, 0, 80, 28}, {0, 0, 80, 28});
  const COLORREF opaque = canvas.Pixel(40, 14);
  EXPECT_GT(GetRValue(opaque), 200);
  EXPECT_GT(GetGValue(opaque), 200);
  canvas.Fill(Blue);
  strip.DrawPNGPart(canvas.DC(), {0, 0, 80, 28}, {240, 0, 320, 28});
  const COLORREF half = canvas.Pixel(40, 14);
  EXPECT_TRUE(Near(half, RGB(GetRValue(opaque) / 2, GetGValue(opaque) / 2,
                             (GetBValue(opaque) + 255) / 2), 8))
      << std::hex << half;
}

TEST(Picture, TransparentFrameLeavesTheDCAlone) {
  TPicture close;
  ASSERT_TRUE(LoadSkin(close, IDR_SKIN_CLOSE));
  DibCanvas canvas(30, 40, Sky);
  close.DrawPNGPart(canvas.DC(), {0, 0, 30, 40}, {90, 0, 120, 40});
  EXPECT_EQ(canvas.ChangedBounds(Sky).right, 0);
  close.DrawPNGPart(canvas.DC(), {0, 0, 30, 40}, {0, 0, 30, 40});
  const RECT cross = canvas.ChangedBounds(Sky);
  EXPECT_GE(cross.left, 8);  // a small cross in the middle of the frame
  EXPECT_LE(cross.right, 22);
}

TEST(Picture, JpegDrawsWholeAndOpaque) {
  TPicture background;
  ASSERT_TRUE(LoadSkin(background, IDR_SKIN_BACKGROUND));
  DibCanvas canvas(165, 114, Blue);  // half size
  background.DrawWhole(canvas.DC(), {0, 0, 165, 114});
  EXPECT_TRUE(Near(canvas.Pixel(80, 12), Sky, 20)) << std::hex << canvas.Pixel(80, 12);
  EXPECT_TRUE(Near(canvas.Pixel(80, 80), RGB(255, 255, 255)));
  EXPECT_EQ(canvas.ChangedBounds(Blue).right, 165);
  EXPECT_EQ(canvas.ChangedBounds(Blue).bottom, 114);
}

TEST(Picture, BitmapCopiesSourceRectangle) {
  // A 4 x 1 bitmap: red, green, blue, white.
  const COLORREF colours[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};
  const uint32_t bits[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  HBITMAP bitmap = CreateBitmap(4, 1, 1, 32, bits);
  TPicture picture;
  ASSERT_TRUE(picture.LoadFromBitmap(bitmap));
  DeleteObject(bitmap);  // the picture holds its own copy
  EXPECT_EQ(picture.Kind(), pkBitmap);
  EXPECT_EQ(picture.Width(), 4);
  DibCanvas canvas(20, 10, 0);
  picture.StretchBitmapPart(canvas.DC(), {0, 0, 20, 10}, {2, 0, 3, 1});
  EXPECT_EQ(canvas.Pixel(0, 0), colours[2]);
  EXPECT_EQ(canvas.Pixel(19, 9), colours[2]);
}

TEST(Picture, OpaqueTestPictureRoundTripsExactly) {
  const std::string path = zrtest::FreshDir("picture") + "grid.png";
  ASSERT_TRUE(zrtest::WritePng(path, 3, 2, PixelsOf(3, 2, [](int x, int y) {
    return 0xFF000000u | (uint32_t(x * 100) << 16) | (uint32_t(y * 200) << 8);
  })));
  TPicture picture;
  ASSERT_TRUE(picture.LoadFromFile(path.c_str()));
  DibCanvas canvas(3, 2, Blue);
  picture.DrawPNGPart(canvas.DC(), {0, 0, 3, 2}, {0, 0, 3, 2});
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(canvas.Pixel(x, y), RGB(x * 100, y * 200, 0));
}

}  // namespace
