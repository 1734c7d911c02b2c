#include "image/Picture.h"

#include <cstring>
#include <fstream>
#include <iterator>
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
  std::ifstream file(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
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
