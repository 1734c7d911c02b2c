// Network routines of the shared utility unit: the conditional fetch of a
// small document into the per-user cache folder, with its entity-tag cache,
// and the file and profile helpers it stands on.
#pragma once

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

// Text after the last '/', '\' or ':', cut before the first '?'.
std::string UrlFileName(const std::string& Url);
// The file's bytes; empty when it is missing or unreadable.
std::string ReadFileText(const std::string& FileName);
// Writes Bytes to FileName + ".tmp" and puts that in place, so a write that
// fails half way (a full disk) leaves the earlier file whole.
bool SaveFileSafely(const std::string& FileName, const std::string& Bytes);
// Profile-function INI access: reading strips one pair of enclosing quotes.
std::string ReadIniString(const std::string& FileName, const std::string& Section,
                          const std::string& Key, const std::string& Default);
bool WriteIniString(const std::string& FileName, const std::string& Section,
                    const std::string& Key, const std::string& Value);
// GET through the platform's XMLHTTP object, conditional on the stored tag
// unless TagOverride is given ("0" sends no tag). The body of a 200 answer,
// or nothing. Needs COM initialised on the calling thread.
std::optional<std::string> GetUrlStream(const std::string& Url,
                                        const std::optional<std::string>& TagOverride = {},
                                        const std::string& CacheKey = "",
                                        const std::string& CacheFile = "");
// Fetches Url into the local copy (default: the cache folder + its file name)
// and returns the copy's path; the earlier copy stays when no body arrives.
// Empty when there is no copy at all. A body Accept refuses is not kept
// either: the earlier copy and its tag stay, so a forged answer neither
// replaces a good copy nor pins its tag on it.
std::string GetUrlFile(const std::string& Url, const std::string& LocalPath = "",
                       const std::function<bool(const std::string&)>& Accept = nullptr);
