#include "tests/support/temp_store.h"

#include <cstdlib>

#include "registry/store.h"

TempStore::TempStore() : m_path(MakeTempDir("keyfold-store")) {
  CloseRegistryStore();
  if (const char* previous = getenv("KEYFOLD_REGISTRY")) {
    m_hadPrevious = true;
    m_previous = previous;
  }
  setenv("KEYFOLD_REGISTRY", m_path.c_str(), 1);
}

TempStore::~TempStore() {
  CloseRegistryStore();
  if (m_hadPrevious)
    setenv("KEYFOLD_REGISTRY", m_previous.c_str(), 1);
  else
    unsetenv("KEYFOLD_REGISTRY");
  RemoveTree(m_path);
}
