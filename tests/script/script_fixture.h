// Helpers for interpreter tests against a real store: run a block or a value assignment over a
// text, and read back what the registry holds.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "registry/key_handle.h"
#include "registry/registry.h"
#include "script/parser.h"
#include "tests/support/temp_store.h"

// True when `path` (backslashes for nested keys) exists under `root`.
inline bool KeyExists(HKEY root, const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// One value as stored: its type and bytes; found is false when the key or value is missing.
struct StoredValue {
  bool found = false;
  DWORD type = 0;
  std::string bytes;
};

inline StoredValue ReadValue(HKEY root, const char* path, const char* name) {
  StoredValue value;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
  BYTE data[8192];
  DWORD size = sizeof(data);
  if (RegQueryValueExA(key, name, nullptr, &value.type, data, &size) == ERROR_SUCCESS) {
    value.found = true;
    value.bytes.assign(reinterpret_cast<const char*>(data), size);
  }
  RegCloseKey(key);
  return value;
}

// Makes the key `path` under `root` (and its parents).
inline void MakeKey(HKEY root, const char* path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << path;
  RegCloseKey(key);
}

// Sets a string value (a null name is the default value) of the key `path`, making the key.
inline void SetString(HKEY root, const char* path, const char* name, const char* data) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                 static_cast<DWORD>(strlen(data) + 1));
  RegCloseKey(key);
}

// Walks the text of one block (starting right after its "{") under `root`. The text lives in
// the object so that the cursor can be looked at afterwards.
struct BlockRun {
  std::string text;
  CScriptParser parser;
  char buffer[TOKEN_BUFFER_SIZE] = "{";

  HRESULT Walk(const std::string& blockText, BOOL registerMode, HKEY root = HKEY_CURRENT_USER) {
    text = blockText;
    parser.m_pchCur = text.data();
    return parser.ParseKeyBlock(buffer, root, registerMode, FALSE);
  }
  // What follows the cursor.
  std::string Rest() const { return parser.m_pchCur; }
};
