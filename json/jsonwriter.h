// Writers of JSON text: the abstract target and the growing UTF-16 buffer,
// plus the text forms of strings, currency values and doubles.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class TJsonWriter {
public:
  virtual ~TJsonWriter() = default;
  // Returns the count written; negative means the target failed.
  virtual int WriteChars(const char16_t* chars, int count) = 0;
  virtual int WriteText(const char16_t* text);
  virtual void Truncate() = 0;
};

// Growing, always zero-terminated UTF-16 buffer. The parser collects its
// tokens in one as well.
class TJsonWriterString : public TJsonWriter {
public:
  TJsonWriterString();
  // Inline: the parser appends token characters through it.
  int WriteChars(const char16_t* chars, int count) override {
    if (count <= 0) return count;
    if (count >= Capacity() - FUsed) Grow(count);
    std::memcpy(FBuffer.data() + FUsed, chars, count * sizeof(char16_t));
    FUsed += count;
    FBuffer[FUsed] = 0;
    return count;
  }
  void Truncate() override;

  int Capacity() const { return static_cast<int>(FBuffer.size()); }
  int Length() const { return FUsed; }
  const char16_t* Data() const { return FBuffer.data(); }
  std::u16string Text() const { return std::u16string(FBuffer.data(), FUsed); }
  // Drops trailing line feeds, carriage returns and spaces.
  void TrimRight();
  void RemoveLast();

private:
  void Grow(int count);

  std::vector<char16_t> FBuffer;  // size() is the capacity
  int FUsed = 0;
};

// Writes a quoted string. Compact mode escapes only U+0000, '"', '/' and '\'.
int WriteJsonString(TJsonWriter& writer, const char16_t* text, size_t length, bool escape);
inline int WriteJsonString(TJsonWriter& writer, const std::u16string& text, bool escape) {
  return WriteJsonString(writer, text.data(), text.size(), escape);
}

// Text of a currency value from its stored form (the value times 10,000).
std::u16string CurrencyToText(int64_t stored);

// The text _gcvt(value, 15, buf) of msvcrt.dll gives.
std::u16string DoubleToText(double value);
// The same text produced without the runtime library, for hosts without it.
std::u16string FormatGcvt15(double value);
