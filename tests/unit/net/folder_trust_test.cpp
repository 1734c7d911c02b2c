// Who may change the download folder: owners, every kind of entry, links.
#include "net/uFolderTrust.h"

#include <gtest/gtest.h>

namespace {

const char* const BA = "S-1-5-32-544";
const char* const SY = "S-1-5-18";
const char* const TI = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const char* const User = "S-1-5-21-1-2-3-1001";  // the account a program runs as
const uint32_t Full = 0x1f01ff, ReadRun = 0x1200a9;

TEST(FolderTrust, OnlyAdministratorsSystemAndTheInstallerServiceOwnOrWrite) {
  const TAccessEntry Admins{0, Full, BA}, System{0, Full, SY};
  const struct {
    const char* Name;
    std::string Owner;
    std::vector<TAccessEntry> Entries;
    bool Open;
  } Cases[] = {
      {"admin-only", BA, {Admins, System, {0, ReadRun, "S-1-5-32-545"}}, false},
      {"installer service, creator owner", SY, {{0, Full, TI}, {0, Full, "S-1-3-0"}}, false},
      {"deny entries of every kind take away", TI, {{1, Full, "S-1-1-0"}, {6, Full, User}, {10, Full, User}, {12, Full, User}, Admins}, false},
      {"read through an object entry", BA, {Admins, {5, ReadRun, User}}, false},
      {"the program's own account owns it", User, {Admins}, true},
      {"users own it", "S-1-5-32-545", {Admins}, true},
      {"the program's own account writes", BA, {Admins, {0, Full, User}}, true},
      {"everyone adds folders", BA, {Admins, {0, 0x4, "S-1-1-0"}}, true},
      {"deletes inside, inherit only", BA, {Admins, {0, 0x10000, "S-1-5-11"}}, true},
      {"generic write", BA, {{0, 0x40000000, "S-1-5-32-545"}}, true},
      {"object entry", BA, {Admins, {5, 0x2, User}}, true},
      {"callback entry", BA, {Admins, {9, 0x10000000, User}}, true},
      {"callback object entry", BA, {Admins, {11, 0x40000, User}}, true},
      {"compound entry", BA, {Admins, {4, Full, ""}}, true},
      {"an entry of no known kind", BA, {Admins, {17, 0x1, "S-1-16-12288"}}, true},
  };
  for (const auto& Case : Cases) {
    TFolderSecurity Folder{true, true, Case.Owner, true, Case.Entries};
    EXPECT_EQ(OthersMayChange(Folder), Case.Open) << Case.Name;
    if (Case.Open) continue;
    // The same folder unread, without a DACL, or as a link is never trusted.
    TFolderSecurity Unread = Folder, NoDacl = Folder, Link = Folder;
    Unread.Read = false;
    NoDacl.HasDacl = false;
    Link.PlainFolder = false;
    EXPECT_TRUE(OthersMayChange(Unread) && OthersMayChange(NoDacl) && OthersMayChange(Link)) << Case.Name;
  }
}

}  // namespace
