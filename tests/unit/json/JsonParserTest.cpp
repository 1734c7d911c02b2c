// Parser: documents, relaxed forms, numbers, escapes, nesting, errors and
// paths.
#include <gtest/gtest.h>

#include "json/jsonobject.h"
#include "json/jsontokenizer.h"

namespace {

std::u16string Written(const std::u16string& text) {
  IJsonObjectPtr value = ParseJsonText(text);
  return value ? value->ToJsonText(false, false) : u"<nil>";
}

const char16_t kStandard[] =
    u"{\"Urls\":[\"http://dl.example/ZeRunSetup_2.1.exe\",\"http://mirror.example/ZeRunSetup_2.1.exe\"],"
    u"\"ver\":65538,\"Msg\":\"\u65B0\u7248\u672C\"}";
const char16_t kRelaxed[] =
    u"/* update */ {Urls:['http://dl.example/ZeRunSetup_2.1.exe', 'http://mirror.example/ZeRunSetup_2.1.exe',],\r\n"
    u" ver: 65538, // packed 1.2\n Msg: new version }";

TEST(JsonDocuments, StandardUpdateDocument) {
  IJsonObjectPtr root = ParseJsonText(kStandard);
  ASSERT_TRUE(root);
  EXPECT_EQ(3, root->ToMemberTable()->Count());
  TJsonArray* urls = root->GetPathArray(u"Urls");
  ASSERT_NE(nullptr, urls);
  ASSERT_EQ(2, urls->Length());
  EXPECT_EQ(u"http://mirror.example/ZeRunSetup_2.1.exe", urls->ItemText(1));
  EXPECT_EQ(65538, root->GetPathInteger(u"ver"));
  EXPECT_EQ(u"\u65B0\u7248\u672C", root->GetPathText(u"Msg"));
}

TEST(JsonDocuments, RelaxedSpellingGivesTheSameShape) {
  IJsonObjectPtr standard = ParseJsonText(kStandard);
  IJsonObjectPtr relaxed = ParseJsonText(kRelaxed);
  ASSERT_TRUE(relaxed);
  EXPECT_EQ(u"new version", relaxed->GetPathText(u"Msg"));
  relaxed->ToMemberTable()->PutMember(u"Msg", standard->GetPath(u"Msg"));
  EXPECT_EQ(standard->ToJsonText(false, false), relaxed->ToJsonText(false, false));
}

TEST(JsonDocuments, WhatTheControllerReadsInOddDocuments) {
  struct Row { std::u16string text; bool hasUrls; int urls; int64_t ver; std::u16string msg; };
  const Row rows[] = {
      {u"{Urls:[],ver:1}", true, 0, 1, u""},
      {u"{Urls:'http://a/b.exe'}", false, 0, 0, u""},
      {u"{urls:['x'],VER:3,msg:'m'}", false, 0, 0, u""},
      {u"{ver:'65538',Msg:12}", false, 0, 65538, u"12"},
      {u"{ver:1.5,Msg:null}", false, 0, 2, u"null"},
      {u"{ver:2.5,Msg:{a:[1,'/']}}", false, 0, 2, u"{\"a\":[1,\"\\/\"]}"},
      {u"{ver:abc}", false, 0, 0, u""},
      {u"{ver:true,Msg:true}", false, 0, 1, u"true"},
      {u"{ver:4294967297}", false, 0, 4294967297, u""},
      {u"<html><body>Not found</body></html>", false, 0, 0, u""},
      {u"{Urls:[null,{a:1},'u']}", true, 3, 0, u""},
  };
  for (const Row& row : rows) {
    IJsonObjectPtr root = ParseJsonText(row.text);
    ASSERT_TRUE(root) << std::string(row.text.begin(), row.text.end());
    TJsonArray* urls = root->GetPathArray(u"Urls");
    EXPECT_EQ(row.hasUrls, urls != nullptr);
    if (urls) {
      EXPECT_EQ(row.urls, urls->Length());
    }
    EXPECT_EQ(row.ver, root->GetPathInteger(u"ver"));
    EXPECT_EQ(row.msg, root->GetPathText(u"Msg"));
  }
  IJsonObjectPtr root = ParseJsonText(u"{Urls:[null,{a:1},'u']}");
  TJsonArray* urls = root->GetPathArray(u"Urls");
  EXPECT_EQ(u"null", urls->ItemText(0));
  EXPECT_EQ(u"{\"a\":1}", urls->ItemText(1));
}

TEST(JsonRelaxedForms, Table) {
  const std::pair<std::u16string, std::u16string> rows[] = {
      {u"", u"\"\""},
      {u" \t\r\n", u"\"\""},
      {u"{} trailing words", u"{}"},
      {u"[1,]", u"[1]"},
      {u"[1,,2]", u"[1,\"\",2]"},
      {u"[,]", u"[\"\"]"},
      {u"{a:}", u"{\"a\":\"\"}"},
      {u"{a :1}", u"{\"a \":1}"},
      {u"{a:1,}", u"{\"a\":1}"},
      {u"/* c */ {a:1} // end", u"{\"a\":1}"},
      {u"{a:1} /* open at the end", u"{\"a\":1}"},
      {u"[1 /* in */, /**/2 /***/]", u"[1,2]"},
      {u"'single \"inner\" quote'", u"\"single \\\"inner\\\" quote\""},
      {u"\"line\nbreak\"", u"\"line\nbreak\""},
      {u"plain words  \r\n", u"\"plain words\""},
      {u"{m:two words\t }", u"{\"m\":\"two words\t\"}"},
      {u"[a b, c]", u"[\"a b\",\"c\"]"},
      {u"top, level]}", u"\"top, level]}\""},
      {u"((5", u"5"},
      {u"{\u540D:1}", u"{\"\u540D\":1}"},
      {u"{'k\\'q':1}", u"{\"k'q\":1}"},
      {u"{k\\:x:1}", u"{\"k:x\":1}"},
      {u"[bare\\, word]", u"[\"bare, word\"]"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.second, Written(row.first)) << std::string(row.first.begin(), row.first.end());
}

TEST(JsonRelaxedForms, Literals) {
  const std::pair<std::u16string, std::u16string> rows[] = {
      {u"null", u"null"}, {u"true", u"true"}, {u"false", u"false"}, {u"NULL", u"\"NULL\""},
      {u"True", u"\"True\""}, {u"nil", u"\"nil\""}, {u"nullable", u"\"nullable\""}, {u"null_x", u"\"null_x\""},
      {u"null.x", u"\"null.x\""}, {u"null5", u"null"}, {u"true\u4E2D", u"\"true\u4E2D\""}, {u"[nu]", u"[\"nu\"]"},
      {u"[true,false]", u"[true,false]"}, {u"{a:null}", u"{\"a\":null}"}, {u"[tru\\x41]", u"[\"truA\"]"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.second, Written(row.first)) << std::string(row.first.begin(), row.first.end());
}

TEST(JsonNumbers, KindsAndValues) {
  struct Row { std::u16string text; TJsonKind kind; std::u16string written; };
  const Row rows[] = {
      {u"12", skInteger, u"12"}, {u"-7", skInteger, u"-7"}, {u"1.5", skCurrency, u"1.5"},
      {u"2.", skCurrency, u"2."}, {u"0.0001", skCurrency, u"0.0001"}, {u"-0.5", skCurrency, u"-0.5"},
      {u"1.50000", skDouble, u"1.5"}, {u"0.00001", skDouble, u"1.e-005"}, {u"1e3", skDouble, u"1000."},
      {u"1.5e0", skDouble, u"1.5"}, {u"1e2", skDouble, u"100."}, {u"1-2", skInteger, u"1"},
      {u"-", skInteger, u"0"}, {u"9223372036854775807", skInteger, u"9223372036854775807"},
      {u"-9223372036854775808", skInteger, u"-9223372036854775808"},
      {u"99999999999999999999", skDouble, u"1.e+020"},
      {u"922337203685477.5807", skCurrency, u"922337203685477.5807"},
      {u"9223372036854775807.5", skDouble, u"9.22337203685478e+018"},
      {u"1e999", skDouble, u"null"},
  };
  for (const Row& row : rows) {
    IJsonObjectPtr value = ParseJsonText(row.text);
    ASSERT_TRUE(value) << std::string(row.text.begin(), row.text.end());
    EXPECT_EQ(row.kind, value->Kind()) << std::string(row.text.begin(), row.text.end());
    if (row.kind != skDouble || row.written == u"1.5" || row.written == u"null")
      EXPECT_EQ(row.written, value->ToText()) << std::string(row.text.begin(), row.text.end());
    else
      EXPECT_EQ(row.written, FormatGcvt15(value->ToDouble()));
  }
  EXPECT_EQ(15000, ParseJsonText(u"1.5")->ToCurrency());
  EXPECT_DOUBLE_EQ(100.0, ParseJsonText(u"1e2")->ToDouble());
}

TEST(JsonEscapes, Table) {
  const std::pair<std::u16string, std::u16string> rows[] = {
      {u"\"\\u4E2D\"", u"\u4E2D"}, {u"\"\\u4e2d\"", u"\u4E2D"}, {u"\"\\x41\\x7a\"", u"Az"},
      {u"\"\\b\\f\\n\\r\\t\"", u"\b\f\n\r\t"}, {u"\"\\q\\/\\\\\\\"\\'\"", u"q/\\\"'"},
      {u"\"\\uD83D\\uDE00\"", u"\U0001F600"}, {u"\"\\u0000\"", std::u16string(1, u'\0')},
  };
  for (const auto& row : rows) {
    IJsonObjectPtr value = ParseJsonText(row.first);
    ASSERT_TRUE(value) << std::string(row.first.begin(), row.first.end());
    EXPECT_EQ(row.second, value->ToText());
  }
  for (const char16_t* bad : {u"\"\\u4E2G\"", u"\"\\x4\"", u"\"\\u12\"", u"{\"\\xZZ\":1}"})
    EXPECT_FALSE(ParseJsonText(bad)) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
}

std::u16string Nested(int depth, const std::u16string& inner) {
  return std::u16string(depth, u'[') + inner + std::u16string(depth, u']');
}

TEST(JsonNesting, DeepestLevelIs31) {
  EXPECT_TRUE(ParseJsonText(Nested(31, u"1")));
  EXPECT_FALSE(ParseJsonText(Nested(32, u"1")));
  EXPECT_TRUE(ParseJsonText(Nested(32, u"")));
  EXPECT_FALSE(ParseJsonText(Nested(33, u"")));
  std::u16string objects;
  for (int i = 0; i < 31; ++i) objects += u"{a:";
  EXPECT_TRUE(ParseJsonText(objects + u"1" + std::u16string(31, u'}')));
  EXPECT_FALSE(ParseJsonText(objects + u"{a:1}" + std::u16string(31, u'}')));
}

TParseError ErrorOf(const std::u16string& text, const IJsonObjectPtr& context = nullptr, bool strict = false) {
  TJsonTokenizer tokenizer;
  tokenizer.Parse(text.c_str(), strict, context);
  return tokenizer.Error();
}

TEST(JsonErrors, EachCodeFromText) {
  IJsonObjectPtr doc = ParseJsonText(u"{Urls:['a'],ver:1,o:{}}");
  struct Row { std::u16string text; bool path; bool strict; TParseError error; };
  const Row rows[] = {
      {Nested(32, u"1"), false, false, peDepth},
      {u"\"open", false, false, peEndOfText},
      {u"{a:'open", false, false, peEndOfText},
      {u"[1 /* open", false, false, peEndOfText},
      {u"// only a comment", false, false, peEndOfText},
      {u"\"\\", false, false, peEndOfText},
      {u"[1 2]", false, false, peArraySeparator},
      {u"[1", false, false, peArraySeparator},
      {u"{,}", false, false, peMemberName},
      {u"{", false, false, peMemberName},
      {u"{a:1}", false, true, peMemberName},
      {u"{\"a\" 1}", false, false, peColon},
      {u"{a:1 b:2}", false, false, peObjectSeparator},
      {u"{a:1", false, false, peObjectSeparator},
      {u"\"\\u00G0\"", false, false, peEscape},
      {u"[word]", false, true, peEscape},
      {u"/x", false, false, peComment},
      {u"{} /x", false, false, peComment},
      {u"ver.x", true, false, pePathNotObject},
      {u"missing.x", true, false, pePathNotObject},
      {u"Urls[0].x", true, false, pePathNotObject},
      {u"ver[0]", true, false, pePathNotArray},
      {u"Urls[0 1]", true, false, pePathNotArray},
      {u"Urls[-1]", true, false, pePathIndex},
      {u"Urls[x]", true, false, pePathIndex},
      {u"Urls[1.5]", true, false, pePathIndex},
  };
  for (const Row& row : rows)
    EXPECT_EQ(row.error, ErrorOf(row.text, row.path ? doc : nullptr, row.strict)) << std::string(row.text.begin(), row.text.end());
  EXPECT_EQ(peNone, ErrorOf(u"{\"a\":[1,true,null,\"s\"]}", nullptr, true));
  EXPECT_EQ(peNone, ErrorOf(u"{\u540D:1}", nullptr, true));
}

TEST(JsonErrors, TrailingTextOnlyWhenAllowed) {
  EXPECT_TRUE(ParseCore(u"{} x", false, nullptr, true));
  EXPECT_FALSE(ParseCore(u"{} x", false, nullptr, false));
  EXPECT_TRUE(ParseCore(u"{} ", false, nullptr, false));
  EXPECT_TRUE(ParseCore(u"{} /* c */", false, nullptr, false));
}

TEST(JsonPaths, Forms) {
  IJsonObjectPtr doc = ParseJsonText(
      u"{Urls:['u0','u1'], ver:7, o:{p:{q:'deep'}, list:[{n:'first'},[10,20]]}, '12':'digits', nullx:'word',"
      u" 'a b':'spaced', true:'named'}");
  const std::pair<std::u16string, std::u16string> rows[] = {
      {u"ver", u"7"}, {u"o.p.q", u"deep"}, {u"Urls[1]", u"u1"}, {u"o.list[0].n", u"first"},
      {u"o.list[1][1]", u"20"}, {u"o.list[1]", u"[10,20]"}, {u"12", u"digits"}, {u"nullx", u"word"},
      {u" ver", u"7"}, {u"a b", u""}, {u"ver trailing", u"7"},
      // literals instead of lookups
      {u"'lit'", u"lit"}, {u"true", u"true"}, {u"null", u"null"}, {u"-3", u"-3"}, {u"[1,2]", u"[1,2]"},
      {u"{k:1}", u"{\"k\":1}"},
      // nothing found
      {u"Ver", u""}, {u"absent", u""}, {u"Urls[5]", u""}, {u"o.", u""},
  };
  for (const auto& row : rows) EXPECT_EQ(row.second, doc->GetPathText(row.first)) << std::string(row.first.begin(), row.first.end());
  EXPECT_EQ(doc->GetPath(u"o.p"), doc->GetPath(u"o.p"));  // the member itself, not a copy
  EXPECT_EQ(nullptr, doc->GetPath(u"ver.x"));
  EXPECT_EQ(nullptr, doc->GetPath(u"Urls[-1]"));
}

TEST(JsonPaths, ArrayAndScalarContexts) {
  IJsonObjectPtr array = ParseJsonText(u"['a','b',{c:'d'}]");
  EXPECT_EQ(u"b", array->GetPathText(u"1"));
  EXPECT_EQ(u"", array->GetPathText(u"9"));
  EXPECT_EQ(u"-1", array->GetPathText(u"-1"));  // a literal, not an index
  EXPECT_EQ(u"", array->GetPathText(u"c"));
  IJsonObjectPtr scalar = TJsonObject::CreateString(u"text");
  EXPECT_EQ(u"", scalar->GetPathText(u"name"));
  EXPECT_EQ(u"5", scalar->GetPathText(u"5"));
}

TEST(JsonPaths, HelpersOnWrongKinds) {
  IJsonObjectPtr doc = ParseJsonText(u"{Urls:'text', n:'x', arr:[1]}");
  EXPECT_EQ(nullptr, doc->GetPathArray(u"Urls"));
  EXPECT_EQ(nullptr, doc->GetPathArray(u"absent"));
  EXPECT_NE(nullptr, doc->GetPathArray(u"arr"));
  EXPECT_EQ(0, doc->GetPathInteger(u"n"));
  EXPECT_EQ(u"[1]", doc->GetPathText(u"arr"));
}

TEST(JsonPaths, ArrayHelperGivesNoStoreThatNothingHolds) {
  // A literal path makes a fresh value; its store would die with it.
  const std::pair<IJsonObjectPtr, std::u16string> rows[] = {
      {ParseJsonText(u"{arr:[1]}"), u"[1,2,3]"},
      {ParseJsonText(u"[[7]]"), u"[1]"},
      {TJsonObject::CreateString(u"text"), u"[1]"},
  };
  for (const auto& row : rows) {
    TJsonArray* array = row.first->GetPathArray(row.second);
    // Reading the length of such a store is the use after free.
    EXPECT_EQ(nullptr, array) << (array ? array->Length() : 0);
  }
  IJsonObjectPtr nested = ParseJsonText(u"[[7]]");
  ASSERT_NE(nullptr, nested->GetPathArray(u"0"));
  EXPECT_EQ(u"7", nested->GetPathArray(u"0")->ItemText(0));
}

}  // namespace
