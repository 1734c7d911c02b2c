// Memory of JSON values, member entries and array stores: 128 KiB slabs
// filled front to back. A slab goes back to the heap once every block in it
// is freed, by whichever thread frees the last one, so a tree may be released
// on another thread and a process keeps no slab of a tree that is gone, but
// for one slab kept open for the next parse. Blocks above 4 KiB come from the
// heap directly.
#pragma once

#include <cstddef>
#include <cstdint>

struct TJsonSlab;

// Where the next block of a slab is taken from.
struct TJsonSlabCursor {
  TJsonSlab* Slab = nullptr;
  char* Next = nullptr;
  char* End = nullptr;
  int64_t Taken = 0;  // blocks taken from the slab
};

// While a scope lives, blocks taken on its thread come from its own slab
// without a lock; the parser keeps one for each parse. Elsewhere (values
// built through the API) they come from the kept slab under a lock. The
// scope hands its slab on when it ends, so no slab depends on a thread's end.
class TJsonPoolScope {
public:
  TJsonPoolScope();
  ~TJsonPoolScope();
  TJsonPoolScope(const TJsonPoolScope&) = delete;
  TJsonPoolScope& operator=(const TJsonPoolScope&) = delete;

  TJsonSlabCursor& Cursor() { return FCursor; }

private:
  TJsonSlabCursor FCursor;
  TJsonPoolScope* FOuter;
};

void* JsonPoolAlloc(size_t size);
// size is the one the block was taken with.
void JsonPoolFree(void* block, size_t size);
// Slabs not yet given back.
size_t JsonPoolSlabs();

// Gives a class its memory from the pool.
struct TJsonPooled {
  static void* operator new(size_t size) { return JsonPoolAlloc(size); }
  static void operator delete(void* block, size_t size) { JsonPoolFree(block, size); }
};
