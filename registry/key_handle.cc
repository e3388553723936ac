#include "registry/key_handle.h"

#include "platform/text.h"

CKeyHandle::~CKeyHandle() { Close(); }

LONG CKeyHandle::Close() {
  if (m_hKey == nullptr) return ERROR_SUCCESS;
  LONG result = RegCloseKey(m_hKey);
  m_hKey = nullptr;
  return result;
}

LONG CKeyHandle::Open(HKEY parent, LPCSTR name, REGSAM access) {
  HKEY key = nullptr;
  LONG result = RegOpenKeyExA(parent, name, 0, access, &key);
  if (result != ERROR_SUCCESS) return result;
  result = Close();
  m_hKey = key;
  return result;
}

LONG CKeyHandle::Create(HKEY parent, LPCSTR name, LPSTR className, DWORD options, REGSAM access,
                        const SECURITY_ATTRIBUTES* securityAttributes, LPDWORD disposition) {
  HKEY key = nullptr;
  LONG result = RegCreateKeyExA(parent, name, 0, className, options, access, securityAttributes,
                                &key, disposition);
  if (result != ERROR_SUCCESS) return result;
  result = Close();
  m_hKey = key;
  return result;
}

LONG CKeyHandle::DeleteKeyTree(LPCSTR name) {
  CKeyHandle key;
  LONG result = key.Open(m_hKey, name, KEY_READ | KEY_WRITE);
  if (result != ERROR_SUCCESS) return result;

  // Room for a subkey name of the longest length in the code page's widest encoding, and its
  // NUL: a 255-character name takes up to 765 bytes in UTF-8.
  char subkey[REGISTRY_MAX_KEY_NAME * 3 + 1];
  const DWORD size = REGISTRY_MAX_KEY_NAME * MaxBytesPerWideChar(CP_ACP) + 1;
  for (;;) {
    DWORD length = size;
    if (RegEnumKeyExA(key.m_hKey, 0, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    result = key.DeleteKeyTree(subkey);
    if (result != ERROR_SUCCESS) return result;  // `key` closes on the way out
  }
  key.Close();
  return RegDeleteKeyA(m_hKey, name);
}
