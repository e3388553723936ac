// The one seam between the program and the registry store: every Reg* function forwards to the
// current RegistryApi. Tests install a wrapper that records calls, fails chosen ones, and
// forwards the rest to the store (StoreRegistryApi()).
#pragma once

#include "registry/registry.h"

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;
  virtual LONG OpenKeyEx(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) = 0;
  virtual LONG CreateKeyEx(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                           REGSAM access, const SECURITY_ATTRIBUTES* security, PHKEY result,
                           LPDWORD disposition) = 0;
  virtual LONG CloseKey(HKEY key) = 0;
  virtual LONG SetValueEx(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                          DWORD size) = 0;
  virtual LONG DeleteValue(HKEY key, LPCSTR valueName) = 0;
  virtual LONG DeleteKey(HKEY key, LPCSTR subKey) = 0;
  virtual LONG EnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                         LPSTR className, LPDWORD classLength, FILETIME* lastWriteTime) = 0;
  virtual LONG QueryInfoKey(HKEY key, LPSTR className, LPDWORD classLength, LPDWORD reserved,
                            LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                            LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                            LPDWORD securityDescriptorSize, FILETIME* lastWriteTime) = 0;
  virtual LONG EnumValue(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength,
                         LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) = 0;
  virtual LONG QueryValueEx(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                            LPDWORD dataSize) = 0;
};

// The store's own implementation; it lives as long as the process.
RegistryApi& StoreRegistryApi();
// The implementation the Reg* functions call now.
RegistryApi& CurrentRegistryApi();
// Installs `api` (null: the store again) and returns the one it replaces. Not owned.
RegistryApi* SetRegistryApi(RegistryApi* api);
