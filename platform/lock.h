// The critical section: a lock that one holder at a time may take, recursively by the same thread.
#pragma once

#include <mutex>

struct CRITICAL_SECTION {
  std::recursive_mutex mutex;
};

inline void InitializeCriticalSection(CRITICAL_SECTION*) {}
inline void DeleteCriticalSection(CRITICAL_SECTION*) {}
inline void EnterCriticalSection(CRITICAL_SECTION* cs) { cs->mutex.lock(); }
inline void LeaveCriticalSection(CRITICAL_SECTION* cs) { cs->mutex.unlock(); }
