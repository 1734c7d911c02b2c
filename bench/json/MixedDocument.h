// A generated JSON document of mixed objects, arrays, Chinese strings and
// numbers, in UTF-8. The same seed gives the same text.
#pragma once

#include <cstdint>
#include <random>
#include <string>

inline void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

inline std::string MakeMixedDocument(size_t targetBytes, uint32_t seed = 1) {
  std::mt19937 random(seed);
  auto below = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  auto chinese = [&](std::string& out, int count) {
    for (int i = 0; i < count; ++i) AppendUtf8(out, 0x4E00 + below(0x51A5));
  };
  std::string doc = "[";
  for (int id = 0; doc.size() < targetBytes; ++id) {
    if (id) doc += ",";
    doc += "{\"id\":" + std::to_string(id) + ",\"name\":\"";
    chinese(doc, 2 + below(6));
    doc += " " + std::to_string(below(1000)) + "\",\"price\":" + std::to_string(below(100000)) + "." +
           std::to_string(10 + below(90)) + ",\"ratio\":" + std::to_string(below(1000)) + "." +
           std::to_string(100000 + below(900000)) + "e-" + std::to_string(below(9)) +
           ",\"count\":" + std::to_string(static_cast<int64_t>(random()) - 2147483648LL) + ",\"tags\":[";
    for (uint32_t t = 0, n = below(5); t < n; ++t) {
      doc += t ? ",\"" : "\"";
      chinese(doc, 1 + below(3));
      doc += "tag\\n\\u00e9\"";
    }
    doc += "],\"flags\":[true,false,null],\"nested\":{\"level\":{\"deep\":[";
    for (uint32_t k = 0, n = 1 + below(6); k < n; ++k) doc += (k ? "," : "") + std::to_string(below(1 << 20));
    doc += "],\"note\":\"plain ascii text / with a slash\"}}}";
  }
  return doc + "]";
}
