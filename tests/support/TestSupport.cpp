#include "tests/support/TestSupport.h"

#include <sddl.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/PngWriter.h"

namespace zrtest {
namespace {

std::string EnvText(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// One plain request to the test server; returns the status, 0 on failure.
int ServerRequest(const char* verb, const std::string& path, const std::string& body, std::string* reply) {
  int port = ServerPort();
  if (!port) return 0;
  int status = 0;
  HINTERNET net = InternetOpenA("zrtest", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET conn = net ? InternetConnectA(net, "127.0.0.1", static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, 0)
                       : nullptr;
  HINTERNET req = conn ? HttpOpenRequestA(conn, verb, path.c_str(), nullptr, nullptr, nullptr,
                                          INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                       : nullptr;
  if (req && HttpSendRequestA(req, nullptr, 0, const_cast<char*>(body.data()), static_cast<DWORD>(body.size()))) {
    DWORD code = 0, len = sizeof code;
    if (HttpQueryInfoA(req, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &len, nullptr))
      status = static_cast<int>(code);
    char buf[8192];
    DWORD got = 0;
    while (InternetReadFile(req, buf, sizeof buf, &got) && got) {
      if (reply) reply->append(buf, got);
    }
  }
  if (req) InternetCloseHandle(req);
  if (conn) InternetCloseHandle(conn);
  if (net) InternetCloseHandle(net);
  return status;
}

std::string UrlEncode(const std::string& s) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string WithSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  return dir;
}

void SendMouse(DWORD flags) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  SendInput(1, &in, sizeof in);
  PumpMessages(30);
}

}  // namespace

int ServerPort() { return std::atoi(EnvText("ZR_TEST_PORT").c_str()); }

std::string ServerUrl(const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(ServerPort()) + path;
}

bool ServerPut(const std::string& path, const std::string& bytes) {
  return ServerRequest("PUT", "/_ctl/file?path=" + UrlEncode(path), bytes, nullptr) == 200;
}

bool ServerFault(const std::string& path, const std::string& faultJson) {
  return ServerRequest("POST", "/_ctl/fault?path=" + UrlEncode(path), faultJson, nullptr) == 200;
}

bool ServerReset() { return ServerRequest("POST", "/_ctl/reset", "", nullptr) == 200; }

std::vector<std::string> ServerLog() {
  std::string text;
  std::vector<std::string> lines;
  if (ServerRequest("GET", "/_ctl/log", "", &text) != 200) return lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string LogField(const std::string& entry, const std::string& name) {
  std::string scope = entry;
  std::string key = name;
  if (name.rfind("headers.", 0) == 0) {
    size_t h = entry.find("\"headers\": {");
    if (h == std::string::npos) return "";
    scope = entry.substr(h, entry.find('}', h) - h);
    key = name.substr(8);
  }
  // Header names are matched without regard to case, as HTTP does.
  std::string lowerScope = scope, needle = "\"" + key + "\": \"";
  for (auto& c : lowerScope) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  for (auto& c : needle) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  size_t at = lowerScope.find(needle);
  if (at == std::string::npos) return "";
  std::string value;
  for (size_t i = at + needle.size(); i < scope.size() && scope[i] != '"'; ++i) {
    if (scope[i] == '\\' && i + 1 < scope.size()) ++i;
    value += scope[i];
  }
  return value;
}

std::string ExeDir() {
  char path[MAX_PATH * 2] = {};
  GetModuleFileNameA(nullptr, path, sizeof path - 1);
  std::string s = path;
  return s.substr(0, s.find_last_of('\\') + 1);
}

std::string SupportExe(const std::string& name) { return ExeDir() + name; }

std::string FreshDir(const std::string& name) {
  char tmp[MAX_PATH] = {};
  GetTempPathA(sizeof tmp, tmp);
  std::string base = WithSlash(tmp) + "zrtests\\";
  CreateDirectoryA(base.c_str(), nullptr);
  std::string dir = base + name;
  // Remove what an earlier run left behind.
  std::string cmd = "cmd.exe /c rd /s /q " + Quote(dir);
  if (GetFileAttributesA(dir.c_str()) != INVALID_FILE_ATTRIBUTES) {
    Process p = StartProcess(cmd);
    WaitProcess(p, 30000);
  }
  CreateDirectoryA(dir.c_str(), nullptr);
  return WithSlash(dir);
}

std::string ArtifactsDir() {
  std::string dir = EnvText("ZR_ARTIFACTS");
  if (dir.empty()) dir = ExeDir() + "artifacts";
  if (!dir.empty() && dir[0] == '/') {  // a Unix path handed over by the test runner
    for (auto& c : dir) c = c == '/' ? '\\' : c;
    dir = "Z:" + dir;
  }
  CreateDirectoryA(dir.c_str(), nullptr);
  return WithSlash(dir);
}

std::string ReadWholeFile(const std::string& path) {
  std::string out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool SetSecurity(const std::string& path, const std::string& sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr)) return false;
  BOOL ok = SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, sd);
  LocalFree(sd);
  return ok != FALSE;
}

Process StartProcess(const std::string& commandLine) {
  Process p;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string cmd = commandLine;
  if (CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    p.handle = pi.hProcess;
    p.pid = pi.dwProcessId;
  } else {
    std::fprintf(stderr, "could not start %s (error %lu)\n", commandLine.c_str(), GetLastError());
  }
  return p;
}

bool WaitProcess(Process& p, DWORD timeoutMs, DWORD* exitCode) {
  if (!p.handle) return false;
  DWORD start = GetTickCount();
  for (;;) {
    DWORD left = timeoutMs - (GetTickCount() - start);
    if (GetTickCount() - start >= timeoutMs) left = 0;
    DWORD r = MsgWaitForMultipleObjects(1, &p.handle, FALSE, left, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) break;
    if (r != WAIT_OBJECT_0 + 1) return false;
    PumpMessages(0);
  }
  DWORD code = 0;
  GetExitCodeProcess(p.handle, &code);
  if (exitCode) *exitCode = code;
  CloseHandle(p.handle);
  p.handle = nullptr;
  return true;
}

void KillProcess(Process& p) {
  if (!p.handle) return;
  TerminateProcess(p.handle, 1);
  WaitForSingleObject(p.handle, 5000);
  CloseHandle(p.handle);
  p.handle = nullptr;
}

std::string Quote(const std::string& path) { return "\"" + path + "\""; }

void PumpMessages(DWORD ms) {
  DWORD start = GetTickCount();
  do {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    if (ms) Sleep(5);
  } while (GetTickCount() - start < ms);
}

HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND w = FindWindowA(className, title);
    if (w) return w;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    PumpMessages(20);
  }
}

