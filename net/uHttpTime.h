// Times as the document and HTTP headers write them, as seconds since
// 1970-01-01 00:00:00 UTC. Portable.
#pragma once

#include <cstdint>
#include <string>

// "YYYY-MM-DDTHH:MM:SSZ" with its fields in range; false for any other form.
bool UtcTimeSeconds(const std::string& Text, int64_t& Seconds);
std::string UtcTimeText(int64_t Seconds);
// An HTTP date in its one current form, "Sun, 06 Nov 1994 08:49:37 GMT".
bool HttpDateSeconds(const std::string& Text, int64_t& Seconds);
// Until when a Retry-After header (delay seconds or an HTTP date) received
// at Now asks for quiet, at most 24 hours on; Now itself for a text that is
// neither, or a time already past.
int64_t RetryAfterUntil(const std::string& Header, int64_t Now);
