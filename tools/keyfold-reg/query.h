// The query command: prints a key's values, or its whole subtree, on standard output.
#pragma once

#include "tools/keyfold-reg/arguments.h"

// Prints the key named in `args` (with /v or /ve one value, with /s every key below it too).
// Returns false after printing the error when the key or value does not exist or the store
// cannot be read.
bool RunQuery(const Arguments& args);
