#include "net/uBackOff.h"

#include <windows.h>

#include <cstdint>
#include <ctime>

#include "app/uRunState.h"
#include "framework/uLog.h"
#include "net/uHttpTime.h"

namespace {

const char StateSection[] = "RetryAfter";

int64_t UtcNowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

// Host names are compared without regard to case.
std::string HostKey(const std::string& Host) {
  std::string Key = Host;
  if (!Key.empty()) CharLowerBuffA(&Key[0], static_cast<DWORD>(Key.size()));
  return Key;
}

}  // namespace

bool IsBackedOff(const std::string& Host) {
  int64_t Until = 0, Now = UtcNowSeconds();
  // A time more than a day ahead comes from a clock set back since: the
  // rule's day is over.
  return UtcTimeSeconds(ReadRunState(StateSection, HostKey(Host)), Until) && Until > Now && Until <= Now + 86400;
}

bool NoteRetryAfter(const std::string& Host, const std::string& Status, const std::string& RetryAfter) {
  if ((Status != "503" && Status != "429") || RetryAfter.empty()) return false;
  int64_t Now = UtcNowSeconds();
  int64_t Until = RetryAfterUntil(RetryAfter, Now);
  if (Until <= Now) return false;
  WriteRunState(StateSection, HostKey(Host), UtcTimeText(Until));
  Log("%s answered %s, Retry-After %s: quiet runs leave it alone until %s", Host.c_str(), Status.c_str(),
      RetryAfter.c_str(), UtcTimeText(Until).c_str());
  return true;
}
