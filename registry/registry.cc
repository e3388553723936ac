// The free Reg* operations: each forwards to the operations table in force.
#include "registry/registry.h"

#include "registry/registry_api.h"

namespace {

RegistryApi* g_pCurrentApi = nullptr;

}  // namespace

RegistryApi& CurrentRegistryApi() { return g_pCurrentApi ? *g_pCurrentApi : StoreRegistryApi(); }

RegistryApi* SetRegistryApi(RegistryApi* api) {
  RegistryApi* previous = g_pCurrentApi;
  g_pCurrentApi = api;
  return previous;
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
  return CurrentRegistryApi().OpenKeyEx(key, subKey, options, access, result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                     REGSAM access, const SECURITY_ATTRIBUTES* security, PHKEY result,
                     LPDWORD disposition) {
  return CurrentRegistryApi().CreateKeyEx(key, subKey, reserved, className, options, access,
                                          security, result, disposition);
}

LONG RegCloseKey(HKEY key) { return CurrentRegistryApi().CloseKey(key); }

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size) {
  return CurrentRegistryApi().SetValueEx(key, valueName, reserved, type, data, size);
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
  return CurrentRegistryApi().DeleteValue(key, valueName);
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) { return CurrentRegistryApi().DeleteKey(key, subKey); }

LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPSTR className, LPDWORD classLength, FILETIME* lastWriteTime) {
  return CurrentRegistryApi().EnumKeyEx(key, index, name, nameLength, reserved, className,
                                        classLength, lastWriteTime);
}

LONG RegQueryInfoKeyA(HKEY key, LPSTR className, LPDWORD classLength, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                      LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                      LPDWORD securityDescriptorSize, FILETIME* lastWriteTime) {
  return CurrentRegistryApi().QueryInfoKey(
      key, className, classLength, reserved, subKeys, maxSubKeyLength, maxClassLength, values,
      maxValueNameLength, maxValueLength, securityDescriptorSize, lastWriteTime);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength,
                   LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  return CurrentRegistryApi().EnumValue(key, index, valueName, valueNameLength, reserved, type,
                                        data, dataSize);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  return CurrentRegistryApi().QueryValueEx(key, valueName, reserved, type, data, dataSize);
}
