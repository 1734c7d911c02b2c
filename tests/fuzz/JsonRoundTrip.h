// The property the fuzz target and the corpus replay check on one input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Parses the input (UTF-8, stray bytes as single units), writes the result,
// parses that text again and writes it once more; the input also serves as a
// path into the first tree. Returns an empty text when
// every step held, otherwise what broke.
std::string JsonRoundTrip(const uint8_t* data, size_t size);
