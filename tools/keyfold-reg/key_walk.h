// Reading and removing keys through the registry operations, with buffers sized from the key's
// own counts, so long and non-ASCII names and large values come back whole.
#pragma once

#include <string>
#include <vector>

#include "registry/registry.h"

// One open key, closed when the object goes.
class OpenKey {
 public:
  OpenKey() = default;
  ~OpenKey();
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

  // Opens `subKey` of `parent` (empty: the parent itself) with `access`; 0 or the error.
  LONG Open(HKEY parent, const std::string& subKey, REGSAM access);
  // Opens `subKey`, creating it and its missing parents; 0 or the error.
  LONG Create(HKEY parent, const std::string& subKey);
  void Close();
  HKEY get() const { return m_hKey; }

 private:
  HKEY m_hKey = nullptr;
};

struct RegValue {
  std::string name;  // empty for the unnamed default value
  DWORD type = REG_NONE;
  std::string data;  // the bytes as the narrow operations give them
};

// The names of the key's subkeys in enumeration order; 0 or the error.
LONG ListSubkeys(HKEY key, std::vector<std::string>* names);
// The key's values in enumeration order; 0 or the error.
LONG ListValues(HKEY key, std::vector<RegValue>* values);
// One value by name (empty: the default value); ERROR_FILE_NOT_FOUND when it is not set.
LONG ReadValue(HKEY key, const std::string& name, RegValue* value);
// Rewrites the key names of `subKey` (of `root`) to their stored spelling, since names match
// without regard to case; names that cannot be looked up stay as given.
void UseStoredSpelling(HKEY root, std::string* subKey);

// Deletes `subKey` of `parent` with everything below it, deepest keys first. Stops at the first
// failure and returns it; the caller drops the transaction to undo what was done before.
LONG DeleteTree(HKEY parent, const std::string& subKey);
// Deletes the key at `subKey` of the root key (not the root itself) with everything below it.
LONG DeleteKeyAt(HKEY root, const std::string& subKey);
