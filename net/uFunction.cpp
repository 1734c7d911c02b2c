#include "net/uFunction.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "app/uFunction.h"
#include "framework/uLog.h"
#include "net/uHttpDownProgeress.h"

namespace {

const char* const ETagSection = "JSON_ETag";
// The whole document request, connection included, is over this long after
// it began: a server that trickles its answer cannot hold a run.
const DWORD FetchTimeLimit = 10000;

DWORD FetchLimitMs() { return SeamMsOr("ZR_TEST_FETCH_LIMIT_MS", FetchTimeLimit); }

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

// The URL from the first '/' after its host on.
std::string UrlPath(const std::string& Url) {
  size_t Host = Url.find("//");
  size_t Slash = Url.find('/', Host == std::string::npos ? 0 : Host + 2);
  return Slash == std::string::npos ? "/" : Url.substr(Slash);
}

unsigned long FileSize(const std::string& FileName) {
  WIN32_FILE_ATTRIBUTE_DATA Data;
  return GetFileAttributesExA(FileName.c_str(), GetFileExInfoStandard, &Data) ? Data.nFileSizeLow : 0;
}

// A header value with a line break would add lines to an INI file.
bool HasLineBreak(const std::string& Text) { return Text.find_first_of("\r\n") != std::string::npos; }

}  // namespace

