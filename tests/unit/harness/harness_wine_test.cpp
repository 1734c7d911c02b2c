// Proves the Windows test harness: the code page, WinINet against the
// loopback test server and its log, and the stand-in programs.
#include <windows.h>

#include <gtest/gtest.h>
#include <shellapi.h>
#include <wininet.h>

#include <string>

#include "tests/support/TestSupport.h"

using namespace zrtest;

namespace {

std::string Get(const std::string& path, const char* headers, DWORD* status) {
  std::string body;
  HINTERNET net = InternetOpenA("harness", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET req = InternetOpenUrlA(net, ServerUrl(path).c_str(), headers, DWORD(-1),
                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (req) {
    DWORD len = sizeof *status;
    HttpQueryInfoA(req, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, status, &len, nullptr);
    char buf[4096];
    DWORD got;
    while (InternetReadFile(req, buf, sizeof buf, &got) && got) body.append(buf, got);
    InternetCloseHandle(req);
  }
  InternetCloseHandle(net);
  return body;
}

TEST(Harness, SystemCodePageIsGbk) { EXPECT_EQ(GetACP(), 936u); }

TEST(Harness, WinInetTalksToTheTestServerAndTheLogRecordsIt) {
  ASSERT_NE(ServerPort(), 0);
  ASSERT_TRUE(ServerReset());
  ASSERT_TRUE(ServerPut("/App/a.bin", "0123456789"));
  DWORD status = 0;
  EXPECT_EQ(Get("/App/a.bin", "Range: bytes=3-5\r\nX-Harness: yes\r\n", &status), "345");
  EXPECT_EQ(status, 206u);

  ASSERT_TRUE(ServerFault("/App/a.bin", R"({"status": 500, "times": 1})"));
  Get("/App/a.bin", nullptr, &status);
  EXPECT_EQ(status, 500u);

  auto log = ServerLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(LogField(log[0], "path"), "/App/a.bin");
  EXPECT_EQ(LogField(log[0], "method"), "GET");
  EXPECT_EQ(LogField(log[0], "headers.range"), "bytes=3-5");
  EXPECT_EQ(LogField(log[0], "headers.X-Harness"), "yes");
  EXPECT_EQ(LogField(log[1], "headers.range"), "");
}

TEST(Harness, StandInClientIsFoundByClassAndTitleAndRecordsItsClose) {
  std::string dir = FreshDir("harness-client");
  std::string record = dir + "client.txt";
  Process p = StartProcess(Quote(SupportExe("standin_client.exe")) + " --record " + Quote(record));
  ASSERT_NE(p.handle, nullptr);
  HWND wnd = WaitForWindow("TZeRunMainForm", "泽润影音", 15000);
  ASSERT_NE(wnd, nullptr);
  EXPECT_TRUE(SaveScreenshot(wnd, "harness-standin-client"));
  EXPECT_EQ(FindWindowA("TZeRunMainForm", "other title"), nullptr);
  PostMessageA(wnd, WM_CLOSE, 0, 0);
  DWORD code = 99;
  ASSERT_TRUE(WaitProcess(p, 10000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(ReadWholeFile(record).rfind("WM_CLOSE ", 0), 0u);
}

TEST(Harness, StandInInstallerRecordsItsCommandLine) {
  std::string dir = FreshDir("harness installer dir");
  std::string exe = dir + "setup.exe";
  ASSERT_TRUE(CopyFileA(SupportExe("standin_installer.exe").c_str(), exe.c_str(), FALSE));
  Process p = StartProcess(Quote(exe) + " /S");
  ASSERT_TRUE(WaitProcess(p, 10000));
  EXPECT_EQ(ReadWholeFile(exe + ".record"), "cmdline=" + Quote(exe) + " /S\r\npath=" + exe + "\r\n");
}

TEST(Harness, HttpLinksOpenInTheUrlRecorder) {
  std::string log = FreshDir("harness-url") + "urls.txt";
  SetEnvironmentVariableA("ZR_URL_LOG", log.c_str());
  auto r = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", "http://127.0.0.1/home", nullptr, nullptr, SW_SHOW));
  EXPECT_GT(r, 32);
  DWORD start = GetTickCount();
  while (!FileExists(log) && GetTickCount() - start < 15000) PumpMessages(50);
  PumpMessages(200);
  EXPECT_EQ(ReadWholeFile(log), "http://127.0.0.1/home\r\n");
}

}  // namespace
