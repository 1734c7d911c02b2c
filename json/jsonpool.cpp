#include "json/jsonpool.h"

#include <atomic>
#include <cstdint>
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
// Added to a slab's count while a thread still takes blocks from it.
constexpr int64_t kFilling = int64_t(1) << 40;

struct TSlab {
  std::atomic<int64_t> Live{kFilling};  // blocks taken and not freed, plus kFilling while filled
};
static_assert(sizeof(TSlab) <= kHeader, "the header precedes the blocks");

std::atomic<size_t> gSlabs{0};

size_t Rounded(size_t size) { return (size + 7) & ~size_t(7); }

void FreeSlab(TSlab* slab) {
  ASAN_UNPOISON_MEMORY_REGION(slab, kSlabSize);
  slab->~TSlab();
  ::operator delete(slab, std::align_val_t(kSlabSize));
  --gSlabs;
}

// The slab a thread is filling.
class TCursor {
public:
  ~TCursor() { Close(); }

  void* Take(size_t size) {
    if (static_cast<size_t>(FEnd - FNext) < size) Open();
    void* block = FNext;
    FNext += size;
    ++FTaken;
    ASAN_UNPOISON_MEMORY_REGION(block, size);
    return block;
  }

private:
  void Open() {
    if (FSlab && FSlab->Live.load(std::memory_order_acquire) == kFilling - FTaken) {
      // Every block is free again (a parse whose tree is gone): fill it anew.
      FSlab->Live.store(kFilling, std::memory_order_relaxed);
      FNext = reinterpret_cast<char*>(FSlab) + kHeader;
      FTaken = 0;
      return;
    }
    Close();
    FSlab = new (::operator new(kSlabSize, std::align_val_t(kSlabSize))) TSlab;
    ++gSlabs;
    FNext = reinterpret_cast<char*>(FSlab) + kHeader;
    FEnd = reinterpret_cast<char*>(FSlab) + kSlabSize;
    FTaken = 0;
    ASAN_POISON_MEMORY_REGION(FNext, FEnd - FNext);
  }

  // The slab now lives as long as its blocks.
  void Close() {
    if (!FSlab) return;
    int64_t bias = kFilling - FTaken;
    if (FSlab->Live.fetch_sub(bias, std::memory_order_acq_rel) == bias) FreeSlab(FSlab);
    FSlab = nullptr;
    FNext = FEnd = nullptr;
  }

  TSlab* FSlab = nullptr;
  char* FNext = nullptr;
  char* FEnd = nullptr;
  int64_t FTaken = 0;
};

thread_local TCursor tCursor;

}  // namespace

void* JsonPoolAlloc(size_t size) {
  size = Rounded(size);
  if (size > kLargest) return ::operator new(size);
  return tCursor.Take(size);
}

void JsonPoolFree(void* block, size_t size) {
  if (!block) return;
  size = Rounded(size);
  if (size > kLargest) {
    ::operator delete(block);
    return;
  }
  ASAN_POISON_MEMORY_REGION(block, size);
  TSlab* slab = reinterpret_cast<TSlab*>(reinterpret_cast<uintptr_t>(block) & ~uintptr_t(kSlabSize - 1));
  if (slab->Live.fetch_sub(1, std::memory_order_acq_rel) == 1) FreeSlab(slab);
}

size_t JsonPoolSlabs() { return gSlabs.load(); }
