#include "app/uMachineId.h"

#include <sodium.h>
#include <windows.h>

#include "app/uFunction.h"
#include "app/uRunState.h"

namespace {

const char StateSection[] = "Machine";
const char StateKey[] = "Id";

std::string RandomIdentity() {
  unsigned char Bytes[16];
  if (sodium_init() < 0) return "";
  randombytes_buf(Bytes, sizeof Bytes);
  char Hex[2 * sizeof Bytes + 1];
  sodium_bin2hex(Hex, sizeof Hex, Bytes, sizeof Bytes);
  return Hex;
}

}  // namespace

std::string MachineIdentity() {
  std::string Guid =
      ReadRegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", "MachineGuid", KEY_WOW64_64KEY);
  if (!Guid.empty()) return Guid;
  std::string Kept = ReadRunState(StateSection, StateKey);
  if (!Kept.empty()) return Kept;
  std::string Made = RandomIdentity();
  WriteRunState(StateSection, StateKey, Made);
  return Made;
}
