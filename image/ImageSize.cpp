#include "image/ImageSize.h"

#include <cstdint>
#include <cstring>

namespace {

uint32_t BigEndian(const unsigned char* p, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | p[i];
  return value;
}

bool Positive(uint32_t width, uint32_t height, TImageSize& result) {
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
  result.Width = static_cast<int>(width);
  result.Height = static_cast<int>(height);
  return true;
}

}  // namespace

bool ReadPNGSize(const void* data, size_t size, TImageSize& result) {
  const auto* p = static_cast<const unsigned char*>(data);
  // Signature (8), then the first chunk's length (4) and type (4).
  if (!p || size < 24 || std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) != 0 || std::memcmp(p + 12, "IHDR", 4) != 0)
    return false;
  return Positive(BigEndian(p + 16, 4), BigEndian(p + 20, 4), result);
}

bool ReadJPEGSize(const void* data, size_t size, TImageSize& result) {
  const auto* p = static_cast<const unsigned char*>(data);
  if (!p || size < 4 || p[0] != 0xFF || p[1] != 0xD8) return false;
  size_t at = 2;
  while (at + 4 <= size) {
    if (p[at] != 0xFF) return false;
    const unsigned char marker = p[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
      at += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return false;  // end or scan before any frame
    const size_t length = BigEndian(p + at + 2, 2);
    if (length < 2) return false;
    // Start of frame: every C0..CF but DHT (C4), JPG (C8) and DAC (CC).
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (length < 7 || at + 9 > size) return false;
      return Positive(BigEndian(p + at + 7, 2), BigEndian(p + at + 5, 2), result);
    }
    at += 2 + length;
  }
  return false;
}
