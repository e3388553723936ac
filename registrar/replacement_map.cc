#include "platform/memory.h"
#include "platform/text.h"
#include "registrar/registrar.h"

namespace {

constexpr int kInitialCapacity = 10;

// A task-allocator copy of a wide string, terminator included; null when memory cannot be had.
WCHAR* CopyWide(LPCWSTR source) {
  size_t length = static_cast<size_t>(lstrlenW(source));
  WCHAR* copy = static_cast<WCHAR*>(CoTaskMemAlloc(2 * (length + 1)));
  if (copy == nullptr) return nullptr;
  for (size_t i = 0; i <= length; ++i) copy[i] = source[i];
  return copy;
}

}  // namespace

CReplacementMap::CReplacementMap() {
  entries =
      static_cast<ReplacementEntry**>(HeapAllocBlock(kInitialCapacity * sizeof(ReplacementEntry*)));
  capacity = kInitialCapacity;
}

CReplacementMap::~CReplacementMap() {
  Clear();
  HeapFreeBlock(entries);
}

HRESULT CReplacementMap::Add(LPCWSTR name, LPCWSTR value) {
  ReplacementEntry* entry =
      static_cast<ReplacementEntry*>(HeapAllocBlock(sizeof(ReplacementEntry)));
  if (entry == nullptr) return E_OUTOFMEMORY;
  entry->name = CopyWide(name);
  entry->value = CopyWide(value);
  auto discard = [entry] {
    CoTaskMemFree(entry->name);
    CoTaskMemFree(entry->value);
    HeapFreeBlock(entry);
    return E_OUTOFMEMORY;
  };
  if (entry->name == nullptr || entry->value == nullptr) return discard();

  if (count == capacity) {
    if (entries == nullptr || capacity > (1 << 29)) return discard();
    ReplacementEntry** grown = static_cast<ReplacementEntry**>(
        HeapReallocBlock(entries, 2 * static_cast<size_t>(capacity) * sizeof(ReplacementEntry*)));
    if (grown == nullptr) return discard();
    entries = grown;
    capacity *= 2;
  }
  // A map whose first array could not be had has capacity 10 but no array.
  if (entries == nullptr) return discard();
  entries[count++] = entry;
  return S_OK;
}

LPCWSTR CReplacementMap::Lookup(const char* key) const {
  for (int i = 0; i < count; ++i) {
    WideToNarrow name(entries[i]->name);
    if (lstrcmpiA(name, key) == 0) return entries[i]->value;
  }
  return nullptr;
}

HRESULT CReplacementMap::Clear() {
  for (int i = 0; i < count; ++i) {
    CoTaskMemFree(entries[i]->value);
    CoTaskMemFree(entries[i]->name);
    HeapFreeBlock(entries[i]);
  }
  count = 0;
  return S_OK;
}
