// A machine's place in a staged release.
#pragma once

#include <cstdint>
#include <string>

// The position 0..99 of the machine known by Identity for the offered
// Version: the first eight bytes of SHA-256 over Identity, "/" and Version
// (packed, in decimal), read as a big-endian number, modulo 100. Each
// release so picks its own machines, and one machine always gets the same
// answer for one release.
int RolloutPosition(const std::string& Identity, uint32_t Version);
