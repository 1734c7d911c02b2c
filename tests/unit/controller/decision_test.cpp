// The controller's decision once the update information has arrived.
#include <gtest/gtest.h>

#include "app/uRollout.h"
#include "app/uUpdateDecision.h"

namespace {

struct Case {
  bool HasUrls;
  uint32_t Offered, Installed;
  bool Elevated, PostBbs, Silent;
  TUpdateDecision Expected;
  bool MayDowngrade = true;
  TQuietRun Quiet = {};
  const char* Prefix = "";
};

const uint32_t V11 = 0x10001, V12 = 0x10002;

TEST(DecideUpdate, Table) {
  const Case Cases[] = {
      // no update: equal versions, whatever the URLs hold
      {true, V11, V11, true, false, false, udShowLatest},
      {true, V11, V11, true, false, true, udShowNothing},
      {true, V11, V11, true, true, true, udShowNoUpdate},   // "/postbbs" wins over "/S"
      {true, V11, V11, true, true, false, udShowNoUpdate},
      {true, V11, V11, false, false, false, udShowLatest},  // elevation does not matter
      // no update: an empty URL list, whatever the versions
      {false, V12, V11, true, false, false, udShowLatest},
      {false, V12, V11, true, false, true, udShowNothing},
      {false, V12, V11, false, true, true, udShowNoUpdate},
      // nothing installed and nothing offered
      {true, 0, 0, true, false, false, udShowLatest},
      // updates: higher and lower offered numbers
      {true, V12, V11, true, false, false, udAskToUpdate},
      {true, V11, V12, true, false, false, udAskToUpdate},
      {true, V12, 0, true, false, true, udAskToUpdate},  // silent runs still ask
      {true, V12, V11, true, true, true, udAskToUpdate},
      // not elevated: re-launch instead of asking
      {true, V12, V11, false, false, false, udRelaunchElevated},
      {true, V11, V12, false, false, true, udRelaunchElevated},
      {true, V11, V12, true, false, false, udShowLatest, false},
      {true, V12, V11, true, false, false, udAskToUpdate, false},
      // the administrator's version prefix holds over every other "yes"
      {true, V12, V11, false, false, true, udRelaunchElevated, true, {}, "1"},
      {true, V12, V11, true, true, true, udShowNoUpdate, true, {}, "1.3"},
      // a staged release holds quiet runs outside it only
      {true, V12, V11, true, false, true, udShowNothing, true, {30, 30}},
      {true, V12, V11, true, false, true, udAskToUpdate, true, {30, 29}},
      {true, V12, V11, false, false, true, udShowNothing, true, {0, 0}},  // no re-launch either
      {true, V12, V11, true, false, true, udAskToUpdate, true, {0, 50, true}},          // critical
      {true, V12, V11, true, false, true, udAskToUpdate, true, {0, 50, false, true}},   // re-launched
      // every installer host asked for quiet: quiet runs wait, critical or not
      {true, V12, V11, true, false, true, udShowNothing, true, {100, 0, true, false, true}},
      {true, V12, V11, true, false, false, udAskToUpdate, true, {100, 0, false, false, true}},
      // the policy's prefix holds over a critical release too
      {true, V12, V11, true, false, true, udShowNothing, true, {0, 50, true}, "1.3"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.HasUrls << " " << C.Offered << " " << C.Installed << " " << C.Elevated
                                    << " " << C.PostBbs << " " << C.Silent << " " << C.MayDowngrade << " "
                                    << C.Quiet.Percent << " " << C.Quiet.Position << " " << C.Prefix);
    EXPECT_EQ(DecideUpdate(C.HasUrls, C.Offered, C.Installed, C.Elevated, C.PostBbs, C.Silent, C.MayDowngrade,
                           C.Quiet, C.Prefix),
              C.Expected);
  }
}

TEST(InVersionPrefix, PartByPartAndMalformedPrefixesHoldEverything) {
  const struct { const char* Prefix; uint32_t Version; bool Within; } Cases[] = {
      {"1", V12, true}, {"1.2", V11, false}, {"1", 0x20000, false}, {"1.20", V12, false}, {"12", V12, false},
      {"01.02", V12, true}, {"1.2.0", V12, false}, {"1.65538", 0x10002, false}, {"1.0000002", V12, true},
      {"1.", 0x20000, true}, {".1", 0x20000, true}, {"1..2", 0x20000, true}, {" 1", 0x20000, true}};  // no rule
  for (const auto& C : Cases) EXPECT_EQ(C.Within, InVersionPrefix(C.Version, C.Prefix)) << C.Prefix;
}

// Fixed vectors: SHA-256 of "identity/version" as the vendor's notes give it.
TEST(RolloutPosition, FixedVectors) {
  const std::string Guid = "4c4c4544-0042-3510-8052-b4c04f4d4e31";
  EXPECT_EQ(RolloutPosition(Guid, 65538), 2);
  EXPECT_EQ(RolloutPosition(Guid, 65539), 96);
  EXPECT_EQ(RolloutPosition("", 0), 33);
  EXPECT_EQ(RolloutPosition("cafe", 1), 90);
}

}  // namespace
