// UTF-8 to UTF-16 for test inputs. Bytes that do not form UTF-8 are taken
// one unit each, so any byte string gives some text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline std::u16string Utf8To16(const uint8_t* data, size_t size) {
  std::u16string text;
  text.reserve(size);
  for (size_t i = 0; i < size;) {
    uint8_t b = data[i];
    int extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (b >= 0x80 && b < 0xC0) extra = 0;
    bool ok = extra > 0;
    uint32_t code = extra == 3 ? b & 7 : extra == 2 ? b & 15 : b & 31;
    for (int k = 1; ok && k <= extra; ++k) {
      if (i + k >= size || (data[i + k] & 0xC0) != 0x80) ok = false;
      else code = code << 6 | (data[i + k] & 0x3F);
    }
    if (!ok) {
      text += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      text += static_cast<char16_t>(0xD800 + (code >> 10));
      text += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      text += static_cast<char16_t>(code);
    }
    i += extra + 1;
  }
  return text;
}

inline std::u16string Utf8To16(const std::string& text) {
  return Utf8To16(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}
