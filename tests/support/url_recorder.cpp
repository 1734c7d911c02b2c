// Registered in the test prefix as the "open" handler of http links, so tests
// see which page the program opened and no browser ever starts. Appends the
// URL (its first argument) as one line to %ZR_URL_LOG% when set, else to
// "url_recorder.log" beside the program.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::string log;
  if (const char* env = std::getenv("ZR_URL_LOG"); env && *env) {
    log = env;
  } else {
    char self[MAX_PATH * 2] = {};
    GetModuleFileNameA(nullptr, self, sizeof self - 1);
    log = self;
    log = log.substr(0, log.find_last_of('\\') + 1) + "url_recorder.log";
  }
  FILE* f = std::fopen(log.c_str(), "ab");
  if (!f) return 0;
  std::fprintf(f, "%s\r\n", __argc > 1 ? __argv[1] : "");
  std::fclose(f);
  return 0;
}
