// What the controller does with the update information once it has arrived.
// Kept apart from the windows so that every branch can be tested, including
// the not-elevated one, which the test platform cannot produce.
#pragma once

#include <cstdint>

enum TUpdateDecision {
  udShowNoUpdate,   // no update; "/postbbs" in position 2
  udShowLatest,     // no update; interactive run
  udShowNothing,    // no update; silent run
  udAskToUpdate,    // an update, and the process may install it
  udRelaunchElevated  // an update, but the process is not elevated
};

// Any difference of the packed versions counts as an update, a lower offered
// number too; an empty URL list never does.
TUpdateDecision DecideUpdate(bool HasUrls, uint32_t Offered, uint32_t Installed, bool Elevated, bool PostBbs,
                             bool Silent);
