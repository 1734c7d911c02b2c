#include "json/jsonobject.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

#include "json/jsontokenizer.h"

namespace {

constexpr int64_t kCurrencyScale = 10000;

// Sets the processing flag for one write or clear; clears it on every exit.
class TProcessingGuard {
public:
  explicit TProcessingGuard(IJsonObject& value) : FValue(value) { FValue.SetProcessing(true); }
  ~TProcessingGuard() { FValue.SetProcessing(false); }

private:
  IJsonObject& FValue;
};

int64_t SaturatingScale(int64_t value, int64_t scale) {
  if (value > std::numeric_limits<int64_t>::max() / scale) return std::numeric_limits<int64_t>::max();
  if (value < std::numeric_limits<int64_t>::min() / scale) return std::numeric_limits<int64_t>::min();
  return value * scale;
}

// Stored currency ÷ 10,000, rounded with ties to even, without a double.
int64_t CurrencyToInteger(int64_t stored) {
  int64_t quotient = stored / kCurrencyScale;
  int64_t remainder = stored % kCurrencyScale;
  int64_t half = std::llabs(remainder) * 2;
  if (half > kCurrencyScale || (half == kCurrencyScale && quotient % 2 != 0))
    quotient += stored < 0 ? -1 : 1;
  return quotient;
}

}  // namespace

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// ---- reading texts as numbers ----

