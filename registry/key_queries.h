// The questions the key block walker asks before it removes anything, and the names it must
// never remove by force. The two key queries report a failed query at level 0 and answer false.
#pragma once

#include "registry/registry.h"

// Key names that ForceRemove leaves alone, compared without regard to case.
inline constexpr const char* NeverDeleteKeys[] = {"CLSID", "TYPELIB"};

// True when the open key has at least one subkey.
BOOL KeyHasSubkeys(HKEY key);
// True when the open key has a value other than its unnamed default value.
BOOL KeyHasNamedValues(HKEY key);
// False when `name` is one of NeverDeleteKeys (without regard to case); true otherwise.
BOOL MayForceRemove(const char* name);
