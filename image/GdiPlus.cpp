#include "image/GdiPlus.h"

#include <objidl.h>

#include <string>

namespace {

// The parts of the flat API that the skin needs, with their documented signatures.
struct TStartupInput {
  UINT32 GdiplusVersion;
  void* DebugEventCallback;
  BOOL SuppressBackgroundThread;
  BOOL SuppressExternalCodecs;
};

using TStatus = int;
using TReal = float;
const int UnitPixel = 2;

using TGdiplusStartup = TStatus(WINAPI*)(ULONG_PTR*, const TStartupInput*, void*);
using TGdiplusShutdown = void(WINAPI*)(ULONG_PTR);
using TGdipCreateBitmapFromStream = TStatus(WINAPI*)(IStream*, void**);
using TGdipGetImageWidth = TStatus(WINAPI*)(void*, UINT*);
using TGdipGetImageHeight = TStatus(WINAPI*)(void*, UINT*);
using TGdipDisposeImage = TStatus(WINAPI*)(void*);
using TGdipCreateHBITMAPFromBitmap = TStatus(WINAPI*)(void*, HBITMAP*, DWORD);
using TGdipCreateFromHDC = TStatus(WINAPI*)(HDC, void**);
using TGdipDeleteGraphics = TStatus(WINAPI*)(void*);
using TGdipDrawImageRectRect = TStatus(WINAPI*)(void*, void*, TReal, TReal, TReal, TReal, TReal,
                                                TReal, TReal, TReal, int, void*, void*, void*);

class TGdiPlusLibrary {
 public:
  TGdiplusShutdown Shutdown = nullptr;
  TGdipCreateBitmapFromStream CreateBitmapFromStream = nullptr;
  TGdipGetImageWidth GetImageWidth = nullptr;
  TGdipGetImageHeight GetImageHeight = nullptr;
  TGdipDisposeImage DisposeImage = nullptr;
  TGdipCreateHBITMAPFromBitmap CreateHBITMAPFromBitmap = nullptr;
  TGdipCreateFromHDC CreateFromHDC = nullptr;
  TGdipDeleteGraphics DeleteGraphics = nullptr;
  TGdipDrawImageRectRect DrawImageRectRect = nullptr;

  static TGdiPlusLibrary& Instance() {
    static TGdiPlusLibrary library;
    return library;
  }

  bool Started() const { return FToken != 0; }

  ~TGdiPlusLibrary() {
    if (FToken) Shutdown(FToken);
    FToken = 0;  // images freed later (static pictures) must not call in any more
  }

 private:
  TGdiPlusLibrary() {
    // From System32 by its full path: a gdiplus.dll beside the program or in
    // the current folder is never loaded.
    char System[MAX_PATH] = "";
    UINT Length = GetSystemDirectoryA(System, MAX_PATH);
    if (Length == 0 || Length >= MAX_PATH) return;
    FModule = LoadLibraryA((std::string(System, Length) + "\\gdiplus.dll").c_str());
    if (!FModule) return;
    auto startup = Load<TGdiplusStartup>("GdiplusStartup");
    if (!startup || !LoadAll()) return;
    TStartupInput input{1, nullptr, FALSE, FALSE};
    ULONG_PTR token = 0;
    if (startup(&token, &input, nullptr) == 0) FToken = token;
  }

  bool LoadAll() {
    Shutdown = Load<TGdiplusShutdown>("GdiplusShutdown");
    CreateBitmapFromStream = Load<TGdipCreateBitmapFromStream>("GdipCreateBitmapFromStream");
    GetImageWidth = Load<TGdipGetImageWidth>("GdipGetImageWidth");
    GetImageHeight = Load<TGdipGetImageHeight>("GdipGetImageHeight");
    DisposeImage = Load<TGdipDisposeImage>("GdipDisposeImage");
    CreateHBITMAPFromBitmap = Load<TGdipCreateHBITMAPFromBitmap>("GdipCreateHBITMAPFromBitmap");
    CreateFromHDC = Load<TGdipCreateFromHDC>("GdipCreateFromHDC");
    DeleteGraphics = Load<TGdipDeleteGraphics>("GdipDeleteGraphics");
    DrawImageRectRect = Load<TGdipDrawImageRectRect>("GdipDrawImageRectRect");
    return Shutdown && CreateBitmapFromStream && GetImageWidth && GetImageHeight &&
           DisposeImage && CreateHBITMAPFromBitmap && CreateFromHDC && DeleteGraphics && DrawImageRectRect;
  }

  template <typename F>
  F Load(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(FModule, name)));
  }

  HMODULE FModule = nullptr;
  ULONG_PTR FToken = 0;
};

// A stream over a private copy of the bytes, released with the stream.
IStream* StreamOnCopy(const void* data, size_t size) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!memory) return nullptr;
  void* target = GlobalLock(memory);
  if (!target) {
    GlobalFree(memory);
    return nullptr;
  }
  CopyMemory(target, data, size);
  GlobalUnlock(memory);
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    GlobalFree(memory);
    return nullptr;
  }
  return stream;
}

}  // namespace

bool GdiPlusAvailable() { return TGdiPlusLibrary::Instance().Started(); }

TGdiPlusImage::TGdiPlusImage(void* image, IStream* stream, int width, int height)
    : FImage(image), FStream(stream), FWidth(width), FHeight(height) {}

TGdiPlusImage::~TGdiPlusImage() {
  TGdiPlusLibrary& gdip = TGdiPlusLibrary::Instance();
  if (gdip.Started()) gdip.DisposeImage(FImage);
  FStream->Release();
}

std::unique_ptr<TGdiPlusImage> TGdiPlusImage::Decode(const void* data, size_t size) {
  TGdiPlusLibrary& gdip = TGdiPlusLibrary::Instance();
  if (!gdip.Started() || !data || size == 0) return nullptr;
  IStream* stream = StreamOnCopy(data, size);
  if (!stream) return nullptr;
  void* image = nullptr;
  if (gdip.CreateBitmapFromStream(stream, &image) != 0 || !image) {
    stream->Release();
    return nullptr;
  }
  UINT width = 0, height = 0;
  gdip.GetImageWidth(image, &width);
  gdip.GetImageHeight(image, &height);
  return std::unique_ptr<TGdiPlusImage>(
      new TGdiPlusImage(image, stream, static_cast<int>(width), static_cast<int>(height)));
}

void TGdiPlusImage::DrawPart(HDC dc, const RECT& dest, const RECT& source, float sourceScale) const {
  TGdiPlusLibrary& gdip = TGdiPlusLibrary::Instance();
  if (!gdip.Started()) return;
  void* graphics = nullptr;
  if (gdip.CreateFromHDC(dc, &graphics) != 0 || !graphics) return;
  gdip.DrawImageRectRect(graphics, FImage, TReal(dest.left), TReal(dest.top),
                         TReal(dest.right - dest.left), TReal(dest.bottom - dest.top),
                         TReal(source.left) * sourceScale, TReal(source.top) * sourceScale,
                         TReal(source.right - source.left) * sourceScale,
                         TReal(source.bottom - source.top) * sourceScale, UnitPixel, nullptr, nullptr, nullptr);
  gdip.DeleteGraphics(graphics);
}

HBITMAP TGdiPlusImage::CreateBitmap() const {
  TGdiPlusLibrary& gdip = TGdiPlusLibrary::Instance();
  HBITMAP bitmap = nullptr;
  if (!gdip.Started() || gdip.CreateHBITMAPFromBitmap(FImage, &bitmap, 0) != 0) return nullptr;
  return bitmap;
}
