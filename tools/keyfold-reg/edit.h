// The add and delete commands.
#pragma once

#include "tools/keyfold-reg/arguments.h"

// Creates the key and its missing parents, and sets the value named by /v or /ve when given.
// An existing value is replaced only with /f (or when the person at the terminal agrees).
// Returns false after printing the error.
bool RunAdd(const Arguments& args);
// Deletes one value (/v, /ve), every value of the key (/va), or the key with its subtree. Asks
// first unless /f is given; without a terminal to ask on, /f is required. Returns false after
// printing the error; what was deleted before a failure is undone with the transaction.
bool RunDelete(const Arguments& args);
