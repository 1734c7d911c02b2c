// The document's digest as text: what is read and what is refused.
#include "net/uVerify.h"

#include "net/uHttpTime.h"

#include <gtest/gtest.h>

namespace {

const char* const AbcHex = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(ParseSha256, ReadsSixtyFourHexDigitsOfEitherCaseAndNothingElse) {
  const struct {
    std::string Text;
    bool Read;
  } Cases[] = {
      {AbcHex, true},
      {"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", true},
      {"Ba7816bF8f01CFEA414140de5dae2223b00361a396177a9cb410ff61f20015aD", true},
      {std::string(AbcHex).substr(1), false},
      {std::string(AbcHex) + "0", false},
      {std::string(AbcHex).substr(0, 63) + "g", false},
      {std::string(AbcHex).substr(0, 63) + " ", false},
      {" " + std::string(AbcHex).substr(1), false},
      {"0x" + std::string(AbcHex).substr(2), false},
      {std::string(AbcHex).substr(0, 62) + "-1", false},
      {std::string(AbcHex).substr(0, 63) + std::string(1, '\0'), false},
      {"\"\"", false},
      {"", false},
  };
  const TSha256 Abc = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40, 0xde, 0x5d, 0xae, 0x22, 0x23,
                       0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17, 0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Text);
    TSha256 Digest{};
    ASSERT_EQ(ParseSha256(Case.Text, Digest), Case.Read);
    if (Case.Read) {
      EXPECT_EQ(Digest, Abc);
    }
  }
  EXPECT_EQ(Sha256Hex(Abc), AbcHex);
}

// Replays, documents without a time after one with, and clocks a day and
// more ahead are refused; a malformed kept time counts as none.
TEST(MayActPublished, NeverOlderNorMissingNorADayAhead) {
  const std::string Now = "2026-12-09T10:00:00Z";
  const struct {
    const char *Published, *Newest;
    bool Acts;
  } Cases[] = {
      {"", "2026-12-01T00:00:00Z", false},
      {"2026-12-10T10:00:00Z", "garbage", true},
      {"2026-11-30T23:59:59Z", "2026-12-01T00:00:00Z", false},
      {"2026-12-10T10:00:01Z", "", false},
      {"2026-12-09T10:00:00", "", false},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(MayActPublished(C.Published, C.Newest, Now), C.Acts) << C.Published << " after " << C.Newest;
}

// Both forms of Retry-After, capped at a day; what is not one asks nothing.
TEST(RetryAfterUntil, SecondsOrHttpDateAtMostADay) {
  int64_t Now = 0;
  ASSERT_TRUE(UtcTimeSeconds("2026-12-09T10:00:00Z", Now));
  EXPECT_EQ(UtcTimeText(951782400), "2000-02-29T00:00:00Z");
  const std::pair<const char*, int64_t> Cases[] = {
      {"120", 120}, {"90000", 86400}, {"99999999999", 0}, {"-5", 0}, {"", 0}, {"Wed, 09 Dec 2026 10:05:00 GMT", 300},
      {"Wed, 09 Dec 2026 09:00:00 GMT", 0},               {"Thu, 10 Dec 2026 12:00:00 GMT", 86400},
      {"Wed, 09 Dex 2026 10:05:00 GMT", 0},               {"Wednesday, 09-Dec-26 10:05:00 GMT", 0},
  };
  for (const auto& C : Cases) EXPECT_EQ(RetryAfterUntil(C.first, Now) - Now, C.second) << C.first;
}

}  // namespace
