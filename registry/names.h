// Key and value names as the store keeps them: UTF-8, with a case-folded copy for lookups and
// ordering, so that names compare without regard to case and keep the case they were given.
#pragma once

#include <string>

// Narrow text of the system code page (`length` bytes) as UTF-8.
std::string NameToUtf8(const char* narrow, size_t length);
// UTF-8 text as narrow text of the system code page.
std::string NameFromUtf8(const std::string& utf8);
// The simple case folding of UTF-8 text, character by character (the same folding the
// platform's case-insensitive comparison uses).
std::string FoldName(const std::string& utf8);
// The length of UTF-8 text in UTF-16 units: the platform's measure of a name's length.
size_t NameLengthInUnits(const std::string& utf8);
