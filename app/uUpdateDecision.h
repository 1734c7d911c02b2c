// What the controller does with the update information once it has arrived.
// Kept apart from the windows so that every branch can be tested, including
// the not-elevated one, which the test platform cannot produce.
#pragma once

#include <cstdint>
#include <string>

enum TUpdateDecision {
  udShowNoUpdate,   // no update; "/postbbs" in position 2
  udShowLatest,     // no update; interactive run
  udShowNothing,    // no update; silent run
  udAskToUpdate,    // an update, and the process may install it
  udRelaunchElevated  // an update, but the process is not elevated
};

// What may hold a quiet run back from offering a release: a staged release
// is offered only on machines whose Position (0..99, see RolloutPosition) is
// below Percent, unless it is Critical; and no installer host may be asked
// while every one has asked for quiet (Retry-After). A run the elevation
// re-launch started (Relaunched) was offered the release already.
struct TQuietRun {
  int Percent = 100;
  int Position = 0;
  bool Critical = false;
  bool Relaunched = false;
  bool ServersBusy = false;
};

// Any difference of the packed versions counts as an update, a lower offered
// number too unless MayDowngrade is false; an empty URL list never does, nor
// a quiet run that Quiet holds back.
TUpdateDecision DecideUpdate(bool HasUrls, uint32_t Offered, uint32_t Installed, bool Elevated, bool PostBbs,
                             bool Silent, bool MayDowngrade, const TQuietRun& Quiet = {});

// Whether a document whose "Expires" is Expires is in date at Now, both
// "YYYY-MM-DDTHH:MM:SSZ" (UTC). An empty Expires (none given) is always in
// date; one of any other form never is.
bool InDate(const std::string& Expires, const std::string& Now);
