#include "tests/fuzz/JsonRoundTrip.h"

#include "json/jsonobject.h"
#include "tests/fuzz/Utf8To16.h"

std::string JsonRoundTrip(const uint8_t* data, size_t size) {
  IJsonObjectPtr first = ParseJsonText(Utf8To16(data, size));
  if (!first) return std::string();
  std::u16string written = first->ToJsonText(false, false);
  IJsonObjectPtr second = ParseJsonText(written);
  if (!second) return "compact text of a parsed value does not parse";
  std::u16string rewritten = second->ToJsonText(false, false);
  // Numbers may settle on another kind once (a double that reads back as
  // currency); after that the text must stay the same.
  IJsonObjectPtr third = ParseJsonText(rewritten);
  if (!third || third->ToJsonText(false, false) != rewritten) return "written text is not stable";
  IJsonObjectPtr pretty = ParseJsonText(second->ToJsonText(true, true));
  if (!pretty || pretty->ToJsonText(false, false) != rewritten) return "indented, escaped text reads differently";
  return std::string();
}
