// Value types by name, value data as people type it on the command line, and as the query
// prints it.
#pragma once

#include <string>

#include "platform/types.h"

// The type's name (REG_SZ, REG_DWORD, ...); "REG_0x<hex>" for a type without one.
std::string TypeName(DWORD type);
// The type a name stands for (any case); false when the name is unknown or not one `add` writes.
bool TypeFromName(const std::string& name, DWORD* type);

// The bytes RegSetValueExA takes for `text` typed as `type`: strings in UTF-8 with their NUL,
// REG_MULTI_SZ with "\0" between strings and an extra NUL at the end, numbers in decimal or with
// 0x in hex, binary and REG_NONE as hex digits. Returns false and sets *error when `text` does
// not fit the type.
bool DataFromText(DWORD type, const std::string& text, std::string* data, std::string* error);

// The data as the query prints it: strings as text (REG_MULTI_SZ with "\0" between strings),
// numbers as 0x and lowercase hex, everything else as uppercase hex digits.
std::string DataToText(DWORD type, const std::string& data);
