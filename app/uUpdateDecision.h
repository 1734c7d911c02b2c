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

// Why a run found no update, for its log.
enum TNoUpdateReason {
  nrNone,
  nrNoUrls,
  nrSameVersion,
  nrDowngradeRefused,
  nrOutsidePolicyPrefix,
  nrHeldBack  // a quiet run outside the staged rollout, or every installer host busy
};
const char* NoUpdateReasonText(TNoUpdateReason Reason);

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
// an offered version outside the administrator's VersionPrefix, nor a quiet
// run that Quiet holds back.
TUpdateDecision DecideUpdate(bool HasUrls, uint32_t Offered, uint32_t Installed, bool Elevated, bool PostBbs,
                             bool Silent, bool MayDowngrade, const TQuietRun& Quiet = {},
                             const std::string& VersionPrefix = "", TNoUpdateReason* Reason = nullptr);

// The administrator's policy: HKLM\<POLICY_KEY>, 64-bit view.
extern const char POLICY_KEY[];
extern const char POLICY_UPDATE_DEFAULT[];   // REG_DWORD, a TUpdateDefault
extern const char POLICY_VERSION_PREFIX[];  // REG_SZ
enum TUpdateDefault { pdNever = 0, pdAsUsual = 1, pdOnlyWhenAsked = 2 };

struct TUpdatePolicy {
  uint32_t UpdateDefault = pdAsUsual;  // as read; an unknown value counts as pdAsUsual
  std::string VersionPrefix;           // as read; see InVersionPrefix
};

enum TCheckDecision {
  cdCheck,         // ask for the update information
  cdEndQuietly,    // no request, nothing shown
  cdShowDisabled   // no request; the notice that the administrator turned updates off
};
// Whether a run may send its request. An elevated re-launch only comes from
// a run that was allowed to go on to an update, so it counts as asked for.
TCheckDecision DecideCheck(const TUpdatePolicy& Policy, bool Silent, bool Relaunched);

// Whether the major.minor of Version starts with Prefix, part by part ("1"
// holds 1.x, "1.2" holds 1.2 only). A Prefix that is not digits separated by
// single dots is no rule and holds every version.
bool InVersionPrefix(uint32_t Version, const std::string& Prefix);

// Whether a document whose "Expires" is Expires is in date at Now, both
// "YYYY-MM-DDTHH:MM:SSZ" (UTC). An empty Expires (none given) is always in
// date; one of any other form never is.
bool InDate(const std::string& Expires, const std::string& Now);
