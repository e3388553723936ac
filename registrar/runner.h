// The script runner: the top-level loop over the root entries of an expanded script, and the
// names of the registry's root keys. CScriptParser::RunScriptText itself is declared in
// script/parser.h.
#pragma once

#include "registry/registry.h"

struct RootKeyRow {
  const char* name;
  HKEY key;
};

// The root key names a script may use, short and long forms, in the order they are searched.
extern const RootKeyRow RootKeyTable[14];

// The root key whose name equals `name` as a whole string without regard to case, or null.
HKEY HKeyFromString(const char* name);
