// Test fixtures: a fresh temporary directory, and a fresh registry store in one.
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

// A registry store of its own in a temporary directory, in force from construction (the open
// store, if any, is closed and KEYFOLD_REGISTRY points here) to destruction (the store is closed,
// the directory removed and KEYFOLD_REGISTRY restored).
class TempStore {
 public:
  TempStore();
  ~TempStore();
  TempStore(const TempStore&) = delete;
  TempStore& operator=(const TempStore&) = delete;

  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
  std::string m_previous;
  bool m_hadPrevious = false;
};
