// Value model: kinds, references, the array store, the member table and the
// conversions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <clocale>
#include <functional>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "json/jsonobject.h"

namespace {

TJsonObject* Impl(const IJsonObjectPtr& value) { return static_cast<TJsonObject*>(value.Get()); }

void Method(const IJsonObjectPtr&, const IJsonObjectPtr&, IJsonObjectPtr&) {}

TEST(JsonKinds, CodesAreFixedAndOneByte) {
  static_assert(sizeof(TJsonKind) == 1, "kind is stored as one byte");
  const TJsonKind kinds[] = {skNull, skBoolean, skDouble, skCurrency, skInteger, skObject, skArray, skString, skMethod};
  for (int code = 0; code < 9; ++code) EXPECT_EQ(code, static_cast<int>(kinds[code]));
}

TEST(JsonKinds, ConstructorByKindGivesEmptyValues) {
  for (TJsonKind kind : {skNull, skBoolean, skDouble, skCurrency, skInteger, skObject, skArray, skString, skMethod}) {
    IJsonObjectPtr value = TJsonObject::CreateKind(kind);
    EXPECT_EQ(kind, value->Kind());
    EXPECT_EQ(0, value->ToInteger()) << int(kind);
    EXPECT_EQ(0, value->ToCurrency()) << int(kind);
    EXPECT_EQ(kind == skObject, value->ToMemberTable() != nullptr);
    EXPECT_EQ(kind == skArray, value->ToArray() != nullptr);
    EXPECT_EQ(nullptr, value->ToMethod());
  }
  EXPECT_EQ(0, TJsonObject::CreateKind(skObject)->ToMemberTable()->Count());
  EXPECT_EQ(u"", TJsonObject::CreateKind(skString)->ToText());
  EXPECT_EQ(u"0", TJsonObject::CreateKind(skCurrency)->ToText());
}

TEST(JsonReferences, HandlesCountAndTheLastOneFrees) {
  IJsonObjectPtr value = TJsonObject::CreateInteger(5);
  EXPECT_EQ(1, Impl(value)->RefCount());
  {
    IJsonObjectPtr copy = value;
    EXPECT_EQ(2, Impl(value)->RefCount());
    IJsonObjectPtr moved = std::move(copy);
    EXPECT_EQ(2, Impl(value)->RefCount());
  }
  EXPECT_EQ(1, Impl(value)->RefCount());
}

TEST(JsonReferences, CountsStayExactAcrossThreads) {
  IJsonObjectPtr root = ParseJsonText(u"{Urls:['a','b'],ver:1}");
  IJsonObjectPtr member = root->GetPath(u"Urls");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        IJsonObjectPtr a = root;
        IJsonObjectPtr b = member;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(1, Impl(root)->RefCount());
  EXPECT_EQ(2, Impl(member)->RefCount());  // ours and the table's
}

TEST(JsonReferences, DestroyingAHeldValueRaisesInvalidPointer) {
  IJsonObjectPtr value = TJsonObject::CreateString(u"kept");
  try {
    Impl(value)->Destroy();
    FAIL() << "no exception";
  } catch (const EInvalidPointer& e) {
    EXPECT_STREQ("Invalid pointer", e.what());
  }
  EXPECT_EQ(u"kept", value->ToText());
}

TEST(JsonReferences, ReleasingTheRootKeepsMembersHeldElsewhere) {
  IJsonObjectPtr member;
  {
    IJsonObjectPtr root = ParseJsonText(u"{a:{b:[1,2,3]},c:'x'}");
    member = root->GetPath(u"a");
    EXPECT_EQ(2, Impl(member)->RefCount());
  }
  EXPECT_EQ(1, Impl(member)->RefCount());
  EXPECT_EQ(u"{\"b\":[1,2,3]}", member->ToText());
}

TEST(JsonReferences, ReleasingAMillionLevelsTakesNoDeepStack) {
  IJsonObjectPtr root = TJsonObject::CreateKind(skArray);
  IJsonObjectPtr inner = root;
  for (int level = 0; level < 1000000; ++level) {
    IJsonObjectPtr next = TJsonObject::CreateKind(level % 2 ? skArray : skObject);
    if (inner->IsType(skArray)) inner->ToArray()->AppendItem(next);
    else inner->ToMemberTable()->PutMember(u"x", next);
    inner = next;
  }
  IJsonObjectPtr kept = TJsonObject::CreateString(u"deepest");
  inner->ToArray()->AppendItem(kept);
  inner = nullptr;
  root = nullptr;
  EXPECT_EQ(1, Impl(kept)->RefCount());
  EXPECT_EQ(u"deepest", kept->ToText());
}

TEST(JsonReferences, ATreeBuiltOnOneThreadAndFreedOnOthersGivesItsMemoryBack) {
  std::u16string text = u"[";
  for (int i = 0; i < 20000; ++i) text += u"{n:" + std::u16string(1, char16_t(u'0' + i % 10)) + u",s:'some text here'},";
  text += u"]";
  ParseJsonText(u"[1]");  // the slab kept for the next parse is open
  size_t before = JsonPoolSlabs();
  IJsonObjectPtr root;
  std::vector<IJsonObjectPtr> parts;
  std::thread([&] {
    root = ParseJsonText(text);
    for (int k = 0; k < 4; ++k) parts.push_back(TJsonObject::CreateKind(skArray));
    // Neighbours in memory go to different parts, so the threads below free
    // blocks of the same slabs at the same time.
    for (int i = 0; i < 20000; ++i) parts[i % 4]->ToArray()->AppendItem(root->ToArray()->ItemAt(i));
  }).join();
  ASSERT_TRUE(root);
  EXPECT_GT(JsonPoolSlabs(), before + 10);
  root = nullptr;
  std::vector<std::thread> threads;
  for (IJsonObjectPtr& part : parts) threads.emplace_back([&part] { part = nullptr; });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(before, JsonPoolSlabs());
}

TEST(JsonReferences, ClearTakesApartATreeThatHoldsItself) {
  IJsonObjectPtr array = TJsonObject::CreateKind(skArray);
  IJsonObjectPtr object = TJsonObject::CreateKind(skObject);
  array->ToArray()->AppendItem(object);
  object->ToMemberTable()->PutMember(u"back", array);
  object->ToMemberTable()->PutMember(u"n", TJsonObject::CreateInteger(1));
  EXPECT_EQ(u"[{\"n\":1}]", array->ToText());
  array->Clear(true);
  EXPECT_EQ(0, array->ToArray()->Length());
  EXPECT_EQ(0, object->ToMemberTable()->Count());
  EXPECT_EQ(1, Impl(array)->RefCount());
}

// ---- array store ----

TEST(JsonArrayStore, StartsWithCapacity32) {
  TJsonArray array;
  EXPECT_EQ(32, array.Capacity());
  EXPECT_EQ(0, array.Length());
  EXPECT_EQ(nullptr, array.ItemAt(0));
}

TEST(JsonArrayStore, GrowthDoublesOrJumpsToTheIndex) {
  struct Row { int index; int capacity; int length; };
  const Row rows[] = {{31, 32, 32}, {32, 64, 33}, {40, 64, 41}, {64, 128, 65}, {300, 301, 301}, {10, 301, 301}};
  TJsonArray array;
  for (const Row& row : rows) {
    array.SetItem(row.index, TJsonObject::CreateInteger(row.index));
    EXPECT_EQ(row.capacity, array.Capacity()) << row.index;
    EXPECT_EQ(row.length, array.Length()) << row.index;
  }
  EXPECT_EQ(nullptr, array.ItemAt(100));  // skipped slots stay nil
  EXPECT_EQ(300, array.ItemAt(300)->ToInteger());
}

TEST(JsonArrayStore, AppendRemoveAndItemText) {
  TJsonArray array;
  EXPECT_EQ(0, array.AppendItem(TJsonObject::CreateString(u"a")));
  EXPECT_EQ(1, array.AppendItem(nullptr));
  EXPECT_EQ(2, array.AppendItem(TJsonObject::CreateKind(skNull)));
  EXPECT_EQ(3, array.AppendItem(ParseJsonText(u"{k:[1]}")));
  EXPECT_EQ(u"a", array.ItemText(0));
  EXPECT_EQ(u"", array.ItemText(1));
  EXPECT_EQ(u"null", array.ItemText(2));
  EXPECT_EQ(u"{\"k\":[1]}", array.ItemText(3));
  EXPECT_EQ(u"", array.ItemText(4));
  EXPECT_EQ(u"", array.ItemText(-1));
  EXPECT_EQ(u"a", array.RemoveItem(0)->ToText());
  EXPECT_EQ(3, array.Length());
  EXPECT_EQ(u"null", array.ItemText(1));
}

// ---- member table ----

TEST(JsonMemberTable, NameHash) {
  EXPECT_EQ(0u, NameHash(u""));
  EXPECT_EQ(0x61u + 0x9E370001u, NameHash(u"a"));
  EXPECT_EQ((0x61u + 0x9E370001u) * 129u + 0x62u + 0x9E370001u, NameHash(u"ab"));
}

TEST(JsonMemberTable, DuplicateKeepsThePlaceAndTheLaterValue) {
  TJsonTableString table;
  IJsonObjectPtr first = TJsonObject::CreateInteger(1);
  table.PutMember(u"x", first);
  table.PutMember(u"y", TJsonObject::CreateInteger(2));
  table.PutMember(u"x", TJsonObject::CreateInteger(3));
  EXPECT_EQ(2, table.Count());
  EXPECT_EQ(3, table.FindMember(u"x")->ToInteger());
  EXPECT_EQ(1, Impl(first)->RefCount());  // the table let go of it
  EXPECT_EQ(nullptr, table.FindMember(u"X"));
}

int CheckedHeight(const TJsonAvlEntry* entry) {
  if (!entry) return 0;
  int greater = CheckedHeight(entry->FChild[0]);
  int lesser = CheckedHeight(entry->FChild[1]);
  EXPECT_EQ(lesser - greater, entry->FBalance);
  EXPECT_LE(std::abs(lesser - greater), 1);
  return 1 + std::max(greater, lesser);
}

TEST(JsonMemberTable, WalkIsByDescendingHashThenNameAndTreeStaysBalanced) {
  std::vector<std::u16string> names;
  for (int i = 0; i < 3000; ++i) names.push_back(u"m" + std::u16string(1, char16_t(u'a' + i % 26)) + char16_t(0x4E00 + i));
  names.push_back(u"A\u00C1");  // same hash as "B@"
  names.push_back(u"B@");
  ASSERT_EQ(NameHash(u"A\u00C1"), NameHash(u"B@"));
  std::shuffle(names.begin(), names.end(), std::mt19937(7));
  TJsonTableString table;
  for (const std::u16string& name : names) table.PutMember(name, TJsonObject::CreateString(name));
  EXPECT_EQ(int(names.size()), table.Count());
  EXPECT_LE(CheckedHeight(table.Root()), 17);

  std::vector<std::u16string> walked;
  for (TJsonAvlIterator it(table); it.Current(); it.Next()) walked.push_back(it.Current()->FName);
  auto before = [](const std::u16string& a, const std::u16string& b) {
    return NameHash(a) != NameHash(b) ? NameHash(a) > NameHash(b) : a < b;
  };
  std::sort(names.begin(), names.end(), before);
  EXPECT_EQ(names, walked);
  EXPECT_LT(std::find(walked.begin(), walked.end(), u"A\u00C1"), std::find(walked.begin(), walked.end(), u"B@"));
  for (const std::u16string& name : names) ASSERT_EQ(name, table.FindMember(name)->ToText());
}

// ---- conversions ----

struct ConversionRow {
  const char* what;
  std::function<IJsonObjectPtr()> make;
  bool boolean;
  int64_t integer;
  double real;
  int64_t currency;
  std::u16string text;
};

TEST(JsonConversions, EveryKindConvertsAsTheTableSays) {
  const int64_t kMax = std::numeric_limits<int64_t>::max();
  const ConversionRow rows[] = {
      {"null", [] { return TJsonObject::CreateKind(skNull); }, false, 0, 0, 0, u"null"},
      {"true", [] { return TJsonObject::CreateBoolean(true); }, true, 1, 1, 10000, u"true"},
      {"false", [] { return TJsonObject::CreateBoolean(false); }, false, 0, 0, 0, u"false"},
      {"double 2.5", [] { return TJsonObject::CreateDouble(2.5); }, true, 2, 2.5, 25000, u"2.5"},
      {"double 3.5", [] { return TJsonObject::CreateDouble(3.5); }, true, 4, 3.5, 35000, u"3.5"},
      {"double -2.5", [] { return TJsonObject::CreateDouble(-2.5); }, true, -2, -2.5, -25000, u"-2.5"},
      {"double 1.5e-5", [] { return TJsonObject::CreateDouble(1.5e-5); }, true, 0, 1.5e-5, 0, u"1.5e-005"},
      {"double 1.5e30", [] { return TJsonObject::CreateDouble(1.5e30); }, true, kMax, 1.5e30, kMax, u"1.5e+030"},
      {"double -1.5e30", [] { return TJsonObject::CreateDouble(-1.5e30); }, true, std::numeric_limits<int64_t>::min(), -1.5e30, std::numeric_limits<int64_t>::min(), u"-1.5e+030"},
      {"double 0.25", [] { return TJsonObject::CreateDouble(0.25); }, true, 0, 0.25, 2500, u"0.25"},
      {"currency 1.5", [] { return TJsonObject::CreateCurrency(15000); }, true, 2, 1.5, 15000, u"1.5"},
      {"currency 2.5", [] { return TJsonObject::CreateCurrency(25000); }, true, 2, 2.5, 25000, u"2.5"},
      {"currency -1.5", [] { return TJsonObject::CreateCurrency(-15000); }, true, -2, -1.5, -15000, u"-1.5"},
      {"currency 0.0001", [] { return TJsonObject::CreateCurrency(1); }, true, 0, 0.0001, 1, u"0.0001"},
      {"integer -42", [] { return TJsonObject::CreateInteger(-42); }, true, -42, -42, -420000, u"-42"},
      {"integer 0", [] { return TJsonObject::CreateInteger(0); }, false, 0, 0, 0, u"0"},
      {"integer huge", [] { return TJsonObject::CreateInteger(kMax); }, true, kMax, 9223372036854775807.0, kMax, u"9223372036854775807"},
      {"object", [] { return ParseJsonText(u"{a:1}"); }, true, 0, 0, 0, u"{\"a\":1}"},
      {"array", [] { return ParseJsonText(u"[1,'x']"); }, true, 0, 0, 0, u"[1,\"x\"]"},
      {"string 65538", [] { return TJsonObject::CreateString(u"65538"); }, true, 65538, 65538, 655380000, u"65538"},
      {"string spaces -12", [] { return TJsonObject::CreateString(u"  -12"); }, true, -12, -12, -120000, u"  -12"},
      {"string $1F", [] { return TJsonObject::CreateString(u"$1F"); }, true, 31, 0, 0, u"$1F"},
      {"string 0x1f", [] { return TJsonObject::CreateString(u"0x1f"); }, true, 31, 0, 0, u"0x1f"},
      {"string X10", [] { return TJsonObject::CreateString(u"-X10"); }, true, -16, 0, 0, u"-X10"},
      {"string 1.5", [] { return TJsonObject::CreateString(u"1.5"); }, true, 0, 1.5, 15000, u"1.5"},
      {"string 2.5e1", [] { return TJsonObject::CreateString(u"2.5e1"); }, true, 0, 25, 250000, u"2.5e1"},
      {"string hex all bits", [] { return TJsonObject::CreateString(u"$FFFFFFFFFFFFFFFF"); }, true, -1, 0, 0, u"$FFFFFFFFFFFFFFFF"},
      {"string hex too big", [] { return TJsonObject::CreateString(u"0x10000000000000000"); }, true, 0, 0, 0, u"0x10000000000000000"},
      {"string 12a", [] { return TJsonObject::CreateString(u"12a"); }, true, 0, 0, 0, u"12a"},
      {"string abc", [] { return TJsonObject::CreateString(u"abc"); }, true, 0, 0, 0, u"abc"},
      {"string inf", [] { return TJsonObject::CreateString(u"inf"); }, true, 0, 0, 0, u"inf"},
      {"string empty", [] { return TJsonObject::CreateString(u""); }, false, 0, 0, 0, u""},
      {"string too big", [] { return TJsonObject::CreateString(u"9223372036854775808"); }, true, 0, 9223372036854775808.0, kMax, u"9223372036854775808"},
      {"string most negative", [] { return TJsonObject::CreateString(u"-9223372036854775808"); }, true, std::numeric_limits<int64_t>::min(), -9223372036854775808.0, std::numeric_limits<int64_t>::min(), u"-9223372036854775808"},
      {"method", [] { return TJsonObject::CreateMethod(Method); }, true, 0, 0, 0, u""},
  };
  for (const ConversionRow& row : rows) {
    IJsonObjectPtr value = row.make();
    EXPECT_EQ(row.boolean, value->ToBoolean()) << row.what;
    EXPECT_EQ(row.integer, value->ToInteger()) << row.what;
    EXPECT_DOUBLE_EQ(row.real, value->ToDouble()) << row.what;
    EXPECT_EQ(row.currency, value->ToCurrency()) << row.what;
    EXPECT_EQ(row.text, value->ToText()) << row.what;
  }
}

TEST(JsonConversions, ZeroAndNaNDoubles) {
  EXPECT_FALSE(TJsonObject::CreateDouble(0)->ToBoolean());
  EXPECT_EQ(0, TJsonObject::CreateDouble(std::nan(""))->ToInteger());
  EXPECT_EQ(u"null", TJsonObject::CreateDouble(std::nan(""))->ToText());
  EXPECT_EQ(u"null", TJsonObject::CreateDouble(-HUGE_VAL)->ToText());
}

TEST(JsonConversions, StoresAndMethodAnswerOnlyForTheirOwnKind) {
  IJsonObjectPtr method = TJsonObject::CreateMethod(Method);
  EXPECT_EQ(&Method, method->ToMethod());
  EXPECT_EQ(nullptr, TJsonObject::CreateString(u"[1]")->ToArray());
  EXPECT_EQ(nullptr, ParseJsonText(u"[1]")->ToMemberTable());
}

TEST(JsonConversions, ReadingNumbersIgnoresTheLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
                  std::setlocale(LC_NUMERIC, "German_Germany.1252") != nullptr;
  EXPECT_DOUBLE_EQ(1.25, TJsonObject::CreateString(u"1.25")->ToDouble());
  EXPECT_EQ(u"0.25", TJsonObject::CreateDouble(0.25)->ToText());
  std::setlocale(LC_NUMERIC, saved.c_str());
  if (!switched) GTEST_SKIP() << "no comma-decimal locale on this machine; checked under C only";
}

}  // namespace
