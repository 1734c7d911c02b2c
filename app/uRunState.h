// Small values kept between runs beside the failure counter, in "upd.dat"
// of the per-user data folder (profile-function format): the machine's own
// identity when the system has none, the newest publication time accepted,
// and the hosts that asked to be left alone until a time.
#pragma once

#include <string>

// The value of Key in Section; empty when there is none.
std::string ReadRunState(const std::string& Section, const std::string& Key);
// Sets the value, or removes the key when Value is empty. False when it
// cannot be written.
bool WriteRunState(const std::string& Section, const std::string& Key, const std::string& Value);
