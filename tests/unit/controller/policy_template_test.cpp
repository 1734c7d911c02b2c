// The administrative template against the policy the program reads: the
// files are well-formed, name its key, values and UpdateDefault's range, and
// every string and presentation they refer to is there in both languages.
#include <expat.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/uUpdateDecision.h"

namespace {

struct Element {
  std::string Name;  // without the namespace
  std::map<std::string, std::string> Attributes;
  std::string Parent;
};

// Every element of a file in document order; empty when it is not well-formed.
std::vector<Element> ReadXml(const std::string& Path) {
  std::ifstream In(std::string(POLICY_DIR) + "/" + Path, std::ios::binary);
  std::stringstream Text;
  Text << In.rdbuf();
  struct State {
    std::vector<Element> All;
    std::vector<std::string> Open;
  } S;
  XML_Parser Parser = XML_ParserCreateNS("UTF-8", '|');
  XML_SetUserData(Parser, &S);
  XML_SetElementHandler(
      Parser,
      [](void* Data, const XML_Char* Name, const XML_Char** Attributes) {
        auto& S = *static_cast<State*>(Data);
        std::string Local = Name;
        Element E{Local.substr(Local.find('|') + 1), {}, S.Open.empty() ? "" : S.Open.back()};
        for (; *Attributes; Attributes += 2) E.Attributes[Attributes[0]] = Attributes[1];
        S.Open.push_back(E.Name);
        S.All.push_back(E);
      },
      [](void* Data, const XML_Char*) { static_cast<State*>(Data)->Open.pop_back(); });
  bool Good = !Text.str().empty() && XML_Parse(Parser, Text.str().data(), int(Text.str().size()), 1) == XML_STATUS_OK;
  XML_ParserFree(Parser);
  return Good ? S.All : std::vector<Element>{};
}

// The ids an attribute value refers to as "$(Kind.id)".
void Refer(const std::string& Value, const std::string& Kind, std::set<std::string>& Ids) {
  const std::string Start = "$(" + Kind + ".";
  if (Value.compare(0, Start.size(), Start) == 0) Ids.insert(Value.substr(Start.size(), Value.size() - Start.size() - 1));
}

TEST(PolicyTemplate, NamesWhatTheProgramReadsInBothLanguages) {
  std::vector<Element> Admx = ReadXml("ZeRunUpdate.admx");
  ASSERT_FALSE(Admx.empty());
  std::set<std::string> Values, Strings, Presentations, ElementIds, Keys;
  std::vector<std::string> Range;
  for (const Element& E : Admx) {
    for (const auto& A : E.Attributes) Refer(A.second, "string", Strings), Refer(A.second, "presentation", Presentations);
    if (E.Name == "policy") Keys.insert(E.Attributes.at("key") + " " + E.Attributes.at("class"));
    if (E.Name == "enum" || E.Name == "text") Values.insert(E.Attributes.at("valueName")), ElementIds.insert(E.Attributes.at("id"));
    if (E.Name == "decimal") Range.push_back(E.Attributes.at("value"));
  }
  EXPECT_EQ(std::set<std::string>{std::string(POLICY_KEY) + " Machine"}, Keys);
  EXPECT_EQ((std::set<std::string>{POLICY_UPDATE_DEFAULT, POLICY_VERSION_PREFIX}), Values);
  EXPECT_EQ((std::vector<std::string>{std::to_string(pdNever), std::to_string(pdAsUsual),
                                      std::to_string(pdOnlyWhenAsked)}),
            Range);

  for (const char* Language : {"en-US", "zh-CN"}) {
    std::vector<Element> Adml = ReadXml(std::string(Language) + "/ZeRunUpdate.adml");
    ASSERT_FALSE(Adml.empty()) << Language;
    std::set<std::string> HasStrings, HasPresentations, RefIds;
    for (const Element& E : Adml) {
      if (E.Name == "string") HasStrings.insert(E.Attributes.at("id"));
      if (E.Name == "presentation") HasPresentations.insert(E.Attributes.at("id"));
      if (E.Attributes.count("refId")) RefIds.insert(E.Attributes.at("refId"));
    }
    EXPECT_EQ(Strings, HasStrings) << Language;
    EXPECT_EQ(Presentations, HasPresentations) << Language;
    EXPECT_EQ(ElementIds, RefIds) << Language;
  }
}

}  // namespace
