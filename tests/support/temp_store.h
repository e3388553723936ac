// Test fixture: a fresh registry store in a temporary directory.
#pragma once

#include <string>

#include "tests/support/temp_dir.h"

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
