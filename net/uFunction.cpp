#include "net/uFunction.h"

#include <windows.h>
#include <msxml2.h>
#include <shlobj.h>

#include <cstdlib>
#include <vector>

#include "app/uFunction.h"

namespace {

const char* const ETagSection = "JSON_ETag";
// A longer update document is no answer; release notes of a megabyte fit.
const size_t MaxDocumentSize = 4 * 1024 * 1024;
const CLSID XMLHTTPRequestClass = {0xED8C108E, 0x4349, 0x11D2, {0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8}};
const IID XMLHTTPRequestInterface = {0xED8C108D, 0x4349, 0x11D2, {0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8}};

std::string CacheFolder() { return GetUserDataDir() + "Down\\"; }

void TouchFile(const std::string& FileName) {
  HANDLE File = CreateFileA(FileName.c_str(), FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (File == INVALID_HANDLE_VALUE) return;
  FILETIME Now;
  GetSystemTimeAsFileTime(&Now);
  SetFileTime(File, nullptr, nullptr, &Now);
  CloseHandle(File);
}

std::wstring Wide(const std::string& Text) {
  int Length = MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::wstring Result(Length, L'\0');
  MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), &Result[0], Length);
  return Result;
}

std::string Narrow(const wchar_t* Text, int Length) {
  int Size = WideCharToMultiByte(CP_ACP, 0, Text, Length, nullptr, 0, nullptr, nullptr);
  std::string Result(Size, '\0');
  WideCharToMultiByte(CP_ACP, 0, Text, Length, &Result[0], Size, nullptr, nullptr);
  return Result;
}

// A BSTR that frees itself.
class TBStr {
 public:
  explicit TBStr(const std::string& Text) : FValue(SysAllocString(Wide(Text).c_str())) {}
  TBStr() = default;
  ~TBStr() { SysFreeString(FValue); }
  TBStr(const TBStr&) = delete;
  TBStr& operator=(const TBStr&) = delete;
  BSTR* operator&() { return &FValue; }
  operator BSTR() const { return FValue; }
  std::string Text() const { return FValue ? Narrow(FValue, SysStringLen(FValue)) : ""; }

 private:
  BSTR FValue = nullptr;
};

bool IsWeakTag(const std::string& Tag) {
  return Tag.size() >= 2 && (Tag[0] == 'W' || Tag[0] == 'w') && Tag[1] == '/';
}

// Restores the quotes that reading took from a strong tag.
std::string QuoteTag(const std::string& Tag) {
  if (Tag.size() <= 2 || IsWeakTag(Tag)) return Tag;
  std::string Result = "\"";
  for (char C : Tag) {
    Result += C;
    if (C == '"') Result += '"';
  }
  return Result + "\"";
}

bool IsBlank(const std::string& Text) {
  return Text.find_first_not_of(" \t\r\n") == std::string::npos;
}

// A header value with a line break would add lines to an INI file.
bool HasLineBreak(const std::string& Text) { return Text.find_first_of("\r\n") != std::string::npos; }

// The whole response body, from its start.
std::optional<std::string> ReadResponseStream(IXMLHTTPRequest* Request) {
  VARIANT Body;
  VariantInit(&Body);
  if (FAILED(Request->get_responseStream(&Body))) return std::nullopt;
  std::optional<std::string> Result;
  IStream* Stream = nullptr;
  if ((Body.vt == VT_UNKNOWN || Body.vt == VT_STREAM) && Body.punkVal &&
      SUCCEEDED(Body.punkVal->QueryInterface(IID_IStream, reinterpret_cast<void**>(&Stream)))) {
    LARGE_INTEGER Start{};
    Stream->Seek(Start, STREAM_SEEK_SET, nullptr);
    try {
      Result.emplace();
      char Buffer[4096];
      ULONG Read = 0;
      while (Result && SUCCEEDED(Stream->Read(Buffer, sizeof(Buffer), &Read)) && Read > 0) {
        Result->append(Buffer, Read);
        if (Result->size() > MaxDocumentSize) Result.reset();
      }
    } catch (...) {
      Result.reset();  // out of memory: no body, but nothing held
    }
    Stream->Release();
  }
  VariantClear(&Body);
  return Result;
}

}  // namespace

