// The update-information document's signatures: it ends with one or more
// lines "//ed25519:" followed by the base64 Ed25519 signature of every byte
// before the first of them, so one fetch and one cached copy keep both
// together, a vendor can sign with an old and a new key at once, and a
// reader of relaxed JSON takes the lines for comments.
#pragma once

#include <string>
#include <vector>

// Standard base64 alphabet with '=' padding.
std::string Base64Encode(const std::string& Bytes);
// Strict: false on any character outside the alphabet, bad padding or length.
bool Base64Decode(const std::string& Text, std::string& Bytes);
// The signature line for a 64-byte signature: "//ed25519:" + base64, no line end.
std::string SignatureLine(const std::string& Signature);
// Splits Document into the signed bytes (every byte before the first of its
// last lines that are signature lines, so they end with the previous line's
// "\n" or "\r\n") and the 64-byte signatures of those lines, in order. Lines
// end with "\r\n" or "\n"; the last one may have no line end. false when
// the last line is no signature line or no line comes before them.
bool SplitSignedDocument(const std::string& Document, std::string& Signed, std::vector<std::string>& Signatures);
// True when a signature line of Document signs the bytes before them with
// one of PublicKeys (comma-separated base64 of 32-byte keys).
bool VerifyDocument(const std::string& Document, const std::string& PublicKeys);
// The 64-byte detached signature of Bytes with SecretKey (libsodium's raw
// 64-byte secret key); empty when the key has another length.
std::string SignBytes(const std::string& Bytes, const std::string& SecretKey);
