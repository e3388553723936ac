#include "platform/memory.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<long> g_count{0};
std::atomic<long> g_failAt{0};

// Counts one allocation and answers whether it is the one chosen to fail.
bool ShouldFail() {
  long n = ++g_count;
  long failAt = g_failAt.load();
  return failAt != 0 && n == failAt;
}

}  // namespace

void* CoTaskMemAlloc(size_t size) {
  if (ShouldFail()) return nullptr;
  return malloc(size == 0 ? 1 : size);
}

void* CoTaskMemRealloc(void* block, size_t size) {
  if (ShouldFail()) return nullptr;
  return realloc(block, size == 0 ? 1 : size);
}

void CoTaskMemFree(void* block) { free(block); }

void* HeapAllocBlock(size_t size) { return CoTaskMemAlloc(size); }

void* HeapReallocBlock(void* block, size_t size) { return CoTaskMemRealloc(block, size); }

void HeapFreeBlock(void* block) { free(block); }

void FailAllocationAt(long n) { g_failAt.store(n == 0 ? 0 : g_count.load() + n); }

long AllocationCount() { return g_count.load(); }
