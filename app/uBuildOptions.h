// What a program build is made for: where it asks for updates and whom it
// trusts to sign the answer. Each program target compiles uBuildOptions.cpp
// with its own values (see app/CMakeLists.txt).
#pragma once

// The whole URL of the update-information document, with its scheme.
extern const char* const UPDATE_INFO_URL;
// Base64 of the raw 32-byte Ed25519 public key the document must be signed
// with; empty when no signature is required.
extern const char* const UPDATE_PUBLIC_KEY;
