// zerun-publish: makes and checks the signed update-information document a
// vendor puts on the update server.
//   keygen NAME    writes NAME.key (secret) and NAME.pub
//   make ...       writes the ASCII document, signed
//   verify ...     checks a document's signatures, members and installer
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/uUpdateDecision.h"
#include "json/jsonobject.h"
#include "net/uHttpTime.h"
#include "net/uSignature.h"
#include "net/uVerify.h"
#include "tools/publish/uPublish.h"

namespace {

const char USAGE[] =
    "usage:\n"
    "  zerun-publish keygen NAME\n"
    "      writes NAME.key (the secret key: keep it off the server) and NAME.pub\n"
    "  zerun-publish make --key NAME.key [--key NAME.key ...] --installer FILE\n"
    "                     --version MAJOR.MINOR --url URL [--url URL ...]\n"
    "                     --notes NOTES.txt --out FILE [--expires-in DAYS]\n"
    "                     [--rollout PERCENT] [--critical] [--allow-downgrade] [--force]\n"
    "      writes the update-information document (ASCII), signed with each key\n"
    "      and stamped with the signing time; each --url is a mirror of the one\n"
    "      installer, tried in order; the notes are UTF-8; it expires in DAYS days\n"
    "      (90 unless given); quiet runs offer it to PERCENT % of machines (all\n"
    "      unless given, or with --critical); --force replaces an existing FILE,\n"
    "      never a key\n"
    "  zerun-publish verify --pub NAME.pub [--pub NAME.pub ...] --document FILE\n"
    "                       [--installer FILE]\n"
    "      checks the signature of each key and the members, and the installer\n";

const int kDefaultExpiryDays = 90;
const int kMostExpiryDays = 3650;

// Thrown for bad input; the text is the whole message.
struct TFailure {
  std::string Text;
};

[[noreturn]] void Fail(const std::string& Text) { throw TFailure{Text}; }

std::string ReadFile(const std::string& Name, const char* What) {
  std::ifstream In(Name, std::ios::binary);
  if (!In) Fail(std::string(What) + " '" + Name + "' cannot be read");
  std::ostringstream Bytes;
  Bytes << In.rdbuf();
  return Bytes.str();
}

// Writes Bytes to a new file beside Name, readable by its owner only until
// it has Mode, and puts it in place: over an existing Name only when
// Replace, else by a link that fails when Name exists in any form.
void WriteFile(const std::string& Name, const std::string& Bytes, mode_t Mode, bool Replace) {
  std::string Temp = Name + ".XXXXXX";
  int Fd = mkstemp(&Temp[0]);  // mode 0600, never an existing file
  if (Fd < 0) Fail("'" + Name + "' cannot be written");
  bool Ok = fchmod(Fd, Mode) == 0 && write(Fd, Bytes.data(), Bytes.size()) == static_cast<ssize_t>(Bytes.size());
  Ok = close(Fd) == 0 && Ok;
  int Placed = !Ok ? -1 : Replace ? std::rename(Temp.c_str(), Name.c_str()) : link(Temp.c_str(), Name.c_str());
  int Error = errno;
  if (Placed != 0 || !Replace) unlink(Temp.c_str());
  if (Placed != 0 && Error == EEXIST) Fail("'" + Name + "' exists already");
  if (Placed != 0) Fail("'" + Name + "' cannot be written");
}

bool Exists(const std::string& Name) {
  struct stat Info;
  return stat(Name.c_str(), &Info) == 0;
}

// Converts Text between two iconv code sets; false with the offset of the
// first byte that cannot be converted.
bool Convert(const char* From, const char* To, const std::string& Text, std::string& Out, size_t& BadOffset) {
  iconv_t Cd = iconv_open(To, From);
  if (Cd == reinterpret_cast<iconv_t>(-1)) Fail(std::string("no conversion from ") + From + " to " + To);
  Out.assign(Text.size() * 4 + 4, '\0');
  char* In = const_cast<char*>(Text.data());
  size_t InLeft = Text.size();
  char* Dest = &Out[0];
  size_t DestLeft = Out.size();
  size_t Result = iconv(Cd, &In, &InLeft, &Dest, &DestLeft);
  iconv_close(Cd);
  BadOffset = Text.size() - InLeft;
  Out.resize(Out.size() - DestLeft);
  return Result != static_cast<size_t>(-1);
}

// Options of the form --name value, or --name alone for one of Flags; a
// name may repeat.
std::multimap<std::string, std::string> ParseOptions(int Argc, char** Argv, int First,
                                                     const std::vector<std::string>& Flags = {}) {
  std::multimap<std::string, std::string> Options;
  for (int I = First; I < Argc; I += 2) {
    std::string Name = Argv[I];
    bool Flag = Name.size() > 2 && std::find(Flags.begin(), Flags.end(), Name.substr(2)) != Flags.end();
    if (Name.rfind("--", 0) != 0 || (!Flag && I + 1 >= Argc)) Fail("unexpected argument '" + Name + "'\n" + USAGE);
    Options.emplace(Name.substr(2), Flag ? "" : Argv[I + 1]);
    I -= Flag;
  }
  return Options;
}

std::vector<std::string> Values(const std::multimap<std::string, std::string>& Options, const std::string& Name) {
  std::vector<std::string> Found;
  auto Range = Options.equal_range(Name);
  for (auto It = Range.first; It != Range.second; ++It) Found.push_back(It->second);
  return Found;
}

std::string Option(const std::multimap<std::string, std::string>& Options, const std::string& Name,
                   bool Required = true) {
  auto Found = Options.find(Name);
  if (Found != Options.end()) return Found->second;
  if (Required) Fail("--" + Name + " is missing\n" + USAGE);
  return "";
}

void CheckKnown(const std::multimap<std::string, std::string>& Options, const std::vector<std::string>& Known) {
  for (const auto& Entry : Options) {
    bool Found = false;
    for (const std::string& Name : Known) Found = Found || Entry.first == Name;
    if (!Found) Fail("unknown option --" + Entry.first + "\n" + USAGE);
  }
}

std::string KeyFromFile(const std::string& Name, size_t Length, const char* What) {
  std::string Key;
  if (!ReadKeyText(ReadFile(Name, What), Length, Key))
    Fail("'" + Name + "' is no " + What + " (one base64 line of " + std::to_string(Length) + " bytes)");
  return Key;
}

// The installer's SHA-256 as hexadecimal digits, and its size.
std::string InstallerDigest(const std::string& Name, uint64_t& Size) {
  std::ifstream In(Name, std::ios::binary);
  if (!In) Fail("installer '" + Name + "' cannot be read");
  crypto_hash_sha256_state State;
  crypto_hash_sha256_init(&State);
  std::vector<char> Piece(1 << 20);
  Size = 0;
  while (In) {
    In.read(Piece.data(), static_cast<std::streamsize>(Piece.size()));
    std::streamsize Got = In.gcount();
    crypto_hash_sha256_update(&State, reinterpret_cast<unsigned char*>(Piece.data()), static_cast<size_t>(Got));
    Size += static_cast<uint64_t>(Got);
  }
  if (In.bad()) Fail("installer '" + Name + "' cannot be read");
  TSha256 Digest;
  crypto_hash_sha256_final(&State, Digest.data());
  return Sha256Hex(Digest);
}

int Keygen(int Argc, char** Argv) {
  if (Argc != 3) Fail(std::string("keygen takes one NAME\n") + USAGE);
  std::string Name = Argv[2];
  if (Exists(Name + ".key") || Exists(Name + ".pub"))
    Fail("'" + Name + ".key' or '" + Name + ".pub' exists already; a key is never overwritten");
  std::string Secret, Public;
  MakeKeyPair(Secret, Public);
  WriteFile(Name + ".key", Secret + "\n", 0600, false);
  WriteFile(Name + ".pub", Public + "\n", 0644, false);
  std::cout << "wrote " << Name << ".key (secret) and " << Name << ".pub\n"
            << "build the program with -DZERUN_PUBLIC_KEY=" << Public << "\n";
  return 0;
}

// The notes in GBK, or the line that holds a character GBK has not.
void CheckNotesFitGbk(const std::string& Notes) {
  std::string Gbk;
  size_t Bad = 0;
  if (Convert("UTF-8", "CP936", Notes, Gbk, Bad)) return;
  size_t Line = 1;
  for (size_t I = 0; I < Bad; ++I) Line += Notes[I] == '\n';
  Fail("the notes hold a character that GBK cannot hold, on line " + std::to_string(Line));
}

// Whether the file Name holds a key, or is named like one.
bool IsKeyFile(const std::string& Name) {
  auto EndsWith = [&](const std::string& End) {
    return Name.size() >= End.size() && Name.compare(Name.size() - End.size(), End.size(), End) == 0;
  };
  std::ifstream In(Name, std::ios::binary);
  std::string Head(200, '\0'), Key;
  In.read(&Head[0], static_cast<std::streamsize>(Head.size()));
  Head.resize(static_cast<size_t>(In.gcount()));
  return EndsWith(".key") || EndsWith(".pub") || ReadKeyText(Head, crypto_sign_SECRETKEYBYTES, Key) ||
         ReadKeyText(Head, crypto_sign_PUBLICKEYBYTES, Key);
}

// The decimal number Text when it is one from Least to Most; else fails
// naming Option and What it counts.
int NumberOption(const std::string& Text, int Least, int Most, const char* Option, const char* What) {
  int Count = 0;
  for (char C : Text) Count = C >= '0' && C <= '9' && Count <= Most ? Count * 10 + (C - '0') : -1;
  if (Text.empty() || Count < Least || Count > Most)
    Fail(std::string(Option) + " '" + Text + "' is not a number of " + What + " from " + std::to_string(Least) +
         " to " + std::to_string(Most));
  return Count;
}

// The time Days days from now as "YYYY-MM-DDTHH:MM:SSZ".
std::string ExpiryText(const std::string& Days) {
  int Count = NumberOption(Days, 1, kMostExpiryDays, "--expires-in", "days");
  return UtcTimeText(static_cast<int64_t>(std::time(nullptr)) + static_cast<int64_t>(Count) * 86400);
}

// The time now as "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcNow() { return UtcTimeText(static_cast<int64_t>(std::time(nullptr))); }

// Who quiet runs offer the release to.
std::string RolloutText(int Percent, bool Critical) {
  if (Critical) return "critical: offered to every machine";
  return "offered to " + std::to_string(Percent) + " % of machines";
}

// The secret keys, each checked to sign what its own public half verifies.
std::vector<std::string> SecretKeys(const std::multimap<std::string, std::string>& Options) {
  std::vector<std::string> Keys;
  for (const std::string& Name : Values(Options, "key")) {
    std::string Secret = KeyFromFile(Name, crypto_sign_SECRETKEYBYTES, "secret key");
    unsigned char Public[crypto_sign_PUBLICKEYBYTES];
    crypto_sign_ed25519_sk_to_pk(Public, reinterpret_cast<const unsigned char*>(Secret.data()));
    if (!VerifyDocument(SignDocument("{}", {Secret}), Base64Encode(std::string(reinterpret_cast<char*>(Public), sizeof Public))))
      Fail("the secret key '" + Name + "' is damaged: its signature does not verify with its own public key");
    Keys.push_back(Secret);
  }
  if (Keys.empty()) Fail(std::string("--key is missing\n") + USAGE);
  return Keys;
}

int Make(int Argc, char** Argv) {
  auto Options = ParseOptions(Argc, Argv, 2, {"allow-downgrade", "force", "critical"});
  CheckKnown(Options, {"key", "installer", "version", "url", "notes", "out", "expires-in", "allow-downgrade", "force",
                       "rollout", "critical"});
  std::string Out = Option(Options, "out");
  bool Force = Options.count("force") > 0;
  if (Exists(Out) && IsKeyFile(Out)) Fail("'" + Out + "' is a key file; it is never overwritten");
  if (Exists(Out) && !Force) Fail("'" + Out + "' exists already; --force replaces it");
  std::vector<std::string> Secrets = SecretKeys(Options);
  TRelease Release;
  if (!ParseVersionText(Option(Options, "version"), Release.Version))
    Fail("version '" + Option(Options, "version") + "' is not MAJOR.MINOR (two numbers of 0 to 65535, e.g. 1.2)");
  for (const std::string& Url : Values(Options, "url")) {
    if (!IsPublishableUrl(Url)) Fail("URL '" + Url + "' is not an http:// or https:// address of printable characters");
    Release.Urls.push_back(Url);
  }
  if (Release.Urls.empty()) Fail(std::string("--url is missing\n") + USAGE);
  std::string NotesFile = Option(Options, "notes");
  std::string Notes = ReadFile(NotesFile, "notes"), Utf16;
  size_t Bad = 0;
  if (!Convert("UTF-8", "UTF-16LE", Notes, Utf16, Bad)) Fail("notes '" + NotesFile + "' are not UTF-8 text");
  Release.Notes = NotesText(Notes);
  CheckNotesFitGbk(Release.Notes);
  std::string Installer = Option(Options, "installer");
  Release.Sha256Hex = InstallerDigest(Installer, Release.Size);
  if (Release.Size == 0) Fail("installer '" + Installer + "' is empty");
  std::string Days = Option(Options, "expires-in", false);
  Release.Expires = ExpiryText(Days.empty() ? std::to_string(kDefaultExpiryDays) : Days);
  Release.AllowDowngrade = Options.count("allow-downgrade") > 0;
  std::string Percent = Option(Options, "rollout", false);
  if (Options.count("rollout")) Release.Rollout = NumberOption(Percent, 0, 100, "--rollout", "percent");
  Release.Critical = Options.count("critical") > 0;
  Release.Published = UtcNow();

  WriteFile(Out, SignDocument(DocumentJson(Release), Secrets), 0644, Force);
  std::cout << "wrote " << Out << ": version " << Option(Options, "version") << ", " << Release.Urls.size()
            << " URL(s), " << Release.Size << " bytes, SHA-256 " << Release.Sha256Hex << ", expires "
            << Release.Expires << (Release.AllowDowngrade ? ", may replace a later version" : "") << ", "
            << RolloutText(Release.Rollout, Release.Critical) << ", published " << Release.Published << ", "
            << Secrets.size() << " signature(s)\n";
  return 0;
}

// A member's text when it is a string of ASCII characters, else "?".
std::string AsciiText(const IJsonObjectPtr& Value) {
  std::string Text;
  if (!Value || !Value->IsType(skString)) return "?";
  for (char16_t C : Value->ToText()) Text += C < 0x80 ? static_cast<char>(C) : '?';
  return Text;
}

int Verify(int Argc, char** Argv) {
  auto Options = ParseOptions(Argc, Argv, 2);
  CheckKnown(Options, {"pub", "document", "installer"});
  std::string Name = Option(Options, "document");
  std::string Document = ReadFile(Name, "document");
  std::string Signed;
  std::vector<std::string> Signatures;
  if (!SplitSignedDocument(Document, Signed, Signatures)) Fail("'" + Name + "' has no signature line at its end");
  Option(Options, "pub");  // fails when none is given
  for (const std::string& PublicFile : Values(Options, "pub"))
    if (!VerifyDocument(Document, Base64Encode(KeyFromFile(PublicFile, crypto_sign_PUBLICKEYBYTES, "public key"))))
      Fail("the signature of '" + Name + "' does not verify with '" + PublicFile +
           "': the document was altered or signed with another key");

  // Read as a signed build reads it: GBK, nothing after the value but
  // comments, no member named twice.
  std::string Utf16;
  size_t Bad = 0;
  if (!Convert("CP936", "UTF-16LE", Signed, Utf16, Bad)) Fail("'" + Name + "' is not GBK text");
  IJsonObjectPtr Doc =
      ParseJsonDocument(std::u16string(reinterpret_cast<const char16_t*>(Utf16.data()), Utf16.size() / 2));
  if (!Doc)
    Fail("'" + Name + "' is not one JSON object alone, with each member once: updaters with a key refuse it");
  TJsonArray* Urls = Doc->GetPathArray(u"Urls");
  if (!Urls || Urls->Length() == 0) Fail("'" + Name + "' names no installer URL (\"Urls\")");
  IJsonObjectPtr Size = Doc->GetPath(u"Size");
  TSha256 Digest;
  if (!ParseSha256(AsciiText(Doc->GetPath(u"Sha256")), Digest))
    Fail("'" + Name + "' has no \"Sha256\" of 64 hexadecimal digits");
  if (!Size || !Size->IsType(skInteger) || Size->ToInteger() <= 0)
    Fail("'" + Name + "' has no \"Size\" above 0");
  std::string Expires = Doc->GetPath(u"Expires") ? AsciiText(Doc->GetPath(u"Expires")) : "";
  if (!InDate(Expires, UtcNow()))
    Fail("'" + Name + "' has expired or has an \"Expires\" that is no time (" + Expires + "): updaters refuse it");
  uint32_t Version = static_cast<uint32_t>(Doc->GetPathInteger(u"ver"));
  IJsonObjectPtr Downgrade = Doc->GetPath(u"AllowDowngrade");
  IJsonObjectPtr Rollout = Doc->GetPath(u"Rollout");
  if (Rollout && !(Rollout->IsType(skInteger) && Rollout->ToInteger() >= 0 && Rollout->ToInteger() <= 100))
    Fail("'" + Name + "' has a \"Rollout\" that is no whole percentage from 0 to 100: updaters refuse it");
  IJsonObjectPtr Critical = Doc->GetPath(u"Critical");
  std::string Published = Doc->GetPath(u"Published") ? AsciiText(Doc->GetPath(u"Published")) : "";
  if (!MayActPublished(Published, "", UtcNow()))
    Fail("'" + Name + "' has a \"Published\" that is no time or more than a day ahead (" + Published +
         "): updaters refuse it");

  std::string Installer = Option(Options, "installer", false);
  if (!Installer.empty()) {
    uint64_t InstallerSize = 0;
    std::string Hex = InstallerDigest(Installer, InstallerSize);
    if (InstallerSize != static_cast<uint64_t>(Size->ToInteger()))
      Fail("installer '" + Installer + "' has " + std::to_string(InstallerSize) + " bytes; the document says " +
           std::to_string(Size->ToInteger()));
    if (Hex != Sha256Hex(Digest)) Fail("installer '" + Installer + "' has another SHA-256 than the document says");
  }
  std::cout << "ok: " << Name << " is signed by " << (Options.count("pub") > 1 ? "each key" : "this key")
            << "; version " << (Version >> 16) << "." << (Version & 0xFFFF) << ", " << Urls->Length() << " URL(s), "
            << Size->ToInteger() << " bytes, " << (Expires.empty() ? "never expires" : "expires " + Expires)
            << (Downgrade && Downgrade->IsType(skBoolean) && Downgrade->ToBoolean() ? ", may replace a later version" : "")
            << ", " << RolloutText(Rollout ? static_cast<int>(Rollout->ToInteger()) : 100,
                                   Critical && Critical->IsType(skBoolean) && Critical->ToBoolean())
            << ", " << (Published.empty() ? "not published (older updaters' form)" : "published " + Published)
            << (Installer.empty() ? "" : "; the installer matches") << "\n";
  for (int I = 0; I < Urls->Length(); ++I) std::cout << "  mirror " << I + 1 << ": " << AsciiText(Urls->ItemAt(I)) << "\n";
  return 0;
}

}  // namespace

int main(int Argc, char** Argv) {
  if (sodium_init() < 0) {
    std::cerr << "zerun-publish: libsodium cannot start\n";
    return 1;
  }
  std::string Command = Argc > 1 ? Argv[1] : "";
  try {
    if (Command == "keygen") return Keygen(Argc, Argv);
    if (Command == "make") return Make(Argc, Argv);
    if (Command == "verify") return Verify(Argc, Argv);
    std::cerr << USAGE;
    return 2;
  } catch (const TFailure& Failure) {
    std::cerr << "zerun-publish: " << Failure.Text << "\n";
    return 1;
  }
}
