// Who may change the download folder: owners, every kind of entry, links.
#include "net/uFolderTrust.h"

#include <gtest/gtest.h>

namespace {

TEST(FolderTrust, OnlyAdministratorsSystemAndTheInstallerServiceOwnOrWrite) {
  const std::string BA = "S-1-5-32-544", User = "S-1-5-21-1-2-3-1001";  // the account a program runs as
  const TAccessEntry Admins{0, 0x1f01ff, BA}, System{0, 0x1f01ff, "S-1-5-18"};
  const struct {
    std::string Owner;
    std::vector<TAccessEntry> Entries;
    bool Open;
  } Cases[] = {
      {BA, {Admins, System, {0, 0x1200a9, "S-1-5-32-545"}}, false},  // users read and run
      {"S-1-5-18", {{0, 0x1f01ff, "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"}, {0, 0x1f01ff, "S-1-3-0"}}, false},
      {BA, {{1, 0x1f01ff, "S-1-1-0"}, {6, 1, User}, {10, 1, User}, {12, 1, User}, Admins}, false},  // denials
      {BA, {Admins, {5, 0x1200a9, User}}, false},  // reading through an object entry
      {User, {Admins}, true},
      {BA, {Admins, {0, 0x1f01ff, User}}, true},
      {BA, {{0, 0x40000000, "S-1-5-32-545"}}, true},     // generic write
      {BA, {Admins, {5, 0x2, User}}, true},              // object,
      {BA, {Admins, {9, 0x10000000, User}}, true},       // callback and
      {BA, {Admins, {4, 0x1f01ff, ""}}, true},           // compound entries
      {BA, {Admins, {17, 0x1, "S-1-16-12288"}}, true},   // an entry of no known kind
  };
  for (const auto& Case : Cases) {
    TFolderSecurity Folder{true, true, Case.Owner, true, Case.Entries}, Unread = Folder, NoDacl = Folder, Link = Folder;
    EXPECT_EQ(OthersMayChange(Folder), Case.Open) << &Case - Cases;
    Unread.Read = NoDacl.HasDacl = Link.PlainFolder = false;
    EXPECT_TRUE(OthersMayChange(Unread) && OthersMayChange(NoDacl) && OthersMayChange(Link));
  }
}

}  // namespace