bool FileExists(const std::string& Name) {
  DWORD Attr = GetFileAttributesA(Name.c_str());
  return Attr != INVALID_FILE_ATTRIBUTES && !(Attr & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

bool IsFolder(const std::string& Path) {
  DWORD Attr = GetFileAttributesA(Path.c_str());
  return Attr != INVALID_FILE_ATTRIBUTES && (Attr & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// The parent first, then the folder. Made here rather than by the shell,
// whose library (and COM with it) every run would load for this.
bool ForceFolder(const std::string& Folder) {
  if (IsFolder(Folder)) return true;
  size_t Slash = Folder.find_last_of("\\/", Folder.size() - 2);
  if (Slash != std::string::npos && Slash > 0) ForceFolder(Folder.substr(0, Slash));
  CreateDirectoryA(Folder.c_str(), nullptr);
  return IsFolder(Folder);
}

#ifdef ZR_TEST_SEAMS
unsigned TestSeamMs(const char* Name) {
  char Value[16] = "";
  GetEnvironmentVariableA(Name, Value, sizeof(Value));
  return static_cast<unsigned>(strtoul(Value, nullptr, 10));
}
#endif

unsigned SeamMsOr(const char* Seam, unsigned Default) {
#ifdef ZR_TEST_SEAMS
  if (unsigned Ms = TestSeamMs(Seam)) return Ms;
#else
  (void)Seam;
#endif
  return Default;
}

std::string UrlFileName(const std::string& Url) {
  size_t Delimiter = Url.find_last_of("/\\:");
  std::string Name = Delimiter == std::string::npos ? Url : Url.substr(Delimiter + 1);
  return Name.substr(0, Name.find('?'));
}

std::string ReadFileText(const std::string& FileName, size_t MaxSize) {
  if (!FileExists(FileName)) return "";
  HANDLE File = CreateFileA(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (File == INVALID_HANDLE_VALUE) return "";
  std::string Result;
  bool Ok = true;
  try {
    char Buffer[65536];
    DWORD Read = 0;
    // Reading stops one byte past the limit: a file that grows meanwhile is
    // still refused, and no more than that is ever held.
    for (;;) {
      size_t Room = MaxSize - Result.size();
      DWORD Want = Room < sizeof(Buffer) ? static_cast<DWORD>(Room + 1) : sizeof(Buffer);
      if (!(Ok = ReadFile(File, Buffer, Want, &Read, nullptr)) || Read == 0) break;
      Result.append(Buffer, Read);
      if (Result.size() > MaxSize) {
        Ok = false;
        break;
      }
    }
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

class TInternetHandle {
 public:
  explicit TInternetHandle(HINTERNET Handle) : FHandle(Handle) {}
  ~TInternetHandle() {
    if (FHandle) InternetCloseHandle(FHandle);
  }
  TInternetHandle(const TInternetHandle&) = delete;
  TInternetHandle& operator=(const TInternetHandle&) = delete;
  operator HINTERNET() const { return FHandle; }

 private:
  HINTERNET FHandle;
};

// A response header as text; empty when absent.
std::string QueryText(HINTERNET Request, DWORD Query) {
  char Buffer[2048];
  DWORD Length = sizeof(Buffer);
  DWORD Index = 0;
  if (!HttpQueryInfoA(Request, Query, Buffer, &Length, &Index)) return "";
  return std::string(Buffer, Length);
}

// The body as it arrives, up to the document limit; none when it is longer,
// the connection fails or the time is up.
std::optional<std::string> ReadBody(HINTERNET Request, DWORD Start, DWORD Limit) {
  std::string Body;
  for (;;) {
    DWORD Elapsed = GetTickCount() - Start;
    if (Elapsed >= Limit) return std::nullopt;
    LimitWaits(Request, Limit - Elapsed);
    DWORD Available = 0;
    if (!InternetQueryDataAvailable(Request, &Available, 0, 0)) return std::nullopt;
    if (Available == 0) return Body;
    size_t Old = Body.size();
    DWORD Want = static_cast<DWORD>(std::min<size_t>({Available, 65536, MaxDocumentSize + 1 - Old}));
    Body.resize(Old + Want);
    DWORD Read = 0;
    if (!InternetReadFile(Request, &Body[Old], Want, &Read)) return std::nullopt;
    Body.resize(Old + Read);
    if (Read == 0) return Body;
    if (Body.size() > MaxDocumentSize) return std::nullopt;
  }
}

// The conditional GET with the tag stored under Key (or the override); it
// stores nothing, so that a caller can keep the tag of a copy it failed to
// replace. The lightest platform path: one WinINet request, no COM.
std::optional<TFetched> FetchConditional(const std::string& Url,
                                         const std::optional<std::string>& TagOverride,
                                         const std::string& Key, const std::string& IniFile,
                                         TFetchAnswer& Answer) {
  if (!ForceFolder(CacheFolder())) return std::nullopt;
  std::string Tag = QuoteTag(TagOverride ? *TagOverride : ReadIniString(IniFile, ETagSection, Key, ""));
  std::string Headers = "Accept: */*\r\n";
  if (!IsBlank(Tag) && Tag != "0") Headers += "If-None-Match: " + Tag + "\r\n";
  DWORD Start = GetTickCount();
  DWORD Limit = FetchLimitMs();
  URL_COMPONENTSA Parts{};
  Parts.dwStructSize = sizeof(Parts);
  char Host[INTERNET_MAX_HOST_NAME_LENGTH] = "", Path[INTERNET_MAX_URL_LENGTH] = "", Query[INTERNET_MAX_URL_LENGTH] = "";
  Parts.lpszHostName = Host;
  Parts.dwHostNameLength = sizeof(Host);
  Parts.lpszUrlPath = Path;
  Parts.dwUrlPathLength = sizeof(Path);
  Parts.lpszExtraInfo = Query;
  Parts.dwExtraInfoLength = sizeof(Query);
  if (!InternetCrackUrlA(Url.c_str(), 0, 0, &Parts)) return std::nullopt;
  TInternetHandle Session(InternetOpenA("ZeRunUpdate", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  TInternetHandle Connection(
      Session ? InternetConnectA(Session, Host, Parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0) : nullptr);
  if (!Connection) return std::nullopt;
  // From the server, never from the platform's cache, and nothing written
  // there. A certificate that does not verify fails the request: no flag
  // here may ever ignore one.
  DWORD Flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                INTERNET_FLAG_NO_UI | (Parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
  TInternetHandle Request(
      HttpOpenRequestA(Connection, "GET", (std::string(Path) + Query).c_str(), nullptr, nullptr, nullptr, Flags, 0));
  if (!Request) return std::nullopt;
  // The connection and the answer's head take at most half each; the body
  // gets what is left.
  LimitWaits(Request, Limit / 2);
  if (!HttpSendRequestA(Request, Headers.c_str(), static_cast<DWORD>(Headers.size()), nullptr, 0)) return std::nullopt;
  if (!AnsweredAsAsked(Request, Url)) return std::nullopt;
  DWORD Status = 0;
  DWORD Length = sizeof(Status);
  DWORD Index = 0;
  if (!HttpQueryInfoA(Request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &Status, &Length, &Index))
    return std::nullopt;
  Answer.Status = static_cast<int>(Status);
  Answer.RetryAfter = QueryText(Request, HTTP_QUERY_RETRY_AFTER);
  if (Status != 200) return std::nullopt;
  // A length past the limit is refused before a byte of it is read.
  std::string Announced = QueryText(Request, HTTP_QUERY_CONTENT_LENGTH);
  if (!Announced.empty() && strtoull(Announced.c_str(), nullptr, 10) > MaxDocumentSize) return std::nullopt;
  std::optional<std::string> Body = ReadBody(Request, Start, Limit);
  if (!Body) return std::nullopt;
  TFetched Result{std::move(*Body), std::nullopt};
  std::string ETag = QueryText(Request, HTTP_QUERY_ETAG);
  if (!ETag.empty() && !HasLineBreak(ETag)) Result.Tag = ETag;
  return Result;
}

}  // namespace

std::optional<std::string> GetUrlStream(const std::string& Url,
                                        const std::optional<std::string>& TagOverride,
                                        const std::string& CacheKey,
                                        const std::string& CacheFile, TFetchAnswer* Answer) {
  TFetchAnswer Ignored;
  TFetchAnswer& Heard = Answer ? *Answer : Ignored;
  Heard = TFetchAnswer();
  std::optional<TFetched> Fetched;
  try {
    std::string Key = CacheKey.empty() ? UrlFileName(Url) : CacheKey;
    std::string IniFile = CacheFile.empty() ? DefaultCacheFile() : CacheFile;
    Fetched = FetchConditional(Url, TagOverride, Key, IniFile, Heard);
    if (Fetched && Fetched->Tag) WriteIniString(IniFile, ETagSection, Key, *Fetched->Tag);
  } catch (...) {
    // Out of memory: the body, once whole, is still the answer.
  }
  if (!Fetched) return std::nullopt;
  return std::move(Fetched->Body);
}

std::string GetUrlFile(const std::string& Url, const std::string& LocalPath,
                       const std::function<bool(const std::string&)>& Accept, TFetchAnswer* Answer) {
  TFetchAnswer Ignored;
  TFetchAnswer& Heard = Answer ? *Answer : Ignored;
  Heard = TFetchAnswer();
  try {
    std::string Path = LocalPath.empty() ? CacheFolder() + UrlFileName(Url) : LocalPath;
    if (!ForceFolder(FolderOf(Path))) return "";
    bool Existed = FileExists(Path);
    // "0" sends no tag: a first fetch is never conditional.
    std::optional<TFetched> Fetched =
        FetchConditional(Url, Existed ? std::optional<std::string>() : std::string("0"), Path,
                         DefaultCacheFile(), Heard);
    // The new tag is stored only with the copy it belongs to: beside a copy
    // that could not be replaced, or was cut by a full disk, it would draw
    // 304s for a body never saved.
    const char* Outcome = Fetched ? "refused" : "none";
    if (Fetched && (!Accept || Accept(Fetched->Body))) {
      Outcome = "not saved";
      if (SaveFileSafely(Path, Fetched->Body)) {
        Outcome = "saved";
        if (Fetched->Tag) WriteIniString(DefaultCacheFile(), ETagSection, Path, *Fetched->Tag);
      }
    } else if (Existed) {
      TouchFile(Path);
    }
    bool HasCopy = FileExists(Path);
    Log("document %s: status %d, body %s (%lu bytes), %s copy of %lu bytes", UrlPath(Url).c_str(), Heard.Status,
        Outcome, Fetched ? static_cast<unsigned long>(Fetched->Body.size()) : 0UL,
        !HasCopy ? "no" : Outcome == std::string("saved") ? "new" : "kept", HasCopy ? FileSize(Path) : 0UL);
    return HasCopy ? Path : "";
  } catch (...) {
    return "";
  }
}
