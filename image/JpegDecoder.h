#pragma once
// JPEG decoding through libjpeg into 24-bit pixel rows. Plain C++ (no Win32
// header) so that malformed input can be exercised natively under sanitizers.

#include <cstddef>
#include <cstdint>
#include <vector>

struct TDecodedPixels {
  int Width = 0;
  int Height = 0;
  // Top-down rows of Width * 3 bytes in blue, green, red order, each row
  // padded to a multiple of 4 bytes (the layout of a 24-bit DIB).
  std::vector<uint8_t> Rows;

  int Stride() const { return (Width * 3 + 3) & ~3; }
};

// Pictures larger than this on either side are refused rather than allocated.
const int MaxJpegSide = 8192;

// False (and Pixels left empty) for anything that is not a decodable JPEG.
// libjpeg's errors return here instead of ending the process.
bool DecodeJpeg(const void* data, size_t size, TDecodedPixels& pixels);
