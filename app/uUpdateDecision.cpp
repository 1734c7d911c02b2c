#include "app/uUpdateDecision.h"

#include <algorithm>
#include <vector>

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

// The prefix's numbers, or none when it is no prefix at all.
std::vector<uint32_t> PrefixParts(const std::string& Prefix) {
  std::vector<uint32_t> Parts;
  uint32_t Part = 0;
  size_t Digits = 0;
  for (size_t I = 0; I <= Prefix.size(); ++I) {
    char C = I < Prefix.size() ? Prefix[I] : '.';
    if (C >= '0' && C <= '9') {
      Part = std::min<uint32_t>(Part * 10 + uint32_t(C - '0'), 0x10000);  // past 65535 matches nothing
      Digits += 1;
    } else if (C == '.' && Digits > 0) {
      Parts.push_back(Part);
      Part = 0;
      Digits = 0;
    } else {
      return {};
    }
  }
  return Parts;
}

}  // namespace

const char POLICY_KEY[] = "SOFTWARE\\Policies\\ZeRun\\Update";
const char POLICY_UPDATE_DEFAULT[] = "UpdateDefault";
const char POLICY_VERSION_PREFIX[] = "TargetVersionPrefix";

const char* NoUpdateReasonText(TNoUpdateReason Reason) {
  switch (Reason) {
    case nrNone: return "an update";
    case nrNoUrls: return "no update: the document lists no download";
    case nrSameVersion: return "no update: the offered version is installed";
    case nrDowngradeRefused: return "no update: a lower version the document does not allow";
    case nrOutsidePolicyPrefix: return "no update: outside the administrator's version prefix";
    case nrHeldBack: return "no update: a quiet run held back (staged rollout or busy servers)";
  }
  return "";
}

TUpdateDecision DecideUpdate(bool HasUrls, uint32_t Offered, uint32_t Installed, bool Elevated, bool PostBbs,
                             bool Silent, bool MayDowngrade, const TQuietRun& Quiet,
                             const std::string& VersionPrefix, TNoUpdateReason* Reason) {
  // The user who asked is always offered the release.
  bool Held = Silent && !Quiet.Relaunched &&
              (Quiet.ServersBusy || (!Quiet.Critical && Quiet.Position >= Quiet.Percent));
  TNoUpdateReason Why = nrNone;
  if (!HasUrls)
    Why = nrNoUrls;
  else if (Offered == Installed)
    Why = nrSameVersion;
  else if (Offered < Installed && !MayDowngrade)
    Why = nrDowngradeRefused;
  else if (!InVersionPrefix(Offered, VersionPrefix))
    Why = nrOutsidePolicyPrefix;
  else if (Held)
    Why = nrHeldBack;
  if (Reason) *Reason = Why;
  if (Why != nrNone) {
    if (PostBbs) return udShowNoUpdate;
    return Silent ? udShowNothing : udShowLatest;
  }
  return Elevated ? udAskToUpdate : udRelaunchElevated;
}

TCheckDecision DecideCheck(const TUpdatePolicy& Policy, bool Silent, bool Relaunched) {
  if (Policy.UpdateDefault == pdNever) return Silent ? cdEndQuietly : cdShowDisabled;
  if (Policy.UpdateDefault == pdOnlyWhenAsked && Silent && !Relaunched) return cdEndQuietly;
  return cdCheck;
}

bool InVersionPrefix(uint32_t Version, const std::string& Prefix) {
  std::vector<uint32_t> Parts = PrefixParts(Prefix);
  if (Parts.empty()) return true;
  const uint32_t Own[] = {Version >> 16, Version & 0xFFFF};
  if (Parts.size() > 2) return false;
  for (size_t I = 0; I < Parts.size(); ++I)
    if (Parts[I] != Own[I]) return false;
  return true;
}

bool InDate(const std::string& Expires, const std::string& Now) {
  return Expires.empty() || (IsUtcTime(Expires) && Expires > Now);
}
