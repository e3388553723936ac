#include "registry/key_queries.h"

#include "platform/diagnostics.h"
#include "platform/text.h"

namespace {

// The value-name buffer of the single-value check.
constexpr DWORD VALUE_NAME_BUFFER_SIZE = 4096;

}  // namespace

BOOL KeyHasSubkeys(HKEY key) {
  DWORD subkeys = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    ReportMessage(0, "Should not be here!!\n");
    return FALSE;
  }
  return subkeys != 0;
}

BOOL KeyHasNamedValues(HKEY key) {
  DWORD values = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                       nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    ReportMessage(0, "RegQueryInfoKey Failed ");
    return FALSE;
  }
  if (values == 0) return FALSE;
  if (values >= 2) return TRUE;

  char name[VALUE_NAME_BUFFER_SIZE];
  DWORD length = VALUE_NAME_BUFFER_SIZE;
  LONG result = RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
  // A name too long for the buffer is certainly not the empty name of the default value.
  if (result == ERROR_MORE_DATA) return TRUE;
  if (result != ERROR_SUCCESS) return FALSE;
  return name[0] != '\0';
}

BOOL MayForceRemove(const char* name) {
  for (const char* never : NeverDeleteKeys)
    if (lstrcmpiA(name, never) == 0) return FALSE;
  return TRUE;
}
