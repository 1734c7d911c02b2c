// Network routines of the shared utility unit: the conditional fetch of a
// small document into the per-user cache folder, with its entity-tag cache,
// and the file and profile helpers it stands on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

bool FileExists(const std::string& Name);
// Creates Folder (an absolute path) with all missing parents; true when it
// exists afterwards.
bool ForceFolder(const std::string& Folder);

#ifdef ZR_TEST_SEAMS
// Milliseconds from the environment variable Name, 0 when unset. Test
// builds only: whole-program tests widen race windows with it.
unsigned TestSeamMs(const char* Name);
#endif
// Milliseconds from the test build's environment variable Seam when it is
// set there, else Default (always Default in a release build).
unsigned SeamMsOr(const char* Seam, unsigned Default);

// Text after the last '/', '\' or ':', cut before the first '?'.
std::string UrlFileName(const std::string& Url);
// A longer update document is no answer; release notes of a megabyte fit.
const size_t MaxDocumentSize = 4 * 1024 * 1024;

// The file's bytes; empty when it is missing, unreadable or longer than
// MaxSize (nothing past MaxSize + 1 bytes is read).
std::string ReadFileText(const std::string& FileName, size_t MaxSize = SIZE_MAX);
// Writes Bytes to FileName + ".tmp" and puts that in place, so a write that
// fails half way (a full disk) leaves the earlier file whole.
bool SaveFileSafely(const std::string& FileName, const std::string& Bytes);
// Profile-function INI access: reading strips one pair of enclosing quotes.
std::string ReadIniString(const std::string& FileName, const std::string& Section,
                          const std::string& Key, const std::string& Default);
bool WriteIniString(const std::string& FileName, const std::string& Section,
                    const std::string& Key, const std::string& Value);
// What the server answered a document request with, for a caller that
// backs off: Status 0 when no answer arrived (offline, time-out, refused
// certificate); RetryAfter is the "Retry-After" header's text as sent,
// empty when absent.
struct TFetchAnswer {
  int Status = 0;
  std::string RetryAfter;
};

// GET through WinINet, conditional on the stored tag unless TagOverride is
// given ("0" sends no tag). The body of a 200 answer, or nothing; a body
// past MaxDocumentSize is no answer and is never held whole. The request
// ends within 10 s of its start however slowly the answer comes.
std::optional<std::string> GetUrlStream(const std::string& Url,
                                        const std::optional<std::string>& TagOverride = {},
                                        const std::string& CacheKey = "",
                                        const std::string& CacheFile = "",
                                        TFetchAnswer* Answer = nullptr);
// Fetches Url into the local copy (default: the cache folder + its file name)
// and returns the copy's path; the earlier copy stays when no body arrives.
// Empty when there is no copy at all. A body Accept refuses is not kept
// either: the earlier copy and its tag stay, so a forged answer neither
// replaces a good copy nor pins its tag on it.
std::string GetUrlFile(const std::string& Url, const std::string& LocalPath = "",
                       const std::function<bool(const std::string&)>& Accept = nullptr,
                       TFetchAnswer* Answer = nullptr);
