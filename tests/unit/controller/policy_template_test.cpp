// The administrative template against the policy the program reads: the
// files are well-formed XML, name its key, values and UpdateDefault's range,
// and every string and presentation they refer to is there in both languages.
#include <expat.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "app/uUpdateDecision.h"

namespace {

// "element.attribute" (without namespaces) -> the values found; empty when
// the file is not well-formed XML.
using TFound = std::map<std::string, std::set<std::string>>;
TFound ReadXml(const std::string& Path) {
  std::ostringstream Text;
  Text << std::ifstream(std::string(POLICY_DIR) + "/" + Path, std::ios::binary).rdbuf();
  TFound Found;
  XML_Parser Parser = XML_ParserCreateNS("UTF-8", '|');
  XML_SetUserData(Parser, &Found);
  XML_SetStartElementHandler(Parser, [](void* Data, const XML_Char* Name, const XML_Char** Attributes) {
    const char* Local = strrchr(Name, '|') ? strrchr(Name, '|') + 1 : Name;
    for (; *Attributes; Attributes += 2)
      (*static_cast<TFound*>(Data))[Local + std::string(".") + Attributes[0]].insert(Attributes[1]);
  });
  bool Good = XML_Parse(Parser, Text.str().data(), int(Text.str().size()), 1) == XML_STATUS_OK;
  XML_ParserFree(Parser);
  return Good ? Found : TFound{};
}

// The ids that Kind references ("$(string.id)") name anywhere in Found.
std::set<std::string> Referenced(const TFound& Found, const std::string& Kind) {
  std::set<std::string> Ids;
  for (const auto& Attribute : Found)
    for (const std::string& V : Attribute.second)
      if (V.rfind("$(" + Kind + ".", 0) == 0) Ids.insert(V.substr(Kind.size() + 3, V.size() - Kind.size() - 4));
  return Ids;
}

TEST(PolicyTemplate, NamesWhatTheProgramReadsInBothLanguages) {
  TFound Admx = ReadXml("ZeRunUpdate.admx");
  ASSERT_FALSE(Admx.empty());
  EXPECT_EQ(std::set<std::string>{POLICY_KEY}, Admx["policy.key"]);
  EXPECT_EQ(std::set<std::string>{"Machine"}, Admx["policy.class"]);
  EXPECT_EQ(std::set<std::string>{POLICY_UPDATE_DEFAULT}, Admx["enum.valueName"]);
  EXPECT_EQ(std::set<std::string>{POLICY_VERSION_PREFIX}, Admx["text.valueName"]);
  const std::set<std::string> Range = {std::to_string(pdNever), std::to_string(pdAsUsual),
                                       std::to_string(pdOnlyWhenAsked)};
  EXPECT_EQ(Range, Admx["decimal.value"]);
  for (const char* Language : {"en-US", "zh-CN"}) {
    TFound Adml = ReadXml(std::string(Language) + "/ZeRunUpdate.adml");
    ASSERT_FALSE(Adml.empty()) << Language;
    EXPECT_EQ(Referenced(Admx, "string"), Adml["string.id"]) << Language;
    EXPECT_EQ(Referenced(Admx, "presentation"), Adml["presentation.id"]) << Language;
    EXPECT_EQ(Admx["enum.id"], Adml["dropdownList.refId"]) << Language;
    EXPECT_EQ(Admx["text.id"], Adml["textBox.refId"]) << Language;
  }
}

}  // namespace
