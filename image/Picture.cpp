#include "image/Picture.h"

#include <cstring>
#include <vector>

#include "image/DibBitmap.h"
#include "image/GdiPlus.h"
#include "image/ImageSize.h"

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

struct TResourceBytes {
  const void* data;
  size_t size;
};

TResourceBytes FindResourceBytes(HINSTANCE module, int id) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10));  // RT_RCDATA
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  return {data, data ? SizeofResource(module, found) : 0};
}

// The system's JPEG decoder, through GDI+ as the PNGs, drawn opaque.
std::shared_ptr<const TDibBitmap> DecodeJPEG(const void* data, size_t size) {
  const std::unique_ptr<TGdiPlusImage> image = TGdiPlusImage::Decode(data, size);
  HBITMAP bitmap = image ? image->CreateBitmap() : nullptr;
  if (!bitmap) return nullptr;
  std::shared_ptr<const TDibBitmap> result = TDibBitmap::FromBitmap(bitmap);
  DeleteObject(bitmap);
  return result;
}

// Skin pictures decoded so far: every holder of one shares it, and it is
// freed with its last holder.
struct TDecodedSkin {
  HINSTANCE module;
  int resource;
  std::weak_ptr<const TGdiPlusImage> png;
  std::weak_ptr<const TDibBitmap> bitmap;
};

std::vector<TDecodedSkin>& DecodedSkins() {
  static std::vector<TDecodedSkin> decoded;
  return decoded;
}

}  // namespace

bool TPicture::LoadFromBytes(const void* data, size_t size) {
  Reset();
  Decode(data, size);
  Changed();
  return FKind != pkNone;
}

bool TPicture::Decode(const void* data, size_t size) {
  if (data && IsPNG(data, size)) {
    FPNG = TGdiPlusImage::Decode(data, size);
    if (FPNG) FKind = pkPNG;
  } else if (data && IsJPEG(data, size)) {
    FBitmap = DecodeJPEG(data, size);
    if (FBitmap) FKind = pkJPEG;
  }
  return FKind != pkNone;
}

bool TPicture::LoadFromResource(HINSTANCE module, int id) {
  const TResourceBytes bytes = FindResourceBytes(module, id);
  return LoadFromBytes(bytes.data, bytes.size);
}

bool TPicture::LoadSkinResource(HINSTANCE module, int id) {
  Reset();
  FSkinModule = module;
  FSkinId = id;
  // The nearest of 96, 144 and 192; ties go to the larger drawing, as
  // shrinking keeps lines sharper.
  const int nearest = FPPI >= 168 ? 2 : FPPI >= 120 ? 1 : 0;
  for (int scale = nearest; scale >= 0 && FKind == pkNone; --scale) {
    const int resource = id + scale * kSkinScaleStep;
    const TResourceBytes bytes = FindResourceBytes(module, resource);
    TImageSize size;
    if (ReadPNGSize(bytes.data, bytes.size, size))
      FKind = pkPNG;
    else if (ReadJPEGSize(bytes.data, bytes.size, size))
      FKind = pkJPEG;
    else
      continue;
    FDrawnPPI = 96 + 48 * scale;
    FSkinResource = resource;
    FDrawnWidth = size.Width;
    FDrawnHeight = size.Height;
  }
  Changed();
  return FKind != pkNone;
}

void TPicture::DecodeSkin() const {
  if (!FSkinResource) return;
  const int resource = FSkinResource;
  FSkinResource = 0;
  std::vector<TDecodedSkin>& decoded = DecodedSkins();
  TDecodedSkin* entry = nullptr;
  for (TDecodedSkin& e : decoded)
    if (e.module == FSkinModule && e.resource == resource) entry = &e;
  if (entry) {
    FPNG = entry->png.lock();
    FBitmap = entry->bitmap.lock();
    if (FPNG || FBitmap) return;
  } else {
    decoded.push_back({FSkinModule, resource, {}, {}});
    entry = &decoded.back();
  }
  const TResourceBytes bytes = FindResourceBytes(FSkinModule, resource);
  if (FKind == pkPNG)
    FPNG = TGdiPlusImage::Decode(bytes.data, bytes.size);
  else
    FBitmap = DecodeJPEG(bytes.data, bytes.size);
  entry->png = FPNG;
  entry->bitmap = FBitmap;
}

void TPicture::SetPixelsPerInch(int ppi) {
  if (ppi <= 0 || ppi == FPPI) return;
  FPPI = ppi;
  if (FSkinId)
    LoadSkinResource(FSkinModule, FSkinId);
  else
    Changed();
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
  // The holder keeps its own dpi: a picture drawn for another is stretched.
  FDrawnPPI = source.FDrawnPPI;
  FSkinModule = source.FSkinModule;
  FSkinId = source.FSkinId;
  FSkinResource = source.FSkinResource;
  FDrawnWidth = source.FDrawnWidth;
  FDrawnHeight = source.FDrawnHeight;
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
  FDrawnPPI = 96;
  FSkinId = 0;
  FSkinResource = 0;
  FDrawnWidth = FDrawnHeight = 0;
  FPNG.reset();
  FBitmap.reset();
}

int TPicture::Width() const {
  const int drawn = FPNG ? FPNG->Width() : FBitmap ? FBitmap->Width() : FDrawnWidth;
  return MulDiv(drawn, FPPI, FDrawnPPI);
}

int TPicture::Height() const {
  const int drawn = FPNG ? FPNG->Height() : FBitmap ? FBitmap->Height() : FDrawnHeight;
  return MulDiv(drawn, FPPI, FDrawnPPI);
}

void TPicture::DrawPNGPart(HDC dc, const RECT& dest, const RECT& source) const {
  DecodeSkin();
  if (FPNG) FPNG->DrawPart(dc, dest, source, DrawnPerShown());
}

void TPicture::StretchBitmapPart(HDC dc, const RECT& dest, const RECT& source) const {
  DecodeSkin();
  if (!FBitmap) return;
  auto drawn = [this](LONG v) { return static_cast<LONG>(MulDiv(v, FDrawnPPI, FPPI)); };
  FBitmap->StretchTo(dc, dest, {drawn(source.left), drawn(source.top), drawn(source.right), drawn(source.bottom)});
}

void TPicture::DrawWhole(HDC dc, const RECT& dest) const {
  DecodeSkin();
  if (FBitmap) FBitmap->StretchTo(dc, dest, {0, 0, FBitmap->Width(), FBitmap->Height()});
}

void TPicture::Changed() {
  if (OnChange) OnChange();
}
