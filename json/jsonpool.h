// Memory of JSON values, member entries and array stores: 128 KiB slabs that
// each thread fills front to back. A slab goes back to the heap once every
// block in it is freed, by whichever thread frees the last one, so a tree
// may be released on another thread and a process keeps no slab of a tree
// that is gone. Blocks above 4 KiB come from the heap directly.
#pragma once

#include <cstddef>

void* JsonPoolAlloc(size_t size);
// size is the one the block was taken with.
void JsonPoolFree(void* block, size_t size);
// Slabs not yet given back, over all threads.
size_t JsonPoolSlabs();

// Gives a class its memory from the pool.
struct TJsonPooled {
  static void* operator new(size_t size) { return JsonPoolAlloc(size); }
  static void operator delete(void* block, size_t size) { JsonPoolFree(block, size); }
};
