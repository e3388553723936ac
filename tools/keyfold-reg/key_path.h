// Key paths as people write them: a root name, short or long and in any case (HKLM or
// HKEY_LOCAL_MACHINE), then backslash-separated key names.
#pragma once

#include <string>

#include "registry/registry.h"

struct KeyPath {
  HKEY root = nullptr;
  // The root's long name, as the path is printed and exported (HKCR stays HKEY_CLASSES_ROOT).
  std::string rootName;
  // The path below the root, without leading or trailing backslash; empty for the root itself.
  std::string subKey;

  // The full path with the long root name.
  std::string Full() const { return subKey.empty() ? rootName : rootName + "\\" + subKey; }
  // This path extended by one key name.
  KeyPath Child(const std::string& name) const;
};

// Parses `text` into *path. One trailing backslash is allowed; an empty key name between two
// backslashes is not. Returns false and sets *error (in words) when the root is unknown or the
// path is malformed.
bool ParseKeyPath(const std::string& text, KeyPath* path, std::string* error);
