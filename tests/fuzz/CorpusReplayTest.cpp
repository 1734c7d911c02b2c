// Replays the fuzz corpus through the same property the fuzz target checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/fuzz/JsonRoundTrip.h"

namespace {

TEST(JsonCorpus, EveryInputKeepsTheRoundTrip) {
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ZR_JSON_CORPUS)) {
    std::ifstream file(entry.path(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ("", JsonRoundTrip(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
        << entry.path().filename().string();
    ++replayed;
  }
  EXPECT_GE(replayed, 10);
}

}  // namespace
