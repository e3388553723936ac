// The export command: a key and everything under it as a .reg file in the
// "Windows Registry Editor Version 5.00" format.
#pragma once

#include <string>

#include "tools/keyfold-reg/arguments.h"
#include "tools/keyfold-reg/key_path.h"
#include "tools/keyfold-reg/key_walk.h"

// One value as its .reg line (or lines, with long hex data wrapped), each ending in a line feed.
// String types are written as UTF-16LE bytes in their hex(N) forms. Returns false and sets
// *error when the name holds a line break, which the format cannot carry.
bool FormatRegValue(const RegValue& value, std::string* text, std::string* error);
// The .reg text, UTF-8 with LF line ends, of the key at `path` and everything under it, keys
// depth first in enumeration order. Returns false after printing the error.
bool ExportTree(const KeyPath& path, std::string* text);
// UTF-8 text with LF line ends as UTF-16LE with a byte order mark and CRLF line ends.
std::string ToUtf16Crlf(const std::string& text);

// Writes the file (or standard output for "-"); returns false after printing the error.
bool RunExport(const Arguments& args);
