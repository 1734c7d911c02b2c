#include "json/jsonpool.h"

#include <atomic>
#include <mutex>
#include <new>

// Freed blocks are poisoned, so AddressSanitizer still sees a use after free
// inside a slab that lives on.
#if defined(__SANITIZE_ADDRESS__)
#define ZR_JSON_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZR_JSON_ASAN 1
#endif
#endif
#ifdef ZR_JSON_ASAN
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(block, size) ((void)(block), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(block, size) ((void)(block), (void)(size))
#endif

namespace {

constexpr size_t kSlabSize = 128 * 1024;
constexpr size_t kLargest = 4 * 1024;
constexpr size_t kHeader = 16;
// Added to a slab's count while a cursor may still take blocks from it.
constexpr int64_t kFilling = int64_t(1) << 40;

}  // namespace

struct TJsonSlab {
  std::atomic<int64_t> Live{kFilling};  // blocks taken and not freed, plus kFilling while open
};
static_assert(sizeof(TJsonSlab) <= kHeader, "the header precedes the blocks");

namespace {

std::atomic<size_t> gSlabs{0};
// The slab kept open between parses, and the one values built outside a
// parse are taken from.
std::mutex gKeptLock;
TJsonSlabCursor gKept;
// A plain pointer: thread-local objects with destructors are not destroyed
// reliably by every runtime (MinGW frees their storage first).
thread_local TJsonPoolScope* tScope = nullptr;

size_t Rounded(size_t size) { return (size + 7) & ~size_t(7); }

void FreeSlab(TJsonSlab* slab) {
  ASAN_UNPOISON_MEMORY_REGION(slab, kSlabSize);
  slab->~TJsonSlab();
  ::operator delete(slab, std::align_val_t(kSlabSize));
  --gSlabs;
}

// Every block taken is free again: the slab can be filled anew.
bool Rewound(TJsonSlabCursor& cursor) {
  if (!cursor.Slab || cursor.Slab->Live.load(std::memory_order_acquire) != kFilling - cursor.Taken) return false;
  cursor.Slab->Live.store(kFilling, std::memory_order_relaxed);
  cursor.Next = reinterpret_cast<char*>(cursor.Slab) + kHeader;
  cursor.Taken = 0;
  return true;
}

// From here the slab lives as long as its blocks.
void Close(TJsonSlabCursor& cursor) {
  if (cursor.Slab) {
    int64_t bias = kFilling - cursor.Taken;
    if (cursor.Slab->Live.fetch_sub(bias, std::memory_order_acq_rel) == bias) FreeSlab(cursor.Slab);
  }
  cursor = TJsonSlabCursor();
}

void Refill(TJsonSlabCursor& cursor) {
  if (Rewound(cursor)) return;
  Close(cursor);
  cursor.Slab = new (::operator new(kSlabSize, std::align_val_t(kSlabSize))) TJsonSlab;
  ++gSlabs;
  cursor.Next = reinterpret_cast<char*>(cursor.Slab) + kHeader;
  cursor.End = reinterpret_cast<char*>(cursor.Slab) + kSlabSize;
  ASAN_POISON_MEMORY_REGION(cursor.Next, cursor.End - cursor.Next);
}

void* Take(TJsonSlabCursor& cursor, size_t size) {
  if (static_cast<size_t>(cursor.End - cursor.Next) < size) Refill(cursor);
  void* block = cursor.Next;
  cursor.Next += size;
  ++cursor.Taken;
  ASAN_UNPOISON_MEMORY_REGION(block, size);
  return block;
}

}  // namespace

TJsonPoolScope::TJsonPoolScope() : FOuter(tScope) {
  std::lock_guard<std::mutex> lock(gKeptLock);
  FCursor = gKept;
  gKept = TJsonSlabCursor();
  Rewound(FCursor);
  tScope = this;
}

TJsonPoolScope::~TJsonPoolScope() {
  tScope = FOuter;
  std::lock_guard<std::mutex> lock(gKeptLock);
  if (gKept.Slab) {
    Close(FCursor);
  } else {
    gKept = FCursor;
  }
}

void* JsonPoolAlloc(size_t size) {
  size = Rounded(size);
  if (size > kLargest) return ::operator new(size);
  if (TJsonPoolScope* scope = tScope) return Take(scope->Cursor(), size);
  std::lock_guard<std::mutex> lock(gKeptLock);
  return Take(gKept, size);
}

void JsonPoolFree(void* block, size_t size) {
  if (!block) return;
  size = Rounded(size);
  if (size > kLargest) {
    ::operator delete(block);
    return;
  }
  ASAN_POISON_MEMORY_REGION(block, size);
  TJsonSlab* slab = reinterpret_cast<TJsonSlab*>(reinterpret_cast<uintptr_t>(block) & ~uintptr_t(kSlabSize - 1));
  if (slab->Live.fetch_sub(1, std::memory_order_acq_rel) == 1) FreeSlab(slab);
}

size_t JsonPoolSlabs() { return gSlabs.load(); }
