// Test fixtures: fresh temporary directories and whole-file reads and writes.
#pragma once

#include <string>

// Makes a new empty directory under $TMPDIR (or /tmp); aborts the test program on failure.
std::string MakeTempDir(const char* prefix);
// Removes a directory tree; missing paths are fine.
void RemoveTree(const std::string& path);
// Reads a whole file into a string (empty when it cannot be read).
std::string ReadFileBytes(const std::string& path);
// Writes a whole file.
void WriteFileBytes(const std::string& path, const std::string& bytes);