Capture CaptureWindow(HWND wnd) {
  Capture shot;
  RECT r;
  if (!GetWindowRect(wnd, &r)) return shot;
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return shot;
  PumpMessages(100);  // let pending paints reach the screen
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bmp) {
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const uint8_t* p = static_cast<const uint8_t*>(bits);
    shot = {w, h, std::vector<uint8_t>(p, p + static_cast<size_t>(w) * h * 4)};
    SelectObject(mem, old);
    DeleteObject(bmp);
  }
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return shot;
}

bool SaveScreenshot(HWND wnd, const std::string& name) {
  const Capture shot = CaptureWindow(wnd);
  return !shot.bgra.empty() && WritePng(ArtifactsDir() + name + ".png", shot.width, shot.height, shot.bgra);
}

void MoveMouse(int x, int y) {
  SetCursorPos(x, y);
  SendMouse(MOUSEEVENTF_MOVE);  // a zero move: delivers WM_MOUSEMOVE at the new spot
}

void LeftDown() { SendMouse(MOUSEEVENTF_LEFTDOWN); }
void LeftUp() { SendMouse(MOUSEEVENTF_LEFTUP); }

void ClickAt(int x, int y) {
  // A second click on the same spot within the double-click time would
  // arrive as a double-click; wait it out, as a person's pause would.
  static DWORD lastTick = 0;
  static POINT last = {-100, -100};
  if (std::abs(x - last.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
      std::abs(y - last.y) <= GetSystemMetrics(SM_CYDOUBLECLK)) {
    DWORD since = GetTickCount() - lastTick;
    if (since <= GetDoubleClickTime()) PumpMessages(GetDoubleClickTime() - since + 50);
  }
  MoveMouse(x, y);
  LeftDown();
  LeftUp();
  lastTick = GetTickCount();
  last = {x, y};
}

void PressKey(WORD key) {
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = key;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof(INPUT));
}

void RightClickAt(int x, int y) {
  MoveMouse(x, y);
  SendMouse(MOUSEEVENTF_RIGHTDOWN);
  SendMouse(MOUSEEVENTF_RIGHTUP);
}

void ClickClient(HWND wnd, int x, int y) {
  POINT pt = {x, y};
  ClientToScreen(wnd, &pt);
  ClickAt(pt.x, pt.y);
}

}  // namespace zrtest
