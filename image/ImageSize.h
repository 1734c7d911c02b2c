#pragma once
// The size of a PNG or JPEG picture read from its header, without decoding it.

#include <cstddef>

struct TImageSize {
  int Width = 0;
  int Height = 0;
};

// PNG: the IHDR chunk; JPEG: the first start-of-frame segment. False when
// the bytes are neither or the header is cut short.
bool ReadPNGSize(const void* data, size_t size, TImageSize& result);
bool ReadJPEGSize(const void* data, size_t size, TImageSize& result);
