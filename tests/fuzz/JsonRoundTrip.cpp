#include "tests/fuzz/JsonRoundTrip.h"

#include "json/jsonobject.h"
#include "tests/fuzz/Utf8To16.h"

std::string JsonRoundTrip(const uint8_t* data, size_t size) {
  std::u16string text = Utf8To16(data, size);
  IJsonObjectPtr first = ParseJsonText(text);
  if (!first) return std::string();
  // The parser stops at the first zero unit; what follows it is a path.
  size_t zero = text.find(u'\0');
  if (zero != std::u16string::npos) {
    IJsonObjectPtr found = first->GetPath(text.substr(zero + 1));
    if (found) found->ToText();
  }
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
