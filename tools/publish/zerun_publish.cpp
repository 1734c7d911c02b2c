// zerun-publish: makes and checks the signed update-information document a
// vendor puts on the update server.
//   keygen NAME    writes NAME.key (secret) and NAME.pub
//   make ...       writes the GBK document, signed
//   verify ...     checks a document's signature, members and installer
#include <errno.h>
#include <iconv.h>
#include <sodium.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "json/jsonobject.h"
#include "net/uSignature.h"
#include "net/uVerify.h"
#include "tools/publish/uPublish.h"

namespace {

const char USAGE[] =
    "usage:\n"
    "  zerun-publish keygen NAME\n"
    "      writes NAME.key (the secret key: keep it off the server) and NAME.pub\n"
    "  zerun-publish make --key NAME.key --installer FILE --version MAJOR.MINOR\n"
    "                     --url URL [--url URL ...] --notes NOTES.txt --out FILE\n"
    "      writes the signed update-information document (GBK); the notes are UTF-8\n"
    "  zerun-publish verify --pub NAME.pub --document FILE [--installer FILE]\n"
    "      checks the signature and the members, and the installer against them\n";

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

void WriteFile(const std::string& Name, const std::string& Bytes, mode_t Mode) {
  std::string Temp = Name + ".tmp";
  FILE* Out = std::fopen(Temp.c_str(), "wb");
  bool Ok = Out && chmod(Temp.c_str(), Mode) == 0 && std::fwrite(Bytes.data(), 1, Bytes.size(), Out) == Bytes.size();
  Ok = Out && std::fclose(Out) == 0 && Ok;
  if (!Ok || std::rename(Temp.c_str(), Name.c_str()) != 0) {
    std::remove(Temp.c_str());
    Fail("'" + Name + "' cannot be written");
  }
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

// Options of the form --name value; a name may repeat.
std::multimap<std::string, std::string> ParseOptions(int Argc, char** Argv, int First) {
  std::multimap<std::string, std::string> Options;
  for (int I = First; I < Argc; I += 2) {
    std::string Name = Argv[I];
    if (Name.rfind("--", 0) != 0 || I + 1 >= Argc) Fail("unexpected argument '" + Name + "'\n" + USAGE);
    Options.emplace(Name.substr(2), Argv[I + 1]);
  }
  return Options;
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
  WriteFile(Name + ".key", Secret + "\n", 0600);
  WriteFile(Name + ".pub", Public + "\n", 0644);
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

int Make(int Argc, char** Argv) {
  auto Options = ParseOptions(Argc, Argv, 2);
  CheckKnown(Options, {"key", "installer", "version", "url", "notes", "out"});
  std::string Secret = KeyFromFile(Option(Options, "key"), crypto_sign_SECRETKEYBYTES, "secret key");
  TRelease Release;
  if (!ParseVersionText(Option(Options, "version"), Release.Version))
    Fail("version '" + Option(Options, "version") + "' is not MAJOR.MINOR (two numbers of 0 to 65535, e.g. 1.2)");
  auto Urls = Options.equal_range("url");
  for (auto It = Urls.first; It != Urls.second; ++It) {
    if (!IsPublishableUrl(It->second))
      Fail("URL '" + It->second + "' is not an http:// or https:// address of printable characters");
    Release.Urls.push_back(It->second);
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
  std::string Out = Option(Options, "out");

  std::string Gbk;
  if (!Convert("UTF-8", "CP936", DocumentJson(Release), Gbk, Bad)) Fail("the document cannot be written in GBK");
  std::string Document = SignDocument(Gbk, Secret);
  // A secret key file whose halves do not belong together signs in vain.
  unsigned char Public[crypto_sign_PUBLICKEYBYTES];
  crypto_sign_ed25519_sk_to_pk(Public, reinterpret_cast<const unsigned char*>(Secret.data()));
  if (!VerifyDocument(Document, Base64Encode(std::string(reinterpret_cast<char*>(Public), sizeof Public))))
    Fail("the secret key is damaged: its signature does not verify with its own public key");
  WriteFile(Out, Document, 0644);
  std::cout << "wrote " << Out << ": version " << Option(Options, "version") << ", " << Release.Urls.size()
            << " URL(s), " << Release.Size << " bytes, SHA-256 " << Release.Sha256Hex << "\n";
  return 0;
}

int Verify(int Argc, char** Argv) {
  auto Options = ParseOptions(Argc, Argv, 2);
  CheckKnown(Options, {"pub", "document", "installer"});
  std::string PublicFile = Option(Options, "pub");
  std::string Public = KeyFromFile(PublicFile, crypto_sign_PUBLICKEYBYTES, "public key");
  std::string Name = Option(Options, "document");
  std::string Document = ReadFile(Name, "document");
  std::string Signed, Signature;
  if (!SplitSignedDocument(Document, Signed, Signature)) Fail("'" + Name + "' has no signature line at its end");
  if (!VerifyDocument(Document, Base64Encode(Public)))
    Fail("the signature of '" + Name + "' does not verify with '" + PublicFile +
         "': the document was altered or signed with another key");

  std::string Utf16;
  size_t Bad = 0;
  if (!Convert("CP936", "UTF-16LE", Signed, Utf16, Bad)) Fail("'" + Name + "' is not GBK text");
  IJsonObjectPtr Doc = ParseJsonText(std::u16string(reinterpret_cast<const char16_t*>(Utf16.data()), Utf16.size() / 2));
  TJsonArray* Urls = Doc ? Doc->GetPathArray(u"Urls") : nullptr;
  if (!Urls || Urls->Length() == 0) Fail("'" + Name + "' names no installer URL (\"Urls\")");
  IJsonObjectPtr Sha = Doc->GetPath(u"Sha256");
  IJsonObjectPtr Size = Doc->GetPath(u"Size");
  TSha256 Digest;
  std::string ShaText;
  if (Sha && Sha->IsType(skString))
    for (char16_t C : Sha->ToText()) ShaText += C < 0x80 ? static_cast<char>(C) : '?';
  if (!ParseSha256(ShaText, Digest)) Fail("'" + Name + "' has no \"Sha256\" of 64 hexadecimal digits");
  if (!Size || !Size->IsType(skInteger) || Size->ToInteger() <= 0)
    Fail("'" + Name + "' has no \"Size\" above 0");
  uint32_t Version = static_cast<uint32_t>(Doc->GetPathInteger(u"ver"));

  std::string Installer = Option(Options, "installer", false);
  if (!Installer.empty()) {
    uint64_t InstallerSize = 0;
    std::string Hex = InstallerDigest(Installer, InstallerSize);
    if (InstallerSize != static_cast<uint64_t>(Size->ToInteger()))
      Fail("installer '" + Installer + "' has " + std::to_string(InstallerSize) + " bytes; the document says " +
           std::to_string(Size->ToInteger()));
    if (Hex != Sha256Hex(Digest)) Fail("installer '" + Installer + "' has another SHA-256 than the document says");
  }
  std::cout << "ok: " << Name << " is signed by this key; version " << (Version >> 16) << "." << (Version & 0xFFFF)
            << ", " << Urls->Length() << " URL(s), " << Size->ToInteger() << " bytes"
            << (Installer.empty() ? "" : "; the installer matches") << "\n";
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
