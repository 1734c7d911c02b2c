#include "app/uUpdateDecision.h"

TUpdateDecision DecideUpdate(bool HasUrls, uint32_t Offered, uint32_t Installed, bool Elevated, bool PostBbs,
                             bool Silent) {
  if (!HasUrls || Offered == Installed) {
    if (PostBbs) return udShowNoUpdate;
    return Silent ? udShowNothing : udShowLatest;
  }
  return Elevated ? udAskToUpdate : udRelaunchElevated;
}
