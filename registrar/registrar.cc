#include "registrar/registrar.h"

CScriptRegistrar::CScriptRegistrar() { InitializeCriticalSection(&lock); }

CScriptRegistrar::~CScriptRegistrar() {
  EnterCriticalSection(&lock);
  map.Clear();
  LeaveCriticalSection(&lock);
  DeleteCriticalSection(&lock);
  // The map's own destructor frees the array after this.
}
