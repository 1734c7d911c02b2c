// The checks of what the update-information document names, in their
// portable form: the installer's SHA-256 as the document writes it.
#pragma once

#include <array>
#include <string>

using TSha256 = std::array<unsigned char, 32>;

// 64 hexadecimal digits of either case to the digest; false for anything
// else (a wrong length, a space, a sign).
bool ParseSha256(const std::string& Hex, TSha256& Digest);
// The digest as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const TSha256& Digest);
