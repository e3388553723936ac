// The task allocator (blocks handed from one part of the program to another) and the ordinary
// heap (records and arrays a part keeps for itself). Both go through one counter, so a test can
// make the N-th allocation from now fail and reach every out-of-memory path.
#pragma once

#include <cstddef>

// A block of at least `size` bytes, or null when memory cannot be had.
void* CoTaskMemAlloc(size_t size);
// Grows or shrinks a block; null (the old block untouched) on failure. A null block allocates.
void* CoTaskMemRealloc(void* block, size_t size);
// Frees a block; a null block does nothing.
void CoTaskMemFree(void* block);

// The ordinary heap, with the same promises as the task allocator.
void* HeapAllocBlock(size_t size);
void* HeapReallocBlock(void* block, size_t size);
void HeapFreeBlock(void* block);

// Test seam: the n-th allocation or reallocation from now (1 = the next) fails, and only that
// one; 0 turns failures off. Counting always runs.
void FailAllocationAt(long n);
// How many allocations and reallocations have been asked for since the process started.
long AllocationCount();
