// JPEG decoding of good and malformed bytes (natively, under the sanitizers).
#include "image/JpegDecoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string SkinJpeg() {
  std::ifstream file(ZR_SKIN_DIR "bg.jpg", std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Offset of the frame header's height field (after FF C0 / FF C2, length, precision).
size_t FrameSizeOffset(const std::string& jpeg) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i)
    if (uint8_t(jpeg[i]) == 0xFF && (uint8_t(jpeg[i + 1]) == 0xC0 || uint8_t(jpeg[i + 1]) == 0xC2))
      return i + 5;
  return 0;
}

TEST(JpegDecoder, DecodesBackgroundToBgrRows) {
  const std::string jpeg = SkinJpeg();
  ASSERT_FALSE(jpeg.empty());
  TDecodedPixels pixels;
  ASSERT_TRUE(DecodeJpeg(jpeg.data(), jpeg.size(), pixels));
  EXPECT_EQ(pixels.Width, 330);
  EXPECT_EQ(pixels.Height, 228);
  EXPECT_EQ(pixels.Stride(), 992);  // 990 padded to a multiple of 4
  ASSERT_EQ(pixels.Rows.size(), size_t(992) * 228);
  // Row 30 in the sky-blue band: blue strongest, red weakest.
  const uint8_t* band = &pixels.Rows[30 * 992 + 100 * 3];
  EXPECT_GT(band[0], 230);
  EXPECT_LT(band[2], 80);
  // Row 150 is white.
  const uint8_t* white = &pixels.Rows[150 * 992 + 100 * 3];
  EXPECT_GT(white[0] + white[1] + white[2], 3 * 245);
}

TEST(JpegDecoder, RefusesMalformedInput) {
  const std::string jpeg = SkinJpeg();
  ASSERT_GT(jpeg.size(), 600u);
  std::string garbled = jpeg;
  for (size_t i = 200; i < 600; ++i) garbled[i] = char(i * 37);
  const std::string cases[] = {
      "",
      "not a picture",
      jpeg.substr(0, 2),
      jpeg.substr(0, 120),  // cut inside the headers
      garbled,
  };
  for (const auto& bytes : cases) {
    TDecodedPixels pixels;
    pixels.Width = 7;
    EXPECT_FALSE(DecodeJpeg(bytes.data(), bytes.size(), pixels)) << bytes.size() << " bytes";
    EXPECT_EQ(pixels.Width, 0);
    EXPECT_TRUE(pixels.Rows.empty());
  }
}

TEST(JpegDecoder, TruncatedDataStillGivesWholePicture) {
  // libjpeg pads a cut entropy stream with grey and warns; the size stays right.
  const std::string jpeg = SkinJpeg();
  const std::string cut = jpeg.substr(0, jpeg.size() * 3 / 4);
  TDecodedPixels pixels;
  ASSERT_TRUE(DecodeJpeg(cut.data(), cut.size(), pixels));
  EXPECT_EQ(pixels.Width, 330);
  EXPECT_EQ(pixels.Rows.size(), size_t(pixels.Stride()) * 228);
}

TEST(JpegDecoder, RefusesOversizedFrameWithoutAllocating) {
  std::string jpeg = SkinJpeg();
  const size_t at = FrameSizeOffset(jpeg);
  ASSERT_NE(at, 0u);
  // 20000 x 20000: within libjpeg's own limit, far beyond any skin picture.
  jpeg[at] = char(0x4E), jpeg[at + 1] = char(0x20);
  jpeg[at + 2] = char(0x4E), jpeg[at + 3] = char(0x20);
  TDecodedPixels pixels;
  EXPECT_FALSE(DecodeJpeg(jpeg.data(), jpeg.size(), pixels));
  EXPECT_TRUE(pixels.Rows.empty());
}

}  // namespace
