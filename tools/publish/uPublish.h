// The update-information document as a vendor publishes it: its JSON text,
// its signature line and the checks of a finished document. Portable; the
// command-line front end is zerun_publish.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TRelease {
  std::vector<std::string> Urls;  // mirrors of one installer, tried in order
  uint32_t Version = 0;           // packed: major << 16 | minor
  std::string Notes;              // UTF-8
  std::string Sha256Hex;          // of the installer at the first URL
  uint64_t Size = 0;              // of the installer
  std::string Expires;            // "YYYY-MM-DDTHH:MM:SSZ"; empty: none
  bool AllowDowngrade = false;    // may replace a later installed version
  int Rollout = 100;              // percentage of machines quiet runs offer it to
  bool Critical = false;          // offered to every machine whatever Rollout says
  std::string Published;          // signing time, "YYYY-MM-DDTHH:MM:SSZ"; empty: none
};

// "1.2" to (1 << 16) | 2: two decimal numbers of at most 65535 joined by '.'.
bool ParseVersionText(const std::string& Text, uint32_t& Packed);
// A URL the program can fetch: "http://" or "https://", a host, and only
// printable ASCII without spaces, quotes or backslashes.
bool IsPublishableUrl(const std::string& Url);
// UTF-8 notes as they go into "Msg": without a byte-order mark or trailing
// line breaks, every line break (CR LF, LF or CR) as CR LF.
std::string NotesText(const std::string& Utf8);
// The document's JSON text ("Rollout" only below 100), one member a line, CR LF line ends, ending with
// a line end. ASCII only: every other character of every member, in valid
// UTF-8, is a \uXXXX escape, so each code page reads the same text.
std::string DocumentJson(const TRelease& Release);
// Text (given a line end when it has none) followed by one signature line
// and CR LF for each of SecretKeys, the raw 64-byte Ed25519 secret keys.
std::string SignDocument(const std::string& Text, const std::vector<std::string>& SecretKeys);
// A key pair as base64 lines: the secret key (seed and public key, 64 bytes)
// and the public key (32 bytes).
void MakeKeyPair(std::string& SecretBase64, std::string& PublicBase64);
// The raw key from a key file's text (one base64 line); false unless it
// decodes to Length bytes.
bool ReadKeyText(const std::string& Text, size_t Length, std::string& Key);
