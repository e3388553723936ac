// How the tool tells a person what went wrong: one line on standard error, prefixed with the
// program's name, and registry error codes in words.
#pragma once

#include <string>

#include "platform/types.h"

// A registry or platform error code in words ("access denied", "not found", ...).
std::string ErrorWords(LONG error);
// Prints "keyfold-reg: <text>" and a line feed on standard error.
void PrintError(const std::string& text);
