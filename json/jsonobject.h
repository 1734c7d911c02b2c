// JSON values: reference-counted value objects of nine kinds, the array
// store and the hash-ordered member table.
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "json/jsonpool.h"
#include "json/jsonwriter.h"

enum TJsonKind : uint8_t {
  skNull = 0,
  skBoolean = 1,
  skDouble = 2,
  skCurrency = 3,
  skInteger = 4,
  skObject = 5,
  skArray = 6,
  skString = 7,
  skMethod = 8,
};

class IJsonObject;
class IJsonObjectPtr;
class TJsonArray;
class TJsonTableString;
struct TJsonAvlEntry;

using TJsonMethod = void (*)(const IJsonObjectPtr& self, const IJsonObjectPtr& params,
                             IJsonObjectPtr& result);

// Raised when a value that still has references is destroyed.
class EInvalidPointer : public std::runtime_error {
public:
  EInvalidPointer() : std::runtime_error("Invalid pointer") {}
};

class IJsonObject {
public:
  virtual int AddRef() = 0;
  virtual int Release() = 0;

  virtual TJsonKind Kind() const = 0;
  virtual bool IsType(TJsonKind kind) const = 0;
  virtual bool Processing() const = 0;
  virtual void SetProcessing(bool value) = 0;

  virtual IJsonObjectPtr GetPath(const std::u16string& path) = 0;
  virtual TJsonArray* GetPathArray(const std::u16string& path) = 0;
  virtual int64_t GetPathInteger(const std::u16string& path) = 0;
  virtual std::u16string GetPathText(const std::u16string& path) = 0;

  virtual int WriteJson(TJsonWriter& writer, bool indent, bool escape, int level) = 0;
  virtual std::u16string ToJsonText(bool indent, bool escape) = 0;

  virtual bool ToBoolean() const = 0;
  virtual int64_t ToInteger() const = 0;
  virtual double ToDouble() const = 0;
  virtual int64_t ToCurrency() const = 0;
  virtual std::u16string ToText() = 0;
  virtual TJsonArray* ToArray() const = 0;
  virtual TJsonTableString* ToMemberTable() const = 0;
  virtual TJsonMethod ToMethod() const = 0;

  // Empties the value; with all set, contained values are emptied first
  // (this is how a tree that holds itself is taken apart).
  virtual void Clear(bool all) = 0;

protected:
  virtual ~IJsonObject() = default;
};

// Holds one reference; nil when empty.
class IJsonObjectPtr {
public:
  IJsonObjectPtr() noexcept = default;
  IJsonObjectPtr(std::nullptr_t) noexcept {}
  explicit IJsonObjectPtr(IJsonObject* value) noexcept : FValue(value) {
    if (FValue) FValue->AddRef();
  }
  IJsonObjectPtr(const IJsonObjectPtr& other) noexcept : IJsonObjectPtr(other.FValue) {}
  IJsonObjectPtr(IJsonObjectPtr&& other) noexcept : FValue(other.FValue) { other.FValue = nullptr; }
  ~IJsonObjectPtr() {
    if (FValue) FValue->Release();
  }
  IJsonObjectPtr& operator=(IJsonObjectPtr other) noexcept {
    std::swap(FValue, other.FValue);
    return *this;
  }

  IJsonObject* operator->() const noexcept { return FValue; }
  IJsonObject* Get() const noexcept { return FValue; }
  // Hands the reference over to the caller, who must drop it.
  IJsonObject* Detach() noexcept {
    IJsonObject* value = FValue;
    FValue = nullptr;
    return value;
  }
  explicit operator bool() const noexcept { return FValue != nullptr; }
  bool operator==(const IJsonObjectPtr& other) const noexcept { return FValue == other.FValue; }
  bool operator!=(const IJsonObjectPtr& other) const noexcept { return FValue != other.FValue; }
  friend bool operator==(std::nullptr_t, const IJsonObjectPtr& value) noexcept { return !value; }
  friend bool operator==(const IJsonObjectPtr& value, std::nullptr_t) noexcept { return !value; }

private:
  IJsonObject* FValue = nullptr;
};

class TJsonObject final : public IJsonObject {
public:
  static IJsonObjectPtr CreateKind(TJsonKind kind);
  static IJsonObjectPtr CreateBoolean(bool value);
  static IJsonObjectPtr CreateInteger(int64_t value);
  static IJsonObjectPtr CreateDouble(double value);
  // stored is the value times 10,000.
  static IJsonObjectPtr CreateCurrency(int64_t stored);
  static IJsonObjectPtr CreateString(const std::u16string& value);
  static IJsonObjectPtr CreateString(const char16_t* text, size_t length);
  static IJsonObjectPtr CreateMethod(TJsonMethod value);

