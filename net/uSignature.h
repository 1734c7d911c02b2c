// The update-information document's signature: its last line is
// "//ed25519:" followed by the base64 Ed25519 signature of every byte before
// that line, so one fetch and one cached copy keep both together, and a
// reader of relaxed JSON takes the line for a comment.
#pragma once

#include <string>

// Standard base64 alphabet with '=' padding.
std::string Base64Encode(const std::string& Bytes);
// Strict: false on any character outside the alphabet, bad padding or length.
bool Base64Decode(const std::string& Text, std::string& Bytes);
// The signature line for a 64-byte signature: "//ed25519:" + base64, no line end.
std::string SignatureLine(const std::string& Signature);
// Splits Document into the signed bytes (every byte before the last line, so
// they end with the previous line's "\n" or "\r\n") and the 64-byte signature
// of its last line, "//ed25519:" + base64, optionally followed by "\r\n" or "\n".
// false when there is no such last line or no line before it.
bool SplitSignedDocument(const std::string& Document, std::string& Signed, std::string& Signature);
// True when Document's last line signs the bytes before it with PublicKeyBase64.
bool VerifyDocument(const std::string& Document, const std::string& PublicKeyBase64);
// The 64-byte detached signature of Bytes with SecretKey (libsodium's raw
// 64-byte secret key); empty when the key has another length.
std::string SignBytes(const std::string& Bytes, const std::string& SecretKey);
