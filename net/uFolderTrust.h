// Whom a folder lets change it, decided from plain values its security
// descriptor gave. The installer starts elevated from the download folder and
// loads DLLs from it first, so only administrators, SYSTEM and the Windows
// installer service may own or write it; a junction or link is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One entry of a DACL.
struct TAccessEntry {
  uint8_t Type = 0;  // the ACE's type, as in its header
  uint32_t Mask = 0;
  std::string Sid;  // "S-1-..."; empty when the entry names no SID that could be read
};

struct TFolderSecurity {
  bool Read = false;          // the owner and the DACL could be read
  bool PlainFolder = false;  // a folder, not a file, junction, link or other reparse point
  std::string Owner;
  bool HasDacl = false;  // no DACL lets everyone do anything
  std::vector<TAccessEntry> Entries;
};

// The rights that change a folder, its entries or the files made in it.
inline constexpr uint32_t FolderWriteRights = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 |
                                              0x10000000 | 0x40000000;

// True unless the folder is a plain one owned by a trusted account whose
// every allow-entry with a write right names a trusted account.
bool OthersMayChange(const TFolderSecurity& Folder);
