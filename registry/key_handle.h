// CKeyHandle: the owner of one open registry key. It closes the key it holds on Close, when a
// successful Open or Create replaces it, and in its destructor. A caller may lend it a key it
// does not own by storing the handle into m_hKey, and must set m_hKey back to null before the
// object is closed or destroyed.
#pragma once

#include "registry/registry.h"

class CKeyHandle {
 public:
  CKeyHandle() = default;
  // Closes the held key, dropping the result.
  ~CKeyHandle();
  CKeyHandle(const CKeyHandle&) = delete;
  CKeyHandle& operator=(const CKeyHandle&) = delete;

  // Closes the held key (forgetting it even when the close fails) and returns the close's result;
  // 0 without any registry call when nothing is held.
  LONG Close();
  // Opens `name` under `parent`. On failure returns the error and keeps what was held; on success
  // closes the old key, holds the new one and returns that close's result.
  LONG Open(HKEY parent, LPCSTR name, REGSAM access = KEY_ALL_ACCESS);
  // Creates or opens `name` under `parent`, passing the arguments on; otherwise as Open.
  // `disposition`, when given, receives what the registry reports (created or opened).
  LONG Create(HKEY parent, LPCSTR name, LPSTR className = nullptr,
              DWORD options = REG_OPTION_NON_VOLATILE, REGSAM access = KEY_ALL_ACCESS,
              const SECURITY_ATTRIBUTES* securityAttributes = nullptr,
              LPDWORD disposition = nullptr);
  // Deletes the subkey `name` of the held (possibly borrowed) key with everything below it,
  // deepest first. Stops at the first key it cannot open for reading and writing or delete and
  // returns that error; what was deleted before stays deleted. What is held does not change.
  LONG DeleteKeyTree(LPCSTR name);

  HKEY m_hKey = nullptr;
};