  int AddRef() override;
  int Release() override;
  int RefCount() const { return FRefCount.load(); }
  // Frees a value nobody holds; one that is still held raises EInvalidPointer.
  void Destroy();

  TJsonKind Kind() const override { return FKind; }
  bool IsType(TJsonKind kind) const override { return FKind == kind; }
  bool Processing() const override { return FProcessing; }
  void SetProcessing(bool value) override { FProcessing = value; }

  IJsonObjectPtr GetPath(const std::u16string& path) override;
  TJsonArray* GetPathArray(const std::u16string& path) override;
  int64_t GetPathInteger(const std::u16string& path) override;
  std::u16string GetPathText(const std::u16string& path) override;

  int WriteJson(TJsonWriter& writer, bool indent, bool escape, int level) override;
  std::u16string ToJsonText(bool indent, bool escape) override;

  bool ToBoolean() const override;
  int64_t ToInteger() const override;
  double ToDouble() const override;
  int64_t ToCurrency() const override;
  std::u16string ToText() override;
  TJsonArray* ToArray() const override;
  TJsonTableString* ToMemberTable() const override;
  TJsonMethod ToMethod() const override;

  void Clear(bool all) override;

private:
  explicit TJsonObject(TJsonKind kind);
  ~TJsonObject() override = default;
  // Values live in the pool; a string's units follow it in the same block.
  static TJsonObject* Make(TJsonKind kind, size_t textLength = 0);
  static void FreeValue(TJsonObject* value);
  char16_t* Text() const { return reinterpret_cast<char16_t*>(const_cast<TJsonObject*>(this) + 1); }

  // A container that lost its last reference waits in a list of these,
  // built in its own memory, until its elements are dropped: a deep tree is
  // freed in a loop rather than one stack frame per level.
  struct TDeadStore;
  static void FreeTree(TJsonObject* value);
  static void DropReference(IJsonObject* value, TDeadStore*& pending);
  static void Discard(TJsonObject* value, TDeadStore*& pending);
  static void DropEntries(TJsonAvlEntry* entry, TDeadStore*& pending);
  static void EmptyStore(TDeadStore& dead, TDeadStore*& pending);

  int WriteObject(TJsonWriter& writer, bool indent, bool escape, int level);
  int WriteArray(TJsonWriter& writer, bool indent, bool escape, int level);

  std::atomic<int32_t> FRefCount{0};
  bool FProcessing = false;
  TJsonKind FKind;
  union TValue {
    bool Boolean;
    int64_t Integer;
    double Double;
    int64_t Currency;
    TJsonTableString* Table;
    TJsonArray* Array;
    TJsonMethod Method;
    struct {
      uint32_t Length;
      uint32_t Capacity;  // units the block has room for
    } String;
  } FValue;

  template <class T>
  static IJsonObjectPtr CreateScalar(TJsonKind kind, T TValue::*field, T value);
};

// The array store: slots that may be nil, a length and a capacity. The
// capacity follows the store's growth rule; memory for the slots is taken as
// elements arrive, since a 32-slot block for every small array doubled the
// allocator's share of a parse.
class TJsonArray : public TJsonPooled {
public:
  TJsonArray() = default;
  ~TJsonArray();
  TJsonArray(const TJsonArray&) = delete;
  TJsonArray& operator=(const TJsonArray&) = delete;

  int Length() const { return FLength; }
  int Capacity() const { return FCapacity; }
  // nil for an index outside 0 to Length() - 1.
  IJsonObjectPtr ItemAt(int index) const;
  // ToText of the element; empty for a nil element.
  std::u16string ItemText(int index) const;
  void SetItem(int index, IJsonObjectPtr value);
  int AppendItem(IJsonObjectPtr value);
  IJsonObjectPtr RemoveItem(int index);
  void Clear(bool all);

private:
  friend class TJsonObject;  // empties the store when its value is freed

  IJsonObject** FSlots = nullptr;  // each holds a reference or is nil
  int FLength = 0;
  int FCapacity = 32;
  int FAllocated = 0;  // slots with memory, at most FCapacity
};

uint32_t NameHash(const std::u16string& name);

