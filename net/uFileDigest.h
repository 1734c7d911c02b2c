// The SHA-256 of a file on disk, from the platform's CNG provider.
#pragma once

#include <windows.h>

#include <string>

#include "net/uVerify.h"

enum THashEnd { heDone, heStopped, heFailed };

// Reads the whole file in large pieces; heStopped as soon as Stop is set
// between two pieces, heFailed when the file cannot be read or CNG fails.
THashEnd FileSha256(const std::string& Path, HANDLE Stop, TSha256& Digest);
// The same for an open file, read from its current position to its end.
THashEnd FileSha256(HANDLE File, HANDLE Stop, TSha256& Digest);
