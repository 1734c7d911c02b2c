#include "net/uFolderTrust.h"

namespace {

const char* const TrustedOwners[] = {
    "S-1-5-32-544",  // Administrators
    "S-1-5-18",      // SYSTEM
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
};
// An entry for CREATOR OWNER matches nobody on the folder itself; it hands
// its rights to whoever makes an entry inside, which only the trusted may.
const char* const CreatorOwner = "S-1-3-0";

// ACE types that grant: plain, compound, object, callback, callback object.
bool Grants(uint8_t Type) { return Type == 0 || Type == 4 || Type == 5 || Type == 9 || Type == 11; }
// ACE types that only take rights away: plain, object, callback, callback object.
bool Denies(uint8_t Type) { return Type == 1 || Type == 6 || Type == 10 || Type == 12; }

bool IsTrustedOwner(const std::string& Sid) {
  for (const char* Known : TrustedOwners)
    if (Sid == Known) return true;
  return false;
}

}  // namespace

bool OthersMayChange(const TFolderSecurity& Folder) {
  if (!Folder.Read || !Folder.PlainFolder || !IsTrustedOwner(Folder.Owner) || !Folder.HasDacl) return true;
  for (const TAccessEntry& Entry : Folder.Entries) {
    if (Denies(Entry.Type)) continue;
    // Anything else in a DACL is not guessed at.
    if (!Grants(Entry.Type)) return true;
    if ((Entry.Mask & FolderWriteRights) && !IsTrustedOwner(Entry.Sid) && Entry.Sid != CreatorOwner) return true;
  }
  return false;
}
