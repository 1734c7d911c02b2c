// Writer: the growing buffer, numbers, escaping, member order, cycles and
// indentation.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "json/jsonobject.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::u16string Compact(const IJsonObjectPtr& value) { return value->ToJsonText(false, false); }

TEST(JsonWriterString, GrowsByTheRule) {
  TJsonWriterString writer;
  EXPECT_EQ(32, writer.Capacity());
  std::u16string units(100, u'x');
  struct Row { int count; int capacity; int length; };
  // 31 fits only below capacity - used; 1 more needs room for the zero.
  const Row rows[] = {{0, 32, 0}, {31, 32, 31}, {1, 64, 32}, {20, 64, 52}, {100, 160, 152}, {7, 160, 159}, {1, 320, 160}};
  for (const Row& row : rows) {
    EXPECT_EQ(row.count, writer.WriteChars(units.data(), row.count));
    EXPECT_EQ(row.capacity, writer.Capacity()) << row.count;
    EXPECT_EQ(row.length, writer.Length());
    EXPECT_EQ(0, writer.Data()[writer.Length()]);
  }
  EXPECT_EQ(-3, writer.WriteChars(units.data(), -3));
  writer.Truncate();
  EXPECT_EQ(u"", writer.Text());
}

TEST(JsonWriterString, TrimAndRemoveLast) {
  TJsonWriterString writer;
  writer.WriteText(u"a\tb \r\n \n");
  writer.TrimRight();
  EXPECT_EQ(u"a\tb", writer.Text());
  writer.RemoveLast();
  EXPECT_EQ(u"a\t", writer.Text());
}

TEST(JsonWriteNumbers, Currency) {
  const std::pair<int64_t, std::u16string> rows[] = {
      {0, u"0"}, {10000, u"1."}, {20000, u"2."}, {15000, u"1.5"}, {12345, u"1.2345"}, {5, u"0.0005"},
      {-5000, u"-0.5"}, {-5, u"-0.0005"}, {1234567890, u"123456.789"},
      {INT64_MIN, u"-922337203685477.5808"}, {INT64_MAX, u"922337203685477.5807"}};
  for (const auto& row : rows) EXPECT_EQ(row.second, Compact(TJsonObject::CreateCurrency(row.first))) << row.first;
}

TEST(JsonWriteNumbers, Integers) {
  EXPECT_EQ(u"-42", TJsonObject::CreateInteger(-42)->ToText());
  EXPECT_EQ(u"-9223372036854775808", TJsonObject::CreateInteger(INT64_MIN)->ToText());
}

struct GcvtRow {
  double value;
  std::u16string text;
  bool wineAgrees;  // Wine's msvcrt prints "%.15g" instead
};

const GcvtRow kGcvtRows[] = {
    {0.5, u"0.5", true},
    {-2.5, u"-2.5", true},
    {123.456, u"123.456", true},
    {1.0 / 3, u"0.333333333333333", true},
    {0.1, u"0.1", true},
    {0.123456789012345678, u"0.123456789012346", true},
    {1.5e-5, u"1.5e-005", true},
    {-1.5e-7, u"-1.5e-007", true},
    {12345678901234567890.0, u"1.23456789012346e+019", true},
    {1.5e300, u"1.5e+300", true},
    {5e-324, u"4.94065645841247e-324", true},
    {100.0, u"100.", false},
    {0.0, u"0.", false},
    {1e20, u"1.e+020", false},
    {0.05, u"5.e-002", false},
    {0.000123, u"1.23e-004", false},
    {1e14, u"100000000000000.", false},
    {1e15, u"1.e+015", false},
    {123456789012345.6, u"123456789012346.", false},
};

bool RunsUnderWine() {
#ifdef _WIN32
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
#else
  return false;
#endif
}

TEST(JsonWriteNumbers, OwnGcvtFormatMatchesTheTable) {
  for (const GcvtRow& row : kGcvtRows) EXPECT_EQ(row.text, FormatGcvt15(row.value)) << row.value;
}

TEST(JsonWriteNumbers, PlatformDoubleTextMatchesTheTable) {
  int skipped = 0;
  for (const GcvtRow& row : kGcvtRows) {
    if (!row.wineAgrees && RunsUnderWine()) {
      ++skipped;
      continue;
    }
    EXPECT_EQ(row.text, Compact(TJsonObject::CreateDouble(row.value))) << row.value;
  }
  if (skipped) RecordProperty("rows_left_to_real_msvcrt", skipped);
}

TEST(JsonWriteNumbers, NonFiniteDoublesTakeTheRuntimeSpelling) {
  // Only direct calls meet these: the writer puts null instead.
  const GcvtRow rows[] = {
      {HUGE_VAL, u"1.#INF", true},
      {-HUGE_VAL, u"-1.#INF", true},
      {std::numeric_limits<double>::quiet_NaN(), u"1.#QNAN", true},
      {-std::numeric_limits<double>::quiet_NaN(), u"-1.#IND", true},
  };
  for (const GcvtRow& row : rows) {
    EXPECT_EQ(row.text, FormatGcvt15(row.value)) << row.value;
    EXPECT_EQ(row.text, DoubleToText(row.value)) << row.value;
  }
}

