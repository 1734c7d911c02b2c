// The peer of the quiet-run benchmark: the least that makes the updater's
// check. One WinINet GET of the document, conditional on the tag given, its
// body read whole, then the end.
//   one_get URL [TAG]
#include <windows.h>
#include <wininet.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 2) return 2;
  std::string Headers = __argc > 2 ? std::string("If-None-Match: ") + __argv[2] + "\r\n" : "";
  HINTERNET Session = InternetOpenA("one_get", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET Request = InternetOpenUrlA(Session, __argv[1], Headers.c_str(), static_cast<DWORD>(Headers.size()),
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (!Request) return 1;
  std::string Body;
  char Buffer[65536];
  DWORD Read = 0;
  while (InternetReadFile(Request, Buffer, sizeof Buffer, &Read) && Read > 0) Body.append(Buffer, Read);
  InternetCloseHandle(Request);
  InternetCloseHandle(Session);
  return 0;
}