struct TJsonAvlEntry : TJsonPooled {
  TJsonAvlEntry(std::u16string name, IJsonObjectPtr value)
      : FHash(NameHash(name)), FName(std::move(name)), FValue(std::move(value)) {}

  // [0]: the greater-hash side, walked first; [1]: the lesser-hash side.
  TJsonAvlEntry* FChild[2] = {nullptr, nullptr};
  int8_t FBalance = 0;  // height of [1] minus height of [0]
  uint32_t FHash;
  std::u16string FName;
  IJsonObjectPtr FValue;
};

// Entries ordered by descending NameHash, then by name.
class TJsonAvlTree : public TJsonPooled {
public:
  TJsonAvlTree() = default;
  TJsonAvlTree(const TJsonAvlTree&) = delete;
  TJsonAvlTree& operator=(const TJsonAvlTree&) = delete;
  virtual ~TJsonAvlTree() { Clear(false); }

  int Count() const { return FCount; }
  TJsonAvlEntry* Root() const { return FRoot; }
  // Links the entry in and returns it, or returns the entry that already
  // has its name and leaves the new one out.
  TJsonAvlEntry* Insert(TJsonAvlEntry* entry);
  TJsonAvlEntry* Search(const std::u16string& name) const;
  void Clear(bool all);

protected:
  virtual void DeleteEntry(TJsonAvlEntry* entry, bool all);

private:
  friend class TJsonObject;  // empties the table when its value is freed

  static int CompareEntries(const TJsonAvlEntry* a, const TJsonAvlEntry* b);
  static int CompareName(uint32_t hash, const std::u16string& name, const TJsonAvlEntry* entry);
  static bool InsertBelow(TJsonAvlEntry*& node, TJsonAvlEntry* entry, TJsonAvlEntry*& result);
  static void Rebalance(TJsonAvlEntry*& node, int side);
  void DeleteSubtree(TJsonAvlEntry* node, bool all);

  TJsonAvlEntry* FRoot = nullptr;
  int FCount = 0;
};

// The member table of an object.
class TJsonTableString : public TJsonAvlTree {
public:
  ~TJsonTableString() override { Clear(false); }
  IJsonObjectPtr FindMember(const std::u16string& name) const;
  // A name already present takes the new value and keeps its place.
  void PutMember(std::u16string name, IJsonObjectPtr value);

protected:
  void DeleteEntry(TJsonAvlEntry* entry, bool all) override;
};

// In-order cursor: descending hash.
class TJsonAvlIterator {
public:
  explicit TJsonAvlIterator(const TJsonAvlTree& tree);
  TJsonAvlEntry* Current() const { return FDepth < 0 ? nullptr : FPath[FDepth]; }
  void Next();

private:
  void Descend(TJsonAvlEntry* entry);

  // 64 covers the tallest AVL tree a 32-bit count can make (45 levels).
  TJsonAvlEntry* FPath[64];
  int FDepth = -1;
};

// Room for n units: on the stack for the short texts numbers are, on the
// heap beyond that.
template <class TChar>
class TScratchText {
public:
  explicit TScratchText(size_t n) : FData(n <= kShort ? FShort : (FLong.resize(n), &FLong[0])) {}
  TScratchText(const TScratchText&) = delete;
  TScratchText& operator=(const TScratchText&) = delete;
  TChar* Data() { return FData; }

private:
  static constexpr size_t kShort = 64;
  TChar FShort[kShort];
  std::basic_string<TChar> FLong;
  TChar* FData;
};

// Reading texts as numbers, as conversions and the parser need it.
int HexDigitValue(char16_t c);  // -1 for anything but 0-9, A-F, a-f
enum TReadResult { rrOk, rrBad, rrOverflow };
// Leading spaces, optional sign, decimal digits or hexadecimal digits after
// "$", "x", "X", "0x" or "0X"; value holds what was read up to a failure.
TReadResult ReadInteger(const char16_t* text, size_t length, int64_t& value);
// Decimal number with "." and optional exponent, independent of the locale;
// value holds the longest readable start.
TReadResult ReadDecimal(const char16_t* text, size_t length, double& value);

// Rounding to the nearest integer with ties to even, clamped to 64 bits.
int64_t RoundToInt64(double value);

IJsonObjectPtr ParseJsonText(const std::u16string& text);
// A document that means one thing to every reader: as ParseJsonText, but
// nil when anything but blanks and comments follows the value, when an
// object names a member twice, or when the text holds U+0000 (which would
// end the reading early).
IJsonObjectPtr ParseJsonDocument(const std::u16string& text);
