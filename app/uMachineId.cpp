#include "app/uMachineId.h"

#include <sodium.h>
#include <windows.h>

#include "app/uRunState.h"

namespace {

const char StateSection[] = "Machine";
const char StateKey[] = "Id";

std::string SystemMachineGuid() {
  HKEY Key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                    &Key) != ERROR_SUCCESS)
    return "";
  char Buffer[128];
  DWORD Type = 0, Size = sizeof(Buffer) - 1;
  LONG Result = RegQueryValueExA(Key, "MachineGuid", nullptr, &Type, reinterpret_cast<BYTE*>(Buffer), &Size);
  RegCloseKey(Key);
  if (Result != ERROR_SUCCESS || Type != REG_SZ) return "";
  Buffer[Size] = '\0';
  return Buffer;
}

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
  std::string Guid = SystemMachineGuid();
  if (!Guid.empty()) return Guid;
  std::string Kept = ReadRunState(StateSection, StateKey);
  if (!Kept.empty()) return Kept;
  std::string Made = RandomIdentity();
  WriteRunState(StateSection, StateKey, Made);
  return Made;
}
