// Cross-check against RapidJSON on strict JSON: both trees must have the same
// shape, the same texts and equal numbers (member order aside).
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include "bench/json/MixedDocument.h"
#include "json/jsonobject.h"
#include "json/jsontokenizer.h"
#include "tests/fuzz/Utf8To16.h"

namespace {

void ExpectSameTree(const rapidjson::Value& peer, const IJsonObjectPtr& ours, const std::string& where) {
  ASSERT_TRUE(ours) << where;
  switch (peer.GetType()) {
    case rapidjson::kNullType: EXPECT_EQ(skNull, ours->Kind()) << where; break;
    case rapidjson::kFalseType:
    case rapidjson::kTrueType:
      ASSERT_EQ(skBoolean, ours->Kind()) << where;
      EXPECT_EQ(peer.GetBool(), ours->ToBoolean()) << where;
      break;
    case rapidjson::kStringType:
      ASSERT_EQ(skString, ours->Kind()) << where;
      EXPECT_EQ(Utf8To16(std::string(peer.GetString(), peer.GetStringLength())), ours->ToText()) << where;
      break;
    case rapidjson::kNumberType:
      ASSERT_TRUE(ours->IsType(skInteger) || ours->IsType(skCurrency) || ours->IsType(skDouble)) << where;
      if (peer.IsInt64() && ours->IsType(skInteger)) EXPECT_EQ(peer.GetInt64(), ours->ToInteger()) << where;
      else EXPECT_DOUBLE_EQ(peer.GetDouble(), ours->ToDouble()) << where;
      break;
    case rapidjson::kArrayType: {
      ASSERT_EQ(skArray, ours->Kind()) << where;
      TJsonArray* array = ours->ToArray();
      ASSERT_EQ(int(peer.Size()), array->Length()) << where;
      for (rapidjson::SizeType i = 0; i < peer.Size(); ++i)
        ExpectSameTree(peer[i], array->ItemAt(int(i)), where + "[" + std::to_string(i) + "]");
      break;
    }
    case rapidjson::kObjectType: {
      ASSERT_EQ(skObject, ours->Kind()) << where;
      TJsonTableString* table = ours->ToMemberTable();
      ASSERT_EQ(int(peer.MemberCount()), table->Count()) << where;
      for (const auto& member : peer.GetObject()) {
        std::string name(member.name.GetString(), member.name.GetStringLength());
        ExpectSameTree(member.value, table->FindMember(Utf8To16(name)), where + "." + name);
      }
      break;
    }
  }
}

void CrossCheck(const std::string& text) {
  rapidjson::Document peer;
  peer.Parse(text.data(), text.size());
  ASSERT_FALSE(peer.HasParseError()) << text;
  std::u16string utf16 = Utf8To16(text);
  ExpectSameTree(peer, ParseCore(utf16.c_str(), true, nullptr, false), "$");
}

TEST(JsonPeer, StrictDocumentsMatchRapidJson) {
  const char* documents[] = {
      u8"{\"Urls\":[\"http://dl.example/ZeRunSetup.exe\",\"http://b/c\"],\"ver\":65538,\"Msg\":\"新版本\\r\\n修复\"}",
      "[0,-0,1,-1,12,1.5,-0.5,2.0,0.0001,0.00001,1.23456,123.4567,1e2,1E-3,-1.5e+10,0.1,3.141592653589793]",
      "[9223372036854775807,-9223372036854775808,9007199254740993,4294967296,1e300,5e-324]",
      "{\"a\":{\"b\":{\"c\":[[],{},[[]],{\"d\":null}]}},\"e\":[true,false,null]}",
      "[\"\\u4E2D\\u6587\",\"\\uD83D\\uDE00\",\"\\\"\\\\\\/\\b\\f\\n\\r\\t\",\"\",\" spaced \",\"\\u0001\\u001f\"]",
      u8"{\"名前\":\"値\",\"\":\"empty name\",\"A\":1,\"a\":2,\"aa\":3,\"Aa\":4}",
      "  {  \"ws\" : [ 1 , 2 ] , \"x\" : \"y\" }  ",
      "\"just a string\"", "42", "-0.75", "true", "null", "[]", "{}",
  };
  for (const char* document : documents) CrossCheck(document);
}

TEST(JsonPeer, GeneratedMixedDocumentMatchesRapidJson) { CrossCheck(MakeMixedDocument(200000, 3)); }

}  // namespace
