// The document's signature line: base64, the split of the last line, and
// what verifies.
#include "net/uSignature.h"

#include <gtest/gtest.h>
#include <sodium.h>

namespace {

TEST(Base64, RoundTripsAndRefusesAnythingNotStrictlyEncoded) {
  const struct {
    std::string Bytes, Text;
  } Pairs[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"},
      {std::string("\xfb\xff\x00", 3), "+/8A"},
  };
  for (const auto& P : Pairs) {
    SCOPED_TRACE(P.Text);
    EXPECT_EQ(Base64Encode(P.Bytes), P.Text);
    std::string Bytes = "left over";
    ASSERT_TRUE(Base64Decode(P.Text, Bytes));
    EXPECT_EQ(Bytes, P.Bytes);
  }
  for (const char* Bad : {"Zg", "Zg=", "Zg===", "Zm9v=", "Zg==Zg==", "=", "Zm9vY", "Zh==", "Zm 9v", "Zm9v\n",
                          "Zm-_", "Zm9\xc3\xa9", " Zm9v"}) {
    SCOPED_TRACE(Bad);
    std::string Bytes;
    EXPECT_FALSE(Base64Decode(Bad, Bytes));
  }
  std::string Bytes;
  EXPECT_FALSE(Base64Decode(std::string("Zm9v\0Zm9v", 9), Bytes));
}

struct KeyPair {
  std::string Public, Secret;
  KeyPair() : Public(crypto_sign_PUBLICKEYBYTES, '\0'), Secret(crypto_sign_SECRETKEYBYTES, '\0') {
    EXPECT_GE(sodium_init(), 0);
    crypto_sign_keypair(reinterpret_cast<unsigned char*>(&Public[0]), reinterpret_cast<unsigned char*>(&Secret[0]));
  }
};

TEST(SignedDocument, OnlyTheLastLineSigningEveryByteBeforeItVerifies) {
  const KeyPair Key, Other;
  const std::string Lf = "{\"Urls\":[\"http://h/a.exe\"],\"ver\":65538,\n\"Msg\":\"x\"}\n";
  const std::string Crlf = "{\"Urls\":[\"http://h/a.exe\"],\"ver\":65538,\r\n\"Msg\":\"x\"}\r\n";
  auto Line = [](const std::string& Body, const KeyPair& K) { return SignatureLine(SignBytes(Body, K.Secret)); };
  std::string Altered = Lf;
  Altered[10] ^= 1;
  std::string AlteredSignature = Line(Lf, Key);
  AlteredSignature[20] = AlteredSignature[20] == 'A' ? 'B' : 'A';
  const struct {
    const char* Name;
    std::string Document;
    std::string Signed;  // empty: no split
    bool Verifies;
  } Cases[] = {
      {"lf", Lf + Line(Lf, Key) + "\n", Lf, true},
      {"crlf", Crlf + Line(Crlf, Key) + "\r\n", Crlf, true},
      {"no final line end", Lf + Line(Lf, Key), Lf, true},
      {"crlf body, lf after the signature", Crlf + Line(Crlf, Key) + "\n", Crlf, true},
      {"signature not at the start of its line", "{}\n}" + Line("{}\n}", Key), "", false},
      {"body changed", Altered + Line(Lf, Key), Altered, false},
      {"signature changed", Lf + AlteredSignature, Lf, false},
      {"line ends changed", Crlf + Line(Lf, Key), Crlf, false},
      {"another key", Lf + Line(Lf, Other) + "\n", Lf, false},
      {"no signature line", Lf, "", false},
      {"signature line not last", Lf + Line(Lf, Key) + "\n// more\n", "", false},
      {"a blank line after it", Lf + Line(Lf, Key) + "\n\n", "", false},
      {"a lone carriage return after it", Lf + Line(Lf, Key) + "\r", "", false},
      {"a space after it", Lf + Line(Lf, Key) + " \n", "", false},
      {"empty signed part", Line("", Key), "", false},
      {"short signature", Lf + "//ed25519:" + Base64Encode(std::string(63, 'x')), "", false},
      {"other prefix", Lf + "//ed25518:" + Line(Lf, Key).substr(10), "", false},
      {"empty document", "", "", false},
      {"two lines, the second with the key", Lf + Line(Lf, Other) + "\r\n" + Line(Lf, Key) + "\n", Lf, true},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::string Signed;
    std::vector<std::string> Signatures;
    ASSERT_EQ(SplitSignedDocument(C.Document, Signed, Signatures), !C.Signed.empty());
    if (!C.Signed.empty()) {
      EXPECT_EQ(Signed, C.Signed);
      for (const std::string& Signature : Signatures) EXPECT_EQ(Signature.size(), 64u);
    }
    EXPECT_EQ(VerifyDocument(C.Document, Base64Encode(Key.Public)), C.Verifies);
  }
  // Any of several keys; a malformed one beside them spoils nothing.
  EXPECT_TRUE(VerifyDocument(Lf + Line(Lf, Key), "bad," + Base64Encode(Other.Public) + "," + Base64Encode(Key.Public)));
  EXPECT_FALSE(VerifyDocument(Lf + Line(Lf, Key), Base64Encode(Other.Public) + ","));
  // A key that is not 32 bytes of base64 verifies nothing.
  const std::string Good = Lf + Line(Lf, Key);
  for (const std::string& Bad : {std::string(), Base64Encode(Key.Public.substr(1)), Base64Encode(Key.Public) + " "})
    EXPECT_FALSE(VerifyDocument(Good, Bad)) << Bad;
  EXPECT_EQ(SignBytes(Lf, Key.Secret.substr(1)), "");
}

}  // namespace
