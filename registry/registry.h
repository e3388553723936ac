// The registry operations the program uses, with the platform's names, access masks, value
// types and predefined root keys. Every operation returns 0 (ERROR_SUCCESS) or a platform error
// code and never crashes on a bad handle (ERROR_INVALID_HANDLE). All calls go through the
// operations table of registry_api.h, so tests can wrap them.
#pragma once

#include "platform/error.h"
#include "platform/types.h"

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;

inline HKEY PredefinedKey(uint32_t value) {
  return reinterpret_cast<HKEY>(static_cast<uintptr_t>(value));
}
#define HKEY_CLASSES_ROOT PredefinedKey(0x80000000u)
#define HKEY_CURRENT_USER PredefinedKey(0x80000001u)
#define HKEY_LOCAL_MACHINE PredefinedKey(0x80000002u)
#define HKEY_USERS PredefinedKey(0x80000003u)
#define HKEY_PERFORMANCE_DATA PredefinedKey(0x80000004u)
#define HKEY_CURRENT_CONFIG PredefinedKey(0x80000005u)
#define HKEY_DYN_DATA PredefinedKey(0x80000006u)

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// Longest key name (one level) and value name, in characters, and the deepest key path.
constexpr DWORD REGISTRY_MAX_KEY_NAME = 255;
constexpr DWORD REGISTRY_MAX_VALUE_NAME = 16383;
constexpr DWORD REGISTRY_MAX_DEPTH = 512;

// Opens the subkey (a path with backslashes means nested keys; empty or null opens the key
// itself again). Write access is refused with ERROR_ACCESS_DENIED on a hive we may not write.
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
// Opens the subkey, creating it and any missing parents; *disposition (when given) tells which.
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                     REGSAM access, const SECURITY_ATTRIBUTES* security, PHKEY result,
                     LPDWORD disposition);
LONG RegCloseKey(HKEY key);
// Sets a value; a null or empty name is the unnamed default value. String types are stored as
// Unicode, converted from the system code page.
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
LONG RegDeleteValueA(HKEY key, LPCSTR valueName);
// Deletes a subkey that has no subkeys (ERROR_ACCESS_DENIED otherwise), with its values.
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
// The index-th subkey in case-insensitive name order. *nameLength in: buffer size in bytes;
// out: the name's length without NUL. ERROR_MORE_DATA when it does not fit,
// ERROR_NO_MORE_ITEMS past the end.
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPSTR className, LPDWORD classLength, FILETIME* lastWriteTime);
// Counts and longest lengths of a key; every out-parameter may be null.
LONG RegQueryInfoKeyA(HKEY key, LPSTR className, LPDWORD classLength, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                      LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                      LPDWORD securityDescriptorSize, FILETIME* lastWriteTime);
// The index-th value in the order values were first set, with its type and data when asked for.
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength,
                   LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
// Reads one value's type and data; ERROR_MORE_DATA with the size needed when data does not fit.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
