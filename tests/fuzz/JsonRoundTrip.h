// The property the fuzz target and the corpus replay check on one input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Parses the input (UTF-8, stray bytes as single units), writes the result,
// parses that text again and writes it once more. Text after a zero byte is
// looked up as a path in the first tree. Returns an empty text when every
// step held, otherwise what broke.
std::string JsonRoundTrip(const uint8_t* data, size_t size);
