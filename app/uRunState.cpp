#include "app/uRunState.h"

#include <windows.h>

#include "app/uFunction.h"
#include "net/uFunction.h"

namespace {

std::string StateFileName() { return GetUserDataDir() + "upd.dat"; }

}  // namespace

std::string ReadRunState(const std::string& Section, const std::string& Key) {
  return ReadIniString(StateFileName(), Section, Key, "");
}

bool WriteRunState(const std::string& Section, const std::string& Key, const std::string& Value) {
  return WritePrivateProfileStringA(Section.c_str(), Key.c_str(), Value.empty() ? nullptr : Value.c_str(),
                                    StateFileName().c_str()) != 0;
}