TReadResult ReadInteger(const char16_t* text, size_t length, int64_t& value) {
  value = 0;
  size_t i = 0;
  while (i < length && text[i] == u' ') ++i;
  bool negative = i < length && text[i] == u'-';
  if (i < length && (text[i] == u'-' || text[i] == u'+')) ++i;
  int base = 10;
  if (i < length && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < length && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  // Decimal values are limited by the sign; hexadecimal ones may use all 64 bits.
  uint64_t limit = base == 16 ? std::numeric_limits<uint64_t>::max()
                   : negative ? uint64_t(1) << 63
                              : (uint64_t(1) << 63) - 1;
  // One division per text, not per digit: magnitude * base + digit stays
  // within the limit while magnitude is below limit / base, or equal to it
  // and the digit is at most limit % base.
  uint64_t most = limit / base;
  int lastDigit = static_cast<int>(limit % base);
  uint64_t magnitude = 0;
  size_t firstDigit = i;
  for (; i < length; ++i) {
    int digit = base == 16 ? HexDigitValue(text[i]) : (text[i] >= u'0' && text[i] <= u'9' ? text[i] - u'0' : -1);
    if (digit < 0) break;
    if (magnitude > most || (magnitude == most && digit > lastDigit)) return rrOverflow;
    magnitude = magnitude * base + digit;
    value = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
  }
  return i == length && i > firstDigit ? rrOk : rrBad;
}

TReadResult ReadDecimal(const char16_t* text, size_t length, double& value) {
  value = 0;
  size_t i = 0;
  while (i < length && text[i] == u' ') ++i;
  // from_chars takes no "+" and would take words such as "inf".
  bool negative = i < length && text[i] == u'-';
  if (i < length && (text[i] == u'+' || text[i] == u'-')) ++i;
  size_t bodyStart = i;
  bool startsWell = bodyStart < length && ((text[bodyStart] >= u'0' && text[bodyStart] <= u'9') || text[bodyStart] == u'.');
  if (!startsWell) return rrBad;
  while (i < length && text[i] < 128) ++i;
  // from_chars reads bytes: the ASCII run is narrowed.
  size_t count = (negative ? 1 : 0) + (i - bodyStart);
  TScratchText<char> ascii(count);
  char* first = ascii.Data();
  char* last = first;
  if (negative) *last++ = '-';
  for (size_t k = bodyStart; k < i; ++k) *last++ = static_cast<char>(text[k]);
  std::from_chars_result r = std::from_chars(first, last, value);
  if (r.ec == std::errc::invalid_argument) return rrBad;
  if (r.ec == std::errc::result_out_of_range) {
    // Only digits, sign, point and exponent reach strtod, which the program
    // never runs under another LC_NUMERIC than "C".
    value = std::strtod(std::string(static_cast<const char*>(first), r.ptr).c_str(), nullptr);
    return rrOverflow;
  }
  return r.ptr == last && i == length ? rrOk : rrBad;
}

int64_t RoundToInt64(double value) {
  double rounded = std::nearbyint(value);
  if (std::isnan(rounded)) return 0;
  if (rounded >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
  if (rounded < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(rounded);
}

// ---- values ----

TJsonObject::TJsonObject(TJsonKind kind) : FKind(kind) {
  FValue.Integer = 0;
  if (kind == skObject) FValue.Table = new TJsonTableString;
  if (kind == skArray) FValue.Array = new TJsonArray;
}

TJsonObject* TJsonObject::Make(TJsonKind kind, size_t textLength) {
  if (textLength > std::numeric_limits<uint32_t>::max()) throw std::length_error("JSON text too long");
  void* block = JsonPoolAlloc(sizeof(TJsonObject) + textLength * sizeof(char16_t));
  try {
    return new (block) TJsonObject(kind);
  } catch (...) {
    JsonPoolFree(block, sizeof(TJsonObject) + textLength * sizeof(char16_t));
    throw;
  }
}

void TJsonObject::FreeValue(TJsonObject* value) {
  size_t size = sizeof(TJsonObject);
  if (value->FKind == skString) size += value->FValue.String.Capacity * sizeof(char16_t);
  value->~TJsonObject();
  JsonPoolFree(value, size);
}

IJsonObjectPtr TJsonObject::CreateKind(TJsonKind kind) { return IJsonObjectPtr(Make(kind)); }

template <class T>
IJsonObjectPtr TJsonObject::CreateScalar(TJsonKind kind, T TValue::*field, T value) {
  TJsonObject* object = Make(kind);
  object->FValue.*field = value;
  return IJsonObjectPtr(object);
}

IJsonObjectPtr TJsonObject::CreateBoolean(bool value) { return CreateScalar(skBoolean, &TValue::Boolean, value); }

IJsonObjectPtr TJsonObject::CreateInteger(int64_t value) { return CreateScalar(skInteger, &TValue::Integer, value); }

IJsonObjectPtr TJsonObject::CreateDouble(double value) { return CreateScalar(skDouble, &TValue::Double, value); }

IJsonObjectPtr TJsonObject::CreateCurrency(int64_t stored) { return CreateScalar(skCurrency, &TValue::Currency, stored); }

IJsonObjectPtr TJsonObject::CreateString(const std::u16string& value) { return CreateString(value.data(), value.size()); }

IJsonObjectPtr TJsonObject::CreateString(const char16_t* text, size_t length) {
  TJsonObject* object = Make(skString, length);
  object->FValue.String.Length = object->FValue.String.Capacity = static_cast<uint32_t>(length);
  std::copy(text, text + length, object->Text());
  return IJsonObjectPtr(object);
}

IJsonObjectPtr TJsonObject::CreateMethod(TJsonMethod value) { return CreateScalar(skMethod, &TValue::Method, value); }

int TJsonObject::AddRef() { return ++FRefCount; }

int TJsonObject::Release() {
  int count = --FRefCount;
  if (count == 0) FreeTree(this);
  return count;
}

void TJsonObject::Destroy() {
  if (FRefCount.load() != 0) throw EInvalidPointer();
  FreeTree(this);
}

// ---- freeing ----

struct TJsonObject::TDeadStore {
  TJsonKind Kind;
  TValue Store;
  TDeadStore* Next;
};
void TJsonObject::FreeTree(TJsonObject* value) {
  static_assert(sizeof(TDeadStore) <= sizeof(TJsonObject), "built in the value's memory");
  TDeadStore* pending = nullptr;
  Discard(value, pending);
  while (pending) {
    TDeadStore* dead = pending;
    pending = dead->Next;
    EmptyStore(*dead, pending);
    dead->~TDeadStore();
    JsonPoolFree(dead, sizeof(TJsonObject));
  }
}

// Every value is a TJsonObject: IJsonObject has no other implementation.
void TJsonObject::DropReference(IJsonObject* value, TDeadStore*& pending) {
  TJsonObject* object = static_cast<TJsonObject*>(value);
  if (object && --object->FRefCount == 0) Discard(object, pending);
}

void TJsonObject::Discard(TJsonObject* value, TDeadStore*& pending) {
  TJsonKind kind = value->FKind;
  if (kind != skObject && kind != skArray) {
    FreeValue(value);
    return;
  }
  TValue store = value->FValue;
  value->FKind = skNull;  // the store now belongs to the list
  value->~TJsonObject();
  pending = new (static_cast<void*>(value)) TDeadStore{kind, store, pending};
}

void TJsonObject::DropEntries(TJsonAvlEntry* entry, TDeadStore*& pending) {
  while (entry) {
    DropEntries(entry->FChild[0], pending);  // as deep as the balanced tree
    TJsonAvlEntry* next = entry->FChild[1];
    DropReference(entry->FValue.Detach(), pending);
    delete entry;
    entry = next;
  }
}

void TJsonObject::EmptyStore(TDeadStore& dead, TDeadStore*& pending) {
  if (dead.Kind == skArray) {
    TJsonArray* array = dead.Store.Array;
    for (int i = 0; i < array->FLength; ++i) {
      DropReference(array->FSlots[i], pending);
      array->FSlots[i] = nullptr;
    }
    array->FLength = 0;
    delete array;
    return;
  }
  TJsonTableString* table = dead.Store.Table;
  DropEntries(table->FRoot, pending);
  table->FRoot = nullptr;
  table->FCount = 0;
  delete table;
}

// ---- paths ----

IJsonObjectPtr TJsonObject::GetPath(const std::u16string& path) {
  return ParseCore(path.c_str(), false, IJsonObjectPtr(this), true);
}

TJsonArray* TJsonObject::GetPathArray(const std::u16string& path) {
  IJsonObjectPtr found = GetPath(path);
  // The store is handed out without a reference: it must belong to the tree.
  // A literal path makes a value that only this handle holds, and that would
  // be freed on return.
  if (!found || static_cast<TJsonObject*>(found.Get())->RefCount() < 2) return nullptr;
  return found->ToArray();
}

int64_t TJsonObject::GetPathInteger(const std::u16string& path) {
  IJsonObjectPtr found = GetPath(path);
  return found ? found->ToInteger() : 0;
}

std::u16string TJsonObject::GetPathText(const std::u16string& path) {
  IJsonObjectPtr found = GetPath(path);
  return found ? found->ToText() : std::u16string();
}

// ---- conversions ----

bool TJsonObject::ToBoolean() const {
  switch (FKind) {
    case skNull: return false;
    case skBoolean: return FValue.Boolean;
    case skDouble: return FValue.Double != 0;
    case skCurrency:
    case skInteger: return FValue.Integer != 0;
    case skString: return FValue.String.Length != 0;
    default: return true;
  }
}

int64_t TJsonObject::ToInteger() const {
  switch (FKind) {
    case skBoolean: return FValue.Boolean ? 1 : 0;
    case skDouble: return RoundToInt64(FValue.Double);
    case skCurrency: return CurrencyToInteger(FValue.Currency);
    case skInteger: return FValue.Integer;
    case skString: {
      int64_t value;
      return ReadInteger(Text(), FValue.String.Length, value) == rrOk ? value : 0;
    }
    default: return 0;
  }
}

double TJsonObject::ToDouble() const {
  switch (FKind) {
    case skBoolean: return FValue.Boolean ? 1 : 0;
    case skDouble: return FValue.Double;
    case skCurrency: return static_cast<double>(FValue.Currency) / kCurrencyScale;
    case skInteger: return static_cast<double>(FValue.Integer);
    case skString: {
      double value;
      return ReadDecimal(Text(), FValue.String.Length, value) == rrOk ? value : 0;
    }
    default: return 0;
  }
}

int64_t TJsonObject::ToCurrency() const {
  switch (FKind) {
    case skBoolean: return FValue.Boolean ? kCurrencyScale : 0;
    case skDouble: return RoundToInt64(FValue.Double * kCurrencyScale);
    case skCurrency: return FValue.Currency;
    case skInteger: return SaturatingScale(FValue.Integer, kCurrencyScale);
    case skString: return RoundToInt64(ToDouble() * kCurrencyScale);
    default: return 0;
  }
}

std::u16string TJsonObject::ToText() {
  switch (FKind) {
    case skString: return std::u16string(Text(), FValue.String.Length);
    case skMethod: return std::u16string();
    default: return ToJsonText(false, false);
  }
}

TJsonArray* TJsonObject::ToArray() const { return FKind == skArray ? FValue.Array : nullptr; }

TJsonTableString* TJsonObject::ToMemberTable() const { return FKind == skObject ? FValue.Table : nullptr; }

TJsonMethod TJsonObject::ToMethod() const { return FKind == skMethod ? FValue.Method : nullptr; }

void TJsonObject::Clear(bool all) {
  if (FProcessing) return;
  TProcessingGuard guard(*this);
  switch (FKind) {
    case skObject: FValue.Table->Clear(all); break;
    case skArray: FValue.Array->Clear(all); break;
    case skString: FValue.String.Length = 0; break;
    default: FValue.Integer = 0; break;
  }
}

// ---- writing ----

std::u16string TJsonObject::ToJsonText(bool indent, bool escape) {
  TJsonWriterString writer;
  if (WriteJson(writer, indent, escape, 0) < 0 || writer.Length() == 0) return std::u16string();
  return writer.Text();
}

namespace {

int WriteNewLine(TJsonWriter& writer, int level) {
  std::u16string text = u"\r\n" + std::u16string(level, u' ');
  return writer.WriteChars(text.data(), static_cast<int>(text.size()));
}

// Methods and values being written further up are left out of containers.
bool IsWritten(const IJsonObjectPtr& value) {
  return !value || (!value->IsType(skMethod) && !value->Processing());
}

int WriteMember(TJsonWriter& writer, const IJsonObjectPtr& value, bool indent, bool escape, int level) {
  return value ? value->WriteJson(writer, indent, escape, level) : writer.WriteText(u"null");
}

}  // namespace

int TJsonObject::WriteJson(TJsonWriter& writer, bool indent, bool escape, int level) {
  if (FProcessing) return writer.WriteText(u"null");
  TProcessingGuard guard(*this);
  switch (FKind) {
    case skNull: return writer.WriteText(u"null");
    case skBoolean: return writer.WriteText(FValue.Boolean ? u"true" : u"false");
    case skInteger: {
      std::string digits = std::to_string(FValue.Integer);
      return writer.WriteText(std::u16string(digits.begin(), digits.end()).c_str());
    }
    case skDouble:
      // JSON has no spelling for infinities and NaN.
      if (!std::isfinite(FValue.Double)) return writer.WriteText(u"null");
      return writer.WriteText(DoubleToText(FValue.Double).c_str());
    case skCurrency: return writer.WriteText(CurrencyToText(FValue.Currency).c_str());
    case skString: return WriteJsonString(writer, Text(), FValue.String.Length, escape);
    case skObject: return WriteObject(writer, indent, escape, level);
    case skArray: return WriteArray(writer, indent, escape, level);
    case skMethod: return 0;
  }
  return 0;
}

int TJsonObject::WriteObject(TJsonWriter& writer, bool indent, bool escape, int level) {
  if (FValue.Table->Count() == 0) return writer.WriteText(u"{}");
  int result = writer.WriteText(u"{");
  bool first = true;
  for (TJsonAvlIterator it(*FValue.Table); result >= 0 && it.Current(); it.Next()) {
    TJsonAvlEntry* entry = it.Current();
    if (!IsWritten(entry->FValue)) continue;
    if (!first && (result = writer.WriteText(u",")) < 0) break;
    first = false;
    if (indent && (result = WriteNewLine(writer, level + 1)) < 0) break;
    if ((result = WriteJsonString(writer, entry->FName, escape)) < 0) break;
    if ((result = writer.WriteText(indent ? u": " : u":")) < 0) break;
    result = WriteMember(writer, entry->FValue, indent, escape, level + 1);
  }
  if (result < 0) return result;
  if (indent && !first && (result = WriteNewLine(writer, level)) < 0) return result;
  return writer.WriteText(u"}");
}

int TJsonObject::WriteArray(TJsonWriter& writer, bool indent, bool escape, int level) {
  TJsonArray& array = *FValue.Array;
  if (array.Length() == 0) return writer.WriteText(u"[]");
  int result = writer.WriteText(u"[");
  if (result >= 0 && indent) result = WriteNewLine(writer, level + 1);
  bool first = true;
  for (int i = 0; result >= 0 && i < array.Length(); ++i) {
    IJsonObjectPtr element = array.ItemAt(i);
    if (!IsWritten(element)) continue;
    if (!first && (result = writer.WriteText(u",")) < 0) break;
    first = false;
    result = WriteMember(writer, element, indent, escape, level + 1);
  }
  if (result < 0) return result;
  return writer.WriteText(u"]");
}

// ---- array store ----

TJsonArray::~TJsonArray() {
  for (int i = 0; i < FLength; ++i)
    if (FSlots[i]) FSlots[i]->Release();
  JsonPoolFree(FSlots, FAllocated * sizeof(IJsonObject*));
}

IJsonObjectPtr TJsonArray::ItemAt(int index) const {
  if (index < 0 || index >= FLength) return nullptr;
  return IJsonObjectPtr(FSlots[index]);
}

std::u16string TJsonArray::ItemText(int index) const {
  IJsonObjectPtr item = ItemAt(index);
  return item ? item->ToText() : std::u16string();
}

void TJsonArray::SetItem(int index, IJsonObjectPtr value) {
  // The length must stay representable.
  if (index < 0 || index == std::numeric_limits<int>::max()) return;
  if (index >= FCapacity) {
    // Doubling, or straight to the index when that is not enough.
    int64_t grown = int64_t(FCapacity) * 2;
    grown = index >= grown ? int64_t(index) + 1 : grown;
    FCapacity = static_cast<int>(std::min<int64_t>(grown, std::numeric_limits<int>::max()));
  }
  if (index >= FAllocated) {
    int64_t wanted = std::max({int64_t(index) + 1, int64_t(FAllocated) * 2, int64_t(4)});
    int allocated = static_cast<int>(std::min<int64_t>(wanted, FCapacity));
    IJsonObject** slots = static_cast<IJsonObject**>(JsonPoolAlloc(allocated * sizeof(IJsonObject*)));
    std::copy(FSlots, FSlots + FLength, slots);
    std::fill(slots + FLength, slots + allocated, nullptr);
    JsonPoolFree(FSlots, FAllocated * sizeof(IJsonObject*));
    FSlots = slots;
    FAllocated = allocated;
  }
  IJsonObject* previous = FSlots[index];
  FSlots[index] = value.Detach();
  if (index >= FLength) FLength = index + 1;
  if (previous) previous->Release();
}

int TJsonArray::AppendItem(IJsonObjectPtr value) {
  int index = FLength;
  if (index < FAllocated) {
    // Slots past the length are nil and have memory: nothing to grow or release.
    FSlots[index] = value.Detach();
    FLength = index + 1;
    return index;
  }
  SetItem(index, std::move(value));
  return index;
}

IJsonObjectPtr TJsonArray::RemoveItem(int index) {
  if (index < 0 || index >= FLength) return nullptr;
  IJsonObject* item = FSlots[index];
  IJsonObjectPtr removed(item);
  std::copy(FSlots + index + 1, FSlots + FLength, FSlots + index);
  FSlots[--FLength] = nullptr;
  if (item) item->Release();  // the slot's reference
  return removed;
}

void TJsonArray::Clear(bool all) {
  for (int i = 0; i < FLength; ++i) {
    IJsonObject* item = FSlots[i];
    if (item && all) item->Clear(true);
    FSlots[i] = nullptr;
    if (item) item->Release();
  }
  FLength = 0;
}

// ---- member table ----

uint32_t NameHash(const std::u16string& name) {
  uint32_t hash = 0;
  for (char16_t c : name) hash = hash * 129 + c + 0x9E370001u;
  return hash;
}

int TJsonAvlTree::CompareName(uint32_t hash, const std::u16string& name, const TJsonAvlEntry* entry) {
  // Negative: walked before the entry (greater hash, or smaller name).
  if (hash != entry->FHash) return hash > entry->FHash ? -1 : 1;
  return name.compare(entry->FName) < 0 ? -1 : name == entry->FName ? 0 : 1;
}

int TJsonAvlTree::CompareEntries(const TJsonAvlEntry* a, const TJsonAvlEntry* b) {
  return CompareName(a->FHash, a->FName, b);
}

TJsonAvlEntry* TJsonAvlTree::Search(const std::u16string& name) const {
  uint32_t hash = NameHash(name);
  TJsonAvlEntry* node = FRoot;
  while (node) {
    int order = CompareName(hash, name, node);
    if (order == 0) return node;
    node = node->FChild[order < 0 ? 0 : 1];
  }
  return nullptr;
}

TJsonAvlEntry* TJsonAvlTree::Insert(TJsonAvlEntry* entry) {
  TJsonAvlEntry* result = nullptr;
  InsertBelow(FRoot, entry, result);
  if (result == entry) ++FCount;
  return result;
}

// Returns true when the subtree at node grew taller.
bool TJsonAvlTree::InsertBelow(TJsonAvlEntry*& node, TJsonAvlEntry* entry, TJsonAvlEntry*& result) {
  if (!node) {
    node = entry;
    result = entry;
    return true;
  }
  int order = CompareEntries(entry, node);
  if (order == 0) {
    result = node;
    return false;
  }
  int side = order < 0 ? 0 : 1;
  if (!InsertBelow(node->FChild[side], entry, result)) return false;
  int8_t heavier = side == 0 ? -1 : 1;
  node->FBalance += heavier;
  if (node->FBalance == 0) return false;
  if (node->FBalance == heavier) return true;
  Rebalance(node, side);
  return false;
}

// node leans two levels to side: a single or a double rotation.
void TJsonAvlTree::Rebalance(TJsonAvlEntry*& node, int side) {
  int8_t heavier = side == 0 ? -1 : 1;
  int other = 1 - side;
  TJsonAvlEntry* child = node->FChild[side];
  if (child->FBalance == heavier) {
    node->FChild[side] = child->FChild[other];
    child->FChild[other] = node;
    node->FBalance = 0;
    child->FBalance = 0;
    node = child;
    return;
  }
  TJsonAvlEntry* grand = child->FChild[other];
  child->FChild[other] = grand->FChild[side];
  node->FChild[side] = grand->FChild[other];
  grand->FChild[side] = child;
  grand->FChild[other] = node;
  node->FBalance = grand->FBalance == heavier ? -heavier : 0;
  child->FBalance = grand->FBalance == -heavier ? heavier : 0;
  grand->FBalance = 0;
  node = grand;
}

void TJsonAvlTree::Clear(bool all) {
  DeleteSubtree(FRoot, all);
  FRoot = nullptr;
  FCount = 0;
}

void TJsonAvlTree::DeleteSubtree(TJsonAvlEntry* node, bool all) {
  if (!node) return;
  DeleteSubtree(node->FChild[0], all);
  DeleteSubtree(node->FChild[1], all);
  DeleteEntry(node, all);
}

void TJsonAvlTree::DeleteEntry(TJsonAvlEntry* entry, bool) { delete entry; }

void TJsonTableString::DeleteEntry(TJsonAvlEntry* entry, bool all) {
  if (all && entry->FValue) entry->FValue->Clear(true);
  entry->FValue = nullptr;
  delete entry;
}

IJsonObjectPtr TJsonTableString::FindMember(const std::u16string& name) const {
  TJsonAvlEntry* entry = Search(name);
  return entry ? entry->FValue : nullptr;
}

void TJsonTableString::PutMember(std::u16string name, IJsonObjectPtr value) {
  TJsonAvlEntry* entry = new TJsonAvlEntry(std::move(name), std::move(value));
  TJsonAvlEntry* existing = Insert(entry);
  if (existing == entry) return;
  std::swap(existing->FValue, entry->FValue);
  DeleteEntry(entry, false);
}

TJsonAvlIterator::TJsonAvlIterator(const TJsonAvlTree& tree) { Descend(tree.Root()); }

void TJsonAvlIterator::Descend(TJsonAvlEntry* entry) {
  for (; entry; entry = entry->FChild[0]) FPath[++FDepth] = entry;
}

void TJsonAvlIterator::Next() {
  if (FDepth < 0) return;
  TJsonAvlEntry* done = FPath[FDepth--];
  Descend(done->FChild[1]);
}
