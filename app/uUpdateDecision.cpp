#include "app/uUpdateDecision.h"

namespace {

// "YYYY-MM-DDTHH:MM:SSZ" with its fields in range; such texts compare as
// the times they name.
bool IsUtcTime(const std::string& Text) {
  const std::string Form = "dddd-dd-ddTdd:dd:ddZ";
  if (Text.size() != Form.size()) return false;
  for (size_t I = 0; I < Form.size(); ++I)
    if (Form[I] == 'd' ? Text[I] < '0' || Text[I] > '9' : Text[I] != Form[I]) return false;
  auto Field = [&](size_t At) { return (Text[At] - '0') * 10 + (Text[At + 1] - '0'); };
  return Field(5) >= 1 && Field(5) <= 12 && Field(8) >= 1 && Field(8) <= 31 && Field(11) < 24 && Field(14) < 60 &&
         Field(17) < 60;
}

}  // namespace

TUpdateDecision DecideUpdate(bool HasUrls, uint32_t Offered, uint32_t Installed, bool Elevated, bool PostBbs,
                             bool Silent, bool MayDowngrade, const TQuietRun& Quiet) {
  // The user who asked is always offered the release.
  bool Held = Silent && !Quiet.Relaunched &&
              (Quiet.ServersBusy || (!Quiet.Critical && Quiet.Position >= Quiet.Percent));
  if (!HasUrls || Offered == Installed || (Offered < Installed && !MayDowngrade) || Held) {
    if (PostBbs) return udShowNoUpdate;
    return Silent ? udShowNothing : udShowLatest;
  }
  return Elevated ? udAskToUpdate : udRelaunchElevated;
}

bool InDate(const std::string& Expires, const std::string& Now) {
  return Expires.empty() || (IsUtcTime(Expires) && Expires > Now);
}
