// Hosts that answered 503 or 429 with Retry-After: quiet runs send them
// nothing until the time they named, at most a day on, across runs (the
// per-user state keeps it).
#pragma once

#include <string>

// Whether quiet runs must leave Host alone now.
bool IsBackedOff(const std::string& Host);
// Notes an answer from Host; true when it asked for quiet (503 or 429 with a
// Retry-After in the future). RetryAfter is the header, empty when absent.
bool NoteRetryAfter(const std::string& Host, const std::string& Status, const std::string& RetryAfter);
