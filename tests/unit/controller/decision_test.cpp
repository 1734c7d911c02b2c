// The controller's decision once the update information has arrived.
#include <gtest/gtest.h>

#include "app/uUpdateDecision.h"

namespace {

struct Case {
  bool HasUrls;
  uint32_t Offered, Installed;
  bool Elevated, PostBbs, Silent;
  TUpdateDecision Expected;
  bool MayDowngrade = true;
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
      // a signed build without the document's leave: a lower offer is none
      {true, V11, V12, true, false, false, udShowLatest, false},
      {true, V11, V12, false, false, true, udShowNothing, false},
      {true, 0, V12, true, true, true, udShowNoUpdate, false},
      {true, V12, V11, true, false, false, udAskToUpdate, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(testing::Message() << C.HasUrls << " " << C.Offered << " " << C.Installed << " " << C.Elevated
                                    << " " << C.PostBbs << " " << C.Silent << " " << C.MayDowngrade);
    EXPECT_EQ(DecideUpdate(C.HasUrls, C.Offered, C.Installed, C.Elevated, C.PostBbs, C.Silent, C.MayDowngrade),
              C.Expected);
  }
}

TEST(InDate, UntilTheGivenSecondAndNeverForAnotherForm) {
  const std::string Now = "2026-12-09T10:20:30Z";
  const struct {
    const char* Expires;
    bool InDate;
  } Cases[] = {
      {"", true},  // a document made before documents expired
      {"2026-12-09T10:20:31Z", true},
      {"2030-01-01T00:00:00Z", true},
      {"2026-12-09T10:20:30Z", false},
      {"2026-12-09T10:20:29Z", false},
      {"2025-12-31T23:59:59Z", false},
      {"2030-01-01T00:00:00", false},
      {"2030-01-01 00:00:00Z", false},
      {"2030-13-01T00:00:00Z", false},
      {"2030-01-00T00:00:00Z", false},
      {"2030-01-01T24:00:00Z", false},
      {"2030-01-01T00:60:00Z", false},
      {"2030-1-01T00:00:00Z", false},
      {"9999-99-99T99:99:99Z", false},
      {"20300101", false},  // "Expires" given as a number
  };
  for (const auto& C : Cases) EXPECT_EQ(InDate(C.Expires, Now), C.InDate) << C.Expires;
}

}  // namespace
