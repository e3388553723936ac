// Whole-file reading and writing for export and import. "-" stands for standard input or
// output.
#pragma once

#include <string>

// Reads the whole file. Returns false and sets *error (in words) when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);
// Writes the bytes to a temporary file beside `path` and renames it into place, so a failed
// write leaves no half-written file. An existing file is replaced only when `overwrite` is set.
// Returns false and sets *error (in words) on failure.
bool WriteWholeFile(const std::string& path, const std::string& bytes, bool overwrite,
                    std::string* error);
