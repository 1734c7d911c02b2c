#include "app/uRunState.h"

#include <windows.h>

#include "app/uFunction.h"

namespace {

std::string StateFileName() { return GetUserDataDir() + "upd.dat"; }

}  // namespace

std::string ReadRunState(const std::string& Section, const std::string& Key) {
  char Buffer[256] = "";
  GetPrivateProfileStringA(Section.c_str(), Key.c_str(), "", Buffer, sizeof(Buffer), StateFileName().c_str());
  return Buffer;
}

bool WriteRunState(const std::string& Section, const std::string& Key, const std::string& Value) {
  return WritePrivateProfileStringA(Section.c_str(), Key.c_str(), Value.empty() ? nullptr : Value.c_str(),
                                    StateFileName().c_str()) != 0;
}
