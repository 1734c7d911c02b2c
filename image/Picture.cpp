#include "image/Picture.h"

#include <cstring>
#include <vector>

#include "image/DibBitmap.h"
#include "image/GdiPlus.h"
#include "image/JpegDecoder.h"

namespace {

bool StartsWith(const void* data, size_t size, const char* signature, size_t length) {
  return size >= length && std::memcmp(data, signature, length) == 0;
}

bool IsPNG(const void* data, size_t size) {
  return StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8);
}

bool IsJPEG(const void* data, size_t size) { return StartsWith(data, size, "\xFF\xD8\xFF", 3); }

// Whole file through the Windows API: the C++ streams would link the
// runtime's locale machinery, a third of the program's size.
std::vector<char> ReadWholeFile(const char* path) {
  std::vector<char> bytes;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size{};
  DWORD got = 0;
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < 0x40000000) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) got = 0;
    bytes.resize(got);
  }
  CloseHandle(file);
  return bytes;
}

}  // namespace

bool TPicture::LoadFromBytes(const void* data, size_t size) {
  Reset();
  if (data && IsPNG(data, size)) {
    FPNG = TGdiPlusImage::Decode(data, size);
    if (FPNG) FKind = pkPNG;
  } else if (data && IsJPEG(data, size)) {
    TDecodedPixels pixels;
    if (DecodeJpeg(data, size, pixels)) FBitmap = TDibBitmap::FromPixels(pixels);
    if (FBitmap) FKind = pkJPEG;
  }
  Changed();
  return FKind != pkNone;
}

bool TPicture::LoadFromResource(HINSTANCE module, int id) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10));  // RT_RCDATA
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  return LoadFromBytes(data, data ? SizeofResource(module, found) : 0);
}

bool TPicture::LoadFromFile(const char* path) {
  const std::vector<char> bytes = ReadWholeFile(path);
  return LoadFromBytes(bytes.data(), bytes.size());
}

bool TPicture::LoadFromBitmap(HBITMAP bitmap) {
  Reset();
  FBitmap = TDibBitmap::FromBitmap(bitmap);
  FKind = FBitmap ? pkBitmap : pkNone;
  Changed();
  return FKind != pkNone;
}

void TPicture::Assign(const TPicture& source) {
  if (&source == this) return;
  FKind = source.FKind;
  FPNG = source.FPNG;
  FBitmap = source.FBitmap;
  Changed();
}

void TPicture::Clear() {
  Reset();
  Changed();
}

void TPicture::Reset() {
  FKind = pkNone;
  FPNG.reset();
  FBitmap.reset();
}

int TPicture::Width() const {
  if (FPNG) return FPNG->Width();
  return FBitmap ? FBitmap->Width() : 0;
}

int TPicture::Height() const {
  if (FPNG) return FPNG->Height();
  return FBitmap ? FBitmap->Height() : 0;
}

void TPicture::DrawPNGPart(HDC dc, const RECT& dest, const RECT& source) const {
  if (FPNG) FPNG->DrawPart(dc, dest, source);
}

void TPicture::StretchBitmapPart(HDC dc, const RECT& dest, const RECT& source) const {
  if (FBitmap) FBitmap->StretchTo(dc, dest, source);
}

void TPicture::DrawWhole(HDC dc, const RECT& dest) const {
  if (FBitmap) FBitmap->StretchTo(dc, dest, {0, 0, FBitmap->Width(), FBitmap->Height()});
}

void TPicture::Changed() {
  if (OnChange) OnChange();
}