TEST(JsonWriteStrings, CompactEscapesOnlyFourCharacters) {
  std::u16string text = u"a\"b/c\\d\ne\t\u4E2D\u00E9";
  text += char16_t(0);
  text += u"\x01z";
  EXPECT_EQ(u"\"a\\\"b\\/c\\\\d\ne\t\u4E2D\u00E9\\u0000\x01z\"", Compact(TJsonObject::CreateString(text)));
}

TEST(JsonWriteStrings, FullEscaping) {
  std::u16string text = u"\b\t\n\f\r\"/\\ ~\x7F\x01\u00E9\u4E2Dz";
  EXPECT_EQ(u"\"\\b\\t\\n\\f\\r\\\"\\/\\\\ ~\x7F\\u0001\\u00e9\\u4e2dz\"",
            TJsonObject::CreateString(text)->ToJsonText(false, true));
}

TEST(JsonWriteStrings, ToTextOfAStringIsUnquotedInsideAnArrayEscaped) {
  IJsonObjectPtr slash = TJsonObject::CreateString(u"a/b");
  EXPECT_EQ(u"a/b", slash->ToText());
  IJsonObjectPtr array = TJsonObject::CreateKind(skArray);
  array->ToArray()->AppendItem(slash);
  EXPECT_EQ(u"[\"a\\/b\"]", array->ToText());
}

TEST(JsonWriteContainers, MembersByDescendingHashNotTextOrder) {
  // hash("b") > hash("a"): b comes first however the text orders them.
  ASSERT_GT(NameHash(u"b"), NameHash(u"a"));
  EXPECT_EQ(u"{\"b\":2,\"a\":1}", Compact(ParseJsonText(u"{a:1,b:2}")));
  EXPECT_EQ(u"{\"b\":2,\"a\":1}", Compact(ParseJsonText(u"{b:2,a:1}")));
}

TEST(JsonWriteContainers, LineBreakInAMemberValueIsWrittenRaw) {
  IJsonObjectPtr object = TJsonObject::CreateKind(skObject);
  object->ToMemberTable()->PutMember(u"m", TJsonObject::CreateString(u"one\ntwo"));
  EXPECT_EQ(u"{\"m\":\"one\ntwo\"}", object->ToText());
}

void Nothing(const IJsonObjectPtr&, const IJsonObjectPtr&, IJsonObjectPtr&) {}

TEST(JsonWriteContainers, MethodsAreLeftOutWithoutStrayCommas) {
  IJsonObjectPtr array = TJsonObject::CreateKind(skArray);
  array->ToArray()->AppendItem(TJsonObject::CreateMethod(Nothing));
  array->ToArray()->AppendItem(TJsonObject::CreateInteger(1));
  array->ToArray()->AppendItem(nullptr);
  EXPECT_EQ(u"[1,null]", Compact(array));
  IJsonObjectPtr object = TJsonObject::CreateKind(skObject);
  object->ToMemberTable()->PutMember(u"f", TJsonObject::CreateMethod(Nothing));
  object->ToMemberTable()->PutMember(u"n", nullptr);
  EXPECT_EQ(u"{\"n\":null}", Compact(object));
  EXPECT_EQ(u"", TJsonObject::CreateMethod(Nothing)->ToJsonText(false, false));
}

TEST(JsonWriteContainers, AValueMetInsideItselfIsNotFollowed) {
  IJsonObjectPtr outer = TJsonObject::CreateKind(skArray);
  IJsonObjectPtr inner = TJsonObject::CreateKind(skObject);
  outer->ToArray()->AppendItem(TJsonObject::CreateInteger(1));
  outer->ToArray()->AppendItem(inner);
  inner->ToMemberTable()->PutMember(u"up", outer);
  inner->ToMemberTable()->PutMember(u"x", TJsonObject::CreateBoolean(true));
  EXPECT_EQ(u"[1,{\"x\":true}]", Compact(outer));
  EXPECT_EQ(u"{\"x\":true,\"up\":[1]}", Compact(inner));
  EXPECT_FALSE(outer->Processing());
  // A value written while it is being written gives null.
  outer->SetProcessing(true);
  EXPECT_EQ(u"null", Compact(outer));
  outer->SetProcessing(false);
  outer->Clear(true);
}

TEST(JsonWriteContainers, EmptyContainersInBothModes) {
  for (bool indent : {false, true}) {
    EXPECT_EQ(u"{}", TJsonObject::CreateKind(skObject)->ToJsonText(indent, false));
    EXPECT_EQ(u"[]", TJsonObject::CreateKind(skArray)->ToJsonText(indent, true));
  }
}

TEST(JsonWriteContainers, Indentation) {
  IJsonObjectPtr value = ParseJsonText(u"{b:{a:[1,[],{}]},a:'x'}");
  EXPECT_EQ(u"{\r\n \"b\": {\r\n  \"a\": [\r\n   1,[],{}]\r\n },\r\n \"a\": \"x\"\r\n}", value->ToJsonText(true, false));
}

}  // namespace
