// The registrar: the replacement map that %name% references are expanded from, the lock that
// guards it, and the two entry points that load a script (from a file or a module resource),
// expand it and run it.
#pragma once

#include "platform/lock.h"
#include "platform/types.h"

// One name-to-value pair; both strings are private copies owned by the map.
struct ReplacementEntry {
  WCHAR* name;
  WCHAR* value;
};

// A plain growable array of replacement entries with linear, case-insensitive lookup. The map
// takes no lock itself: every caller holds the registrar's lock around each call.
class CReplacementMap {
 public:
  // Starts empty with room for 10 entries; a failed array allocation leaves `entries` null,
  // and every Add then fails with E_OUTOFMEMORY.
  CReplacementMap();
  // Frees every entry and the array.
  ~CReplacementMap();
  CReplacementMap(const CReplacementMap&) = delete;
  CReplacementMap& operator=(const CReplacementMap&) = delete;

  // Appends copies of `name` and `value` (strings from the task allocator, the record from the
  // heap), doubling the array when it is full. S_OK, or E_OUTOFMEMORY with the map unchanged and
  // nothing of the new entry left allocated. Names need not be unique.
  HRESULT Add(LPCWSTR name, LPCWSTR value);
  // The value of the first entry whose name equals `key` without regard to case, or null. The
  // string belongs to the map and stays valid until Clear.
  LPCWSTR Lookup(const char* key) const;
  // Frees every entry; the array and its capacity stay. Always S_OK.
  HRESULT Clear();

  ReplacementEntry** entries = nullptr;
  int count = 0;
  int capacity = 0;
};

// The object that runs scripts. Lives for one script run branch.
class CScriptRegistrar {
 public:
  CScriptRegistrar();
  // Clears the map under the lock, then destroys the lock and the map.
  ~CScriptRegistrar();
  CScriptRegistrar(const CScriptRegistrar&) = delete;
  CScriptRegistrar& operator=(const CScriptRegistrar&) = delete;

  // Reads the whole file (opened without sharing for as long as the run lasts), expands it and
  // runs it in register (TRUE) or unregister (FALSE) mode. S_OK, or the first failure: the
  // HRESULT of the platform error (E_FAIL when the platform gave none), or the code of the
  // expansion or the run. Every failure is reported at level 0.
  HRESULT RunScriptFile(LPCWSTR fileName, BOOL registerMode);
  // Loads the resource `resourceId` (MAKEINTRESOURCEA(n) or a name) of type `resourceType` from
  // the module file `modulePath` as data, expands it and runs it. Results as RunScriptFile.
  HRESULT RunScriptResource(LPCWSTR modulePath, LPCSTR resourceId, LPCSTR resourceType,
                            BOOL registerMode);

  CReplacementMap map;
  CRITICAL_SECTION lock;
};
