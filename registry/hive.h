// One hive: an SQLite database file holding a tree of keys with their values. Keys are rows
// (id, parent, name, folded name); values are rows (key, name, folded name, type, data) whose
// row id records the order they were first set. Lookups and ordered enumeration are index
// scans. The first write begins an IMMEDIATE transaction that Commit ends; closing without a
// commit drops it. Every operation returns 0 or a platform registry error; none throws.
#pragma once

#include <sqlite3.h>
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/types.h"

enum class HiveKind { kMachine, kUser };

// The tables and indexes of a new hive file (the benchmark builds its SQLite floor from it).
extern const char* const HIVE_SCHEMA;

class Hive {
 public:
  // Opens the hive file at `path`, creating it with `mode` and its base keys when it does not
  // exist (or is empty). A file we may not write is opened read-only. A file that is not a hive
  // of ours gives ERROR_BADDB and is left untouched.
  static LONG Open(const std::string& path, HiveKind kind, mode_t mode,
                   std::unique_ptr<Hive>* hive);
  ~Hive();  // drops an uncommitted transaction
  // How long a write waits for another process's transaction (all hives, from their next
  // write on).
  static void SetBusyTimeout(int milliseconds);
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  bool writable() const { return m_bWritable; }
  // The key id of a named top key ("HKEY_LOCAL_MACHINE"...) or of a base key path under it, as
  // resolved at open; 0 when the hive has no such key.
  int64_t root(int which) const { return m_roots[which]; }
  // Grows with every change made through this hive; enumeration caches compare it.
  uint64_t changes() const { return m_changes; }

  // Begins the run's transaction unless it is open already (waiting for another writer up to
  // the busy timeout, then ERROR_BUSY). ERROR_ACCESS_DENIED on a hive we may not write.
  LONG BeginWrite();
  // Commits the open transaction, if any.
  LONG Commit();

  // 0 when the key exists; ERROR_KEY_DELETED when it does not. *base tells whether it is a base
  // key (a hive root or one of the keys a new hive starts with), which is never deleted.
  LONG CheckKey(int64_t id, bool* base);
  // The child of `parent` whose folded name is `folded`; ERROR_FILE_NOT_FOUND when none.
  LONG FindChild(int64_t parent, const std::string& folded, int64_t* id);
  LONG AddChild(int64_t parent, const std::string& name, const std::string& folded, int64_t* id);
  LONG HasChildren(int64_t id, bool* any);
  // Deletes the key row and its values (the caller has checked it has no children).
  LONG RemoveKey(int64_t id);
  // The child at `index` in folded-name order. With `after` set, the first child whose folded
  // name follows *after instead (a sequential walk without rescanning). ERROR_NO_MORE_ITEMS past
  // the end.
  LONG ChildAt(int64_t parent, uint32_t index, const std::string* after, std::string* name,
               std::string* folded);
  // Counts (and, when asked, longest lengths in UTF-16 units / data bytes in UTF-8) of a key.
  LONG CountChildren(int64_t id, uint32_t* count, uint32_t* longestName);
  LONG CountValues(int64_t id, uint32_t* count, uint32_t* longestName, uint32_t* longestData);

  LONG SetValue(int64_t key, const std::string& name, const std::string& folded, uint32_t type,
                const void* data, size_t size);
  // ERROR_FILE_NOT_FOUND when the value does not exist.
  LONG FindValue(int64_t key, const std::string& folded, uint32_t* type, std::string* data);
  LONG RemoveValue(int64_t key, const std::string& folded);
  // The value at `index` in first-set order, or, with `afterId` not 0, the first one set after
  // the value with that id. *id receives the value's id for the next call.
  LONG ValueAt(int64_t key, uint32_t index, int64_t afterId, int64_t* id, std::string* name,
               uint32_t* type, std::string* data);

 private:
  Hive() = default;
  LONG Prepare();
  LONG Initialize(HiveKind kind);
  LONG Validate(HiveKind kind, bool* empty);
  LONG ResolveRoots(HiveKind kind);
  // The platform error for an SQLite result; marks the hive failed when SQLite dropped our
  // transaction, so nothing of a half-done run can be committed.
  LONG Fail(int rc);

  sqlite3* m_db = nullptr;
  bool m_bWritable = false;
  bool m_bInTransaction = false;
  bool m_bFailed = false;
  uint64_t m_changes = 0;
  int64_t m_roots[8] = {};

  enum Statement {
    kCheckKey,
    kFindChild,
    kAddChild,
    kHasChild,
    kDeleteKeyValues,
    kDeleteKey,
    kChildAt,
    kChildAfter,
    kCountChildren,
    kListChildren,
    kCountValues,
    kListValues,
    kFindValue,
    kSetValue,
    kDeleteValue,
    kValueAt,
    kValueAfter,
    kStatementCount
  };
  sqlite3_stmt* m_stmt[kStatementCount] = {};
  friend class StatementUse;
};

// Indexes of Hive::root for each kind of hive.
enum HiveRoot {
  kRootMachine = 0,     // HKEY_LOCAL_MACHINE
  kRootUsers = 1,       // HKEY_USERS
  kRootClasses = 2,     // HKLM\Software\Classes
  kRootConfig = 3,      // HKLM\System\CurrentControlSet\Hardware Profiles\Current
  kRootCurrentUser = 0  // HKEY_CURRENT_USER, in a user hive
};
