// Parse and write throughput and peak memory of the JSON layer against
// RapidJSON and nlohmann/json, on the update-information document and on a
// generated 10 MB document. Ours reads UTF-16 (as the program hands it), the
// peers read the same document in UTF-8.
//   json_bench                 all figures as a Markdown table
//   json_bench --peak NAME     peak memory of one 10 MB parse (run per process)
//   json_bench --parse NAME    two 10 MB parses in ParseTwice (the second frees
//                              the first tree, as in the timed rounds), for
//                              valgrind --tool=callgrind --toggle-collect='*ParseTwice*'
// Built for Windows (bench/json/CMakeLists.txt on its own, with a MinGW
// toolchain) it gives the speed figures only: the peak working set cannot be
// reset there.
#ifndef _WIN32
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "bench/json/MixedDocument.h"
#include "json/jsonobject.h"
#include "tests/fuzz/Utf8To16.h"

namespace {

const char kUpdateDocument[] =
    u8"{\"Urls\":[\"http://dl.zerun.example/App/ZeRunSetup_2.1.0.exe\","
    u8"\"http://mirror.zerun.example/App/ZeRunSetup_2.1.0.exe\"],\"ver\":131073,"
    u8"\"Msg\":\"1. 新增在线字幕搜索\\r\\n2. 修复若干播放问题\\r\\n3. 提升启动速度\"}";

struct TInput {
  const char* name;
  std::string utf8;
  std::u16string utf16;
  int rounds;
};

struct TPeer {
  const char* name;
  std::function<void(const TInput&)> parse;   // parse and keep the tree
  std::function<size_t()> write;              // write the kept tree; bytes out
};

IJsonObjectPtr gOurs;
rapidjson::Document gRapid;
nlohmann::json gNlohmann;

TPeer kPeers[] = {
    {"ours (UTF-16)", [](const TInput& in) { gOurs = ParseJsonText(in.utf16); },
     [] { return gOurs->ToJsonText(false, false).size(); }},
    {"RapidJSON (UTF-8)", [](const TInput& in) {
       rapidjson::Document document;
       document.Parse(in.utf8.data(), in.utf8.size());
       gRapid.Swap(document);  // the old tree goes here, as with the others
     },
     [] {
       rapidjson::StringBuffer buffer;
       rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
       gRapid.Accept(writer);
       return buffer.GetSize();
     }},
    {"nlohmann/json (UTF-8)", [](const TInput& in) { gNlohmann = nlohmann::json::parse(in.utf8); },
     [] { return gNlohmann.dump().size(); }},
};

double Seconds(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TInput MixedInput() {
  std::string utf8 = MakeMixedDocument(10 * 1000 * 1000);
  std::u16string utf16 = Utf8To16(utf8);
  return {"generated 10 MB", std::move(utf8), std::move(utf16), 2};
}

// Kept out of line so that an instruction count can be limited to it.
__attribute__((noinline)) void ParseTwice(TPeer& peer, const TInput& input) {
  peer.parse(input);
  peer.parse(input);
}

int CountedParse(const char* name) {
  TInput input = MixedInput();
  for (TPeer& peer : kPeers)
    if (std::strcmp(peer.name, name) == 0) ParseTwice(peer, input);
  return 0;
}

#ifndef _WIN32
long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  return -1;
}

// Peak resident growth of one parse of the 10 MB document, in this process.
int PeakMemory(const char* name) {
  TInput input = MixedInput();
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";  // resets VmHWM
  long before = StatusKb("VmRSS:");
  for (TPeer& peer : kPeers)
    if (std::strcmp(peer.name, name) == 0) peer.parse(input);
  std::printf("%ld\n", StatusKb("VmHWM:") - before);
  return 0;
}

long PeakOf(const char* self, const char* name) {
  std::string command = std::string("'") + self + "' --peak '" + name + "'";
  FILE* pipe = popen(command.c_str(), "r");
  long kb = -1;
  if (pipe && std::fscanf(pipe, "%ld", &kb) != 1) kb = -1;
  if (pipe) pclose(pipe);
  return kb;
}
#else
long PeakOf(const char*, const char*) { return -1; }
#endif

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  if (argc == 3 && std::strcmp(argv[1], "--peak") == 0) return PeakMemory(argv[2]);
#endif
  if (argc == 3 && std::strcmp(argv[1], "--parse") == 0) return CountedParse(argv[2]);

  TInput inputs[] = {{"update document x100,000", kUpdateDocument, Utf8To16(kUpdateDocument), 100000},
                     MixedInput()};
  std::printf("| input | library | parse MB/s | parse ms/round | write MB/s | peak MB (10 MB parse) |\n");
  std::printf("|---|---|---:|---:|---:|---:|\n");
  const int kTrials = 5;  // the machine is shared: best of interleaved trials
  for (const TInput& input : inputs) {
    double bestParse[3] = {1e9, 1e9, 1e9}, bestWrite[3] = {1e9, 1e9, 1e9};
    size_t written = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
      for (int p = 0; p < 3; ++p) {
        TPeer& peer = kPeers[p];
        peer.parse(input);  // warm-up, and the tree the write rounds use
        bestParse[p] = std::min(bestParse[p], Seconds([&] {
          for (int i = 0; i < input.rounds; ++i) peer.parse(input);
        }));
        bestWrite[p] = std::min(bestWrite[p], Seconds([&] {
          for (int i = 0; i < input.rounds; ++i) written += peer.write();
        }));
      }
    }
    if (written == 0) std::printf("(nothing written)\n");
    // Throughput counts the document's UTF-8 bytes for every library.
    double megabytes = double(input.utf8.size()) * input.rounds / 1e6;
    for (int p = 0; p < 3; ++p) {
      bool big = input.rounds < 100;
      long kb = big ? PeakOf(argv[0], kPeers[p].name) : -1;
      std::string peak = kb < 0 ? "" : std::to_string(kb / 1024.0).substr(0, 5);
      std::printf("| %s | %s | %.1f | %.4f | %.1f | %s |\n", input.name, kPeers[p].name, megabytes / bestParse[p],
                  bestParse[p] * 1000 / input.rounds, megabytes / bestWrite[p], peak.c_str());
    }
    std::printf("| | parse speed of ours relative to nlohmann, to RapidJSON | %.2f, %.2f | | | |\n",
                bestParse[2] / bestParse[0], bestParse[1] / bestParse[0]);
    std::fflush(stdout);
  }
  std::printf("\nupdate document: %zu bytes UTF-8 (%zu UTF-16 units); generated: %zu bytes UTF-8 (%zu units)\n",
              inputs[0].utf8.size(), inputs[0].utf16.size(), inputs[1].utf8.size(), inputs[1].utf16.size());
  return 0;
}
