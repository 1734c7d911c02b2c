// Hashes one file as the download task does between the last byte and the
// rename, and prints the wall time and whether the digest is HEX. With
// STOP_MS the stop is requested that many milliseconds after the start, as
// Cancel does, and the time the hash took to end after it is printed.
//   bench_verify.exe FILE HEX [STOP_MS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/uFileDigest.h"

namespace {

struct THashRun {
  std::string Path;
  HANDLE Stop;
  TSha256 Digest{};
  THashEnd End = heFailed;
};

DWORD WINAPI HashThread(LPVOID Param) {
  auto* Run = static_cast<THashRun*>(Param);
  Run->End = FileSha256(Run->Path, Run->Stop, Run->Digest);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  DWORD StopMs = argc > 3 ? static_cast<DWORD>(std::atol(argv[3])) : 0;
  THashRun Run{argv[1], CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  LARGE_INTEGER Frequency, Start, Stopped, End;
  QueryPerformanceFrequency(&Frequency);
  QueryPerformanceCounter(&Start);
  HANDLE Thread = CreateThread(nullptr, 0, HashThread, &Run, 0, nullptr);
  if (StopMs && WaitForSingleObject(Thread, StopMs) == WAIT_TIMEOUT) SetEvent(Run.Stop);
  QueryPerformanceCounter(&Stopped);
  WaitForSingleObject(Thread, INFINITE);
  QueryPerformanceCounter(&End);
  auto Ms = [&](const LARGE_INTEGER& From, const LARGE_INTEGER& To) {
    return double(To.QuadPart - From.QuadPart) * 1000 / Frequency.QuadPart;
  };
  bool Ok = Run.End == heDone && Sha256Hex(Run.Digest) == argv[2];
  std::printf("ok=%d stopped=%d ms=%.1f after_stop_ms=%.1f\n", Ok ? 1 : 0, Run.End == heStopped ? 1 : 0,
              Ms(Start, End), StopMs ? Ms(Stopped, End) : 0.0);
  CloseHandle(Thread);
  CloseHandle(Run.Stop);
  return Ok || (StopMs && Run.End == heStopped) ? 0 : 1;
}