bool FileExists(const std::string& Name) {
  DWORD Attr = GetFileAttributesA(Name.c_str());
  return Attr != INVALID_FILE_ATTRIBUTES && !(Attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceFolder(const std::string& Folder) {
  DWORD Attr = GetFileAttributesA(Folder.c_str());
  if (Attr != INVALID_FILE_ATTRIBUTES && (Attr & FILE_ATTRIBUTE_DIRECTORY)) return true;
  int Error = SHCreateDirectoryExA(nullptr, Folder.c_str(), nullptr);
  return Error == ERROR_SUCCESS || Error == ERROR_ALREADY_EXISTS;
}

#ifdef ZR_TEST_SEAMS
unsigned TestSeamMs(const char* Name) {
  char Value[16] = "";
  GetEnvironmentVariableA(Name, Value, sizeof(Value));
  return static_cast<unsigned>(strtoul(Value, nullptr, 10));
}
#endif

std::string UrlFileName(const std::string& Url) {
  size_t Delimiter = Url.find_last_of("/\\:");
  std::string Name = Delimiter == std::string::npos ? Url : Url.substr(Delimiter + 1);
  return Name.substr(0, Name.find('?'));
}

std::string ReadFileText(const std::string& FileName) {
  if (!FileExists(FileName)) return "";
  HANDLE File = CreateFileA(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (File == INVALID_HANDLE_VALUE) return "";
  std::string Result;
  bool Ok = true;
  try {
    char Buffer[65536];
    DWORD Read = 0;
    while ((Ok = ReadFile(File, Buffer, sizeof(Buffer), &Read, nullptr)) && Read > 0)
      Result.append(Buffer, Read);
  } catch (...) {
    Ok = false;  // out of memory
  }
  CloseHandle(File);
  return Ok ? Result : "";
}

bool SaveFileSafely(const std::string& FileName, const std::string& Bytes) {
  std::string Temp = FileName + ".tmp";
  HANDLE File = CreateFileA(Temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (File == INVALID_HANDLE_VALUE) return false;
  DWORD Written = 0;
  bool Ok = (Bytes.empty() ||
             (WriteFile(File, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Written, nullptr) &&
              Written == Bytes.size())) &&
            FlushFileBuffers(File);
  CloseHandle(File);
  if (Ok && MoveFileExA(Temp.c_str(), FileName.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileA(Temp.c_str());
  return false;
}

std::string ReadIniString(const std::string& FileName, const std::string& Section,
                          const std::string& Key, const std::string& Default) {
  if (!FileExists(FileName)) return Default;
  std::vector<char> Buffer(2048);
  GetPrivateProfileStringA(Section.c_str(), Key.c_str(), Default.c_str(), Buffer.data(),
                           static_cast<DWORD>(Buffer.size()), FileName.c_str());
  return Buffer.data();
}

bool WriteIniString(const std::string& FileName, const std::string& Section,
                    const std::string& Key, const std::string& Value) {
  return WritePrivateProfileStringA(Section.c_str(), Key.c_str(), Value.c_str(),
                                    FileName.c_str()) != FALSE;
}

namespace {

// A body of a 200 answer and the tag it came with; the tag is absent when
// the server sent none or one that cannot be stored.
struct TFetched {
  std::string Body;
  std::optional<std::string> Tag;
};

std::string DefaultCacheFile() { return CacheFolder() + "ETagFile.dat"; }

// The conditional GET with the tag stored under Key (or the override); it
// stores nothing, so that a caller can keep the tag of a copy it failed to
// replace.
std::optional<TFetched> FetchConditional(const std::string& Url,
                                         const std::optional<std::string>& TagOverride,
                                         const std::string& Key, const std::string& IniFile) {
  if (!ForceFolder(CacheFolder())) return std::nullopt;
  std::string Tag = QuoteTag(TagOverride ? *TagOverride : ReadIniString(IniFile, ETagSection, Key, ""));
  std::optional<TFetched> Result;
  IXMLHTTPRequest* Request = nullptr;
  try {
    if (FAILED(CoCreateInstance(XMLHTTPRequestClass, nullptr, CLSCTX_INPROC_SERVER,
                                XMLHTTPRequestInterface, reinterpret_cast<void**>(&Request))))
      return std::nullopt;
    VARIANT Async, Empty;
    VariantInit(&Async);
    Async.vt = VT_BOOL;
    Async.boolVal = VARIANT_FALSE;
    VariantInit(&Empty);
    TBStr Method("GET"), Address(Url);
    if (SUCCEEDED(Request->open(Method, Address, Async, Empty, Empty))) {
      if (!IsBlank(Tag) && Tag != "0") {
        TBStr Name("If-None-Match"), Value(Tag);
        Request->setRequestHeader(Name, Value);
      }
      long Status = 0;
      if (SUCCEEDED(Request->send(Empty)) && SUCCEEDED(Request->get_status(&Status)) &&
          Status == 200) {
        std::optional<std::string> Body = ReadResponseStream(Request);
        if (Body) {
          Result = TFetched{std::move(*Body), std::nullopt};
          TBStr Name("ETag"), Value;
          if (SUCCEEDED(Request->getResponseHeader(Name, &Value)) && !HasLineBreak(Value.Text()))
            Result->Tag = Value.Text();
        }
      }
    }
  } catch (...) {
    // The body, once copied, is still the answer.
  }
  if (Request) Request->Release();
  return Result;
}

}  // namespace

std::optional<std::string> GetUrlStream(const std::string& Url,
                                        const std::optional<std::string>& TagOverride,
                                        const std::string& CacheKey,
                                        const std::string& CacheFile) {
  std::string Key = CacheKey.empty() ? UrlFileName(Url) : CacheKey;
  std::string IniFile = CacheFile.empty() ? DefaultCacheFile() : CacheFile;
  std::optional<TFetched> Fetched = FetchConditional(Url, TagOverride, Key, IniFile);
  if (!Fetched) return std::nullopt;
  if (Fetched->Tag) WriteIniString(IniFile, ETagSection, Key, *Fetched->Tag);
  return std::move(Fetched->Body);
}

std::string GetUrlFile(const std::string& Url, const std::string& LocalPath,
                       const std::function<bool(const std::string&)>& Accept) {
  try {
    std::string Path = LocalPath.empty() ? CacheFolder() + UrlFileName(Url) : LocalPath;
    if (!ForceFolder(FolderOf(Path))) return "";
    bool Existed = FileExists(Path);
    // "0" sends no tag: a first fetch is never conditional.
    std::optional<TFetched> Fetched =
        FetchConditional(Url, Existed ? std::optional<std::string>() : std::string("0"), Path,
                         DefaultCacheFile());
    // The new tag is stored only with the copy it belongs to: beside a copy
    // that could not be replaced, or was cut by a full disk, it would draw
    // 304s for a body never saved.
    if (Fetched && (!Accept || Accept(Fetched->Body))) {
      if (SaveFileSafely(Path, Fetched->Body) && Fetched->Tag)
        WriteIniString(DefaultCacheFile(), ETagSection, Path, *Fetched->Tag);
    } else if (Existed) {
      TouchFile(Path);
    }
    return FileExists(Path) ? Path : "";
  } catch (...) {
    return "";
  }
}
