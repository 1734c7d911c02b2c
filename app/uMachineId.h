// The identity a staged release places this machine by.
#pragma once

#include <string>

// HKLM\SOFTWARE\Microsoft\Cryptography MachineGuid, read from the 64-bit
// view on 64-bit Windows (the 32-bit view has none there). A machine without
// it gets a random identity, made once and kept with the per-user state.
std::string MachineIdentity();
