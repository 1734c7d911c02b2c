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

// Whether a signed document whose "Published" is Published (empty when it
// gives none) may act while Newest is the newest one accepted so far (empty:
// none yet), at Now. An older one, or one without after one with, is a
// replay; one more than a day ahead of Now comes from a clock set wrong and
// would lock out every later document until then. All three
// "YYYY-MM-DDTHH:MM:SSZ"; a malformed Newest counts as none.
bool MayActPublished(const std::string& Published, const std::string& Newest, const std::string& Now);
