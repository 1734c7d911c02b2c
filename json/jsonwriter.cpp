#include "json/jsonwriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int TJsonWriter::WriteText(const char16_t* text) {
  int count = 0;
  while (text[count] != 0) ++count;
  return WriteChars(text, count);
}

TJsonWriterString::TJsonWriterString() : FBuffer(32, 0) {}

void TJsonWriterString::Grow(int count) {
  int grown = Capacity() * 2;
  if (grown < FUsed + count + 8) grown = FUsed + count + 8;
  FBuffer.resize(grown);
}

void TJsonWriterString::Truncate() {
  FUsed = 0;
  FBuffer[0] = 0;
}

void TJsonWriterString::TrimRight() {
  while (FUsed > 0 && (FBuffer[FUsed - 1] == u'\n' || FBuffer[FUsed - 1] == u'\r' ||
                       FBuffer[FUsed - 1] == u' '))
    --FUsed;
  FBuffer[FUsed] = 0;
}

void TJsonWriterString::RemoveLast() {
  if (FUsed == 0) return;
  --FUsed;
  FBuffer[FUsed] = 0;
}

namespace {

// The escape for c, or an empty text when c is written as it is.
std::u16string EscapeOf(char16_t c, bool full) {
  switch (c) {
    case u'"': return u"\\\"";
    case u'/': return u"\\/";
    case u'\\': return u"\\\\";
    default: break;
  }
  if (!full) return c == 0 ? u"\\u0000" : u"";
  switch (c) {
    case u'\b': return u"\\b";
    case u'\t': return u"\\t";
    case u'\n': return u"\\n";
    case u'\f': return u"\\f";
    case u'\r': return u"\\r";
    default: break;
  }
  if (c >= 32 && c < 128) return u"";
  static const char16_t kHex[] = u"0123456789abcdef";
  return {u'\\', u'u', kHex[(c >> 12) & 15], kHex[(c >> 8) & 15], kHex[(c >> 4) & 15], kHex[c & 15]};
}

// An escape is needed only for these in compact mode; the test keeps the
// common path free of string building.
bool MayNeedEscape(char16_t c, bool full) {
  if (full) return c < 32 || c >= 128 || c == u'"' || c == u'/' || c == u'\\';
  return c == 0 || c == u'"' || c == u'/' || c == u'\\';
}

}  // namespace

int WriteJsonString(TJsonWriter& writer, const char16_t* data, size_t size, bool escape) {
  int result = writer.WriteChars(u"\"", 1);
  if (result < 0) return result;
  int length = static_cast<int>(size);
  int runStart = 0;
  for (int i = 0; i < length; ++i) {
    if (!MayNeedEscape(data[i], escape)) continue;
    std::u16string escaped = EscapeOf(data[i], escape);
    if (escaped.empty()) continue;
    if (i > runStart && (result = writer.WriteChars(data + runStart, i - runStart)) < 0) return result;
    if ((result = writer.WriteChars(escaped.data(), static_cast<int>(escaped.size()))) < 0) return result;
    runStart = i + 1;
  }
  if (length > runStart && (result = writer.WriteChars(data + runStart, length - runStart)) < 0)
    return result;
  return writer.WriteChars(u"\"", 1);
}

std::u16string CurrencyToText(int64_t stored) {
  if (stored == 0) return u"0";
  // Magnitude as unsigned, so the most negative value has one too.
  uint64_t magnitude = stored < 0 ? 0 - static_cast<uint64_t>(stored) : static_cast<uint64_t>(stored);
  std::string digits = std::to_string(magnitude);
  if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
  std::string whole = digits.substr(0, digits.size() - 4);
  std::string fraction = digits.substr(digits.size() - 4);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string text = (stored < 0 ? "-" : "") + whole + "." + fraction;
  return std::u16string(text.begin(), text.end());
}

std::u16string FormatGcvt15(double value) {
  // msvcrt's spellings; to_chars would give "inf" or "nan", with no exponent.
  if (std::isinf(value)) return value < 0 ? u"-1.#INF" : u"1.#INF";
  if (std::isnan(value)) return std::signbit(value) ? u"-1.#IND" : u"1.#QNAN";
  // 15 significant digits, correctly rounded: "d.dddddddddddddde+XX".
  char sci[40];
  std::to_chars_result r = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 14);
  *r.ptr = 0;
  const char* p = sci;
  std::string text;
  if (*p == '-') text += *p++;
  std::string digits;
  for (; *p != 'e'; ++p)
    if (*p != '.') digits += *p;
  int exponent = std::atoi(p + 1);
  std::string fraction;
  if (exponent < -1 || exponent > 14) {
    // The "e" form, with a three-digit exponent as msvcrt writes it.
    fraction = digits.substr(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    char tail[16];
    std::snprintf(tail, sizeof tail, "e%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
    text += digits.substr(0, 1) + "." + fraction + tail;
  } else {
    // The "f" form; whole numbers keep their decimal point.
    std::string whole = exponent < 0 ? "0" : digits.substr(0, exponent + 1);
    fraction = exponent < 0 ? digits : digits.substr(exponent + 1);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    text += whole + "." + fraction;
  }
  return std::u16string(text.begin(), text.end());
}

std::u16string DoubleToText(double value) {
#ifdef _WIN32
  char buffer[64];
  _gcvt(value, 15, buffer);
  std::u16string text(buffer, buffer + std::strlen(buffer));
  // _gcvt follows the C runtime's locale; JSON wants the full stop.
  for (char16_t& c : text)
    if (c == u',') c = u'.';
  return text;
#else
  return FormatGcvt15(value);
#endif
}
