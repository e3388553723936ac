#include "registry/hive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/error.h"
#include "registry/names.h"

namespace {

// Marks our hives; a database without this row (or with another version) is not ours.
constexpr const char* HIVE_FORMAT = "keyfold-registry-hive";
constexpr int HIVE_VERSION = 1;
// How long the first write waits for another process's transaction before giving up.
int g_busyTimeoutMs = 10000;

}  // namespace

const char* const HIVE_SCHEMA =
    "CREATE TABLE keyfold_hive(format TEXT NOT NULL, version INTEGER NOT NULL);"
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
    " name TEXT NOT NULL, folded TEXT NOT NULL, base INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX keys_by_parent ON keys(parent, folded);"
    "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL,"
    " folded TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX vals_by_name ON vals(key, folded);"
    "CREATE INDEX vals_by_key ON vals(key);";

namespace {

// The SQL of each Hive::Statement, in the enum's order.
const char* const STATEMENTS[] = {
    "SELECT base FROM keys WHERE id=?1",
    "SELECT id FROM keys WHERE parent=?1 AND folded=?2",
    "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)",
    "SELECT 1 FROM keys WHERE parent=?1 LIMIT 1",
    "DELETE FROM vals WHERE key=?1",
    "DELETE FROM keys WHERE id=?1",
    "SELECT name, folded FROM keys WHERE parent=?1 ORDER BY folded LIMIT 1 OFFSET ?2",
    "SELECT name, folded FROM keys WHERE parent=?1 AND folded>?2 ORDER BY folded LIMIT 1",
    "SELECT count(*) FROM keys WHERE parent=?1",
    "SELECT name FROM keys WHERE parent=?1",
    "SELECT count(*) FROM vals WHERE key=?1",
    "SELECT name, length(data) FROM vals WHERE key=?1",
    "SELECT type, data FROM vals WHERE key=?1 AND folded=?2",
    "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
    " ON CONFLICT(key, folded) DO UPDATE SET type=excluded.type, data=excluded.data",
    "DELETE FROM vals WHERE key=?1 AND folded=?2",
    "SELECT id, name, type, data FROM vals WHERE key=?1 ORDER BY id LIMIT 1 OFFSET ?2",
    "SELECT id, name, type, data FROM vals WHERE key=?1 AND id>?2 ORDER BY id LIMIT 1",
};
static_assert(sizeof STATEMENTS / sizeof STATEMENTS[0] == 17);

// The keys a new hive starts with: the top keys, then base paths under HKEY_LOCAL_MACHINE.
struct BaseKey {
  int64_t id;
  int64_t parent;
  const char* name;
};
const BaseKey MACHINE_BASE_KEYS[] = {
    {1, 0, "HKEY_LOCAL_MACHINE"},
    {2, 0, "HKEY_USERS"},
    {3, 1, "Software"},
    {4, 3, "Classes"},
    {5, 1, "System"},
    {6, 5, "CurrentControlSet"},
    {7, 6, "Hardware Profiles"},
    {8, 7, "Current"},
};
const BaseKey USER_BASE_KEYS[] = {{1, 0, "HKEY_CURRENT_USER"}};

// Paths of Hive::root entries, from the top key, as folded names.
struct RootPath {
  int which;
  const char* path[5];
};
const RootPath MACHINE_ROOTS[] = {
    {kRootMachine, {"hkey_local_machine"}},
    {kRootUsers, {"hkey_users"}},
    {kRootClasses, {"hkey_local_machine", "software", "classes"}},
    {kRootConfig,
     {"hkey_local_machine", "system", "currentcontrolset", "hardware profiles", "current"}},
};
const RootPath USER_ROOTS[] = {{kRootCurrentUser, {"hkey_current_user"}}};

LONG ErrorFromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_NOTADB:
      return ERROR_BADDB;
    case SQLITE_CORRUPT:
    case SQLITE_SCHEMA:
    case SQLITE_ERROR:  // missing tables or columns: not a hive of ours
      return ERROR_REGISTRY_CORRUPT;
    case SQLITE_CANTOPEN:
      return ERROR_CANTOPEN;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

}  // namespace

void Hive::SetBusyTimeout(int milliseconds) { g_busyTimeoutMs = milliseconds; }

// Resets a statement and clears its bindings when the use ends, on every path.
class StatementUse {
 public:
  StatementUse(Hive* hive, int which) : m_stmt(hive->m_stmt[which]) {}
  ~StatementUse() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;

  StatementUse& Int(int index, int64_t value) {
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
  }
  StatementUse& Text(int index, const std::string& value) {
    sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
    return *this;
  }
  StatementUse& Blob(int index, const void* data, size_t size) {
    // A zero-length blob still binds as a blob, never as NULL.
    sqlite3_bind_blob64(m_stmt, index, size ? data : "", size, SQLITE_STATIC);
    return *this;
  }
  int Step() { return sqlite3_step(m_stmt); }
  int64_t ColumnInt(int column) { return sqlite3_column_int64(m_stmt, column); }
  std::string ColumnText(int column) {
    const void* p = sqlite3_column_blob(m_stmt, column);
    int n = sqlite3_column_bytes(m_stmt, column);
    return p ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
  }

 private:
  sqlite3_stmt* m_stmt;
};

LONG Hive::Open(const std::string& path, HiveKind kind, mode_t mode, std::unique_ptr<Hive>* out) {
  out->reset();
  std::unique_ptr<Hive> hive(new (std::nothrow) Hive());
  if (!hive) return ERROR_NOT_ENOUGH_MEMORY;

  // Create the file ourselves so that it gets exactly the mode we want, whatever the umask.
  bool exists = access(path.c_str(), F_OK) == 0;
  if (!exists) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
      fchmod(fd, mode);
      close(fd);
    } else if (errno != EEXIST) {
      return static_cast<LONG>(ErrorFromErrno(errno));
    }
  }
  hive->m_bWritable = access(path.c_str(), W_OK) == 0;

  int flags = (hive->m_bWritable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY) |
              SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
  std::string uri = "file:";
  for (char c : path) {
    // Characters that mean something in a URI are escaped.
    if (c == '?' || c == '#' || c == '%') {
      char buffer[4];
      snprintf(buffer, sizeof buffer, "%%%02X", static_cast<unsigned char>(c));
      uri += buffer;
    } else {
      uri += c;
    }
  }
  int rc = sqlite3_open_v2(uri.c_str(), &hive->m_db, flags, nullptr);
  if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
  sqlite3_busy_timeout(hive->m_db, g_busyTimeoutMs);
  sqlite3_extended_result_codes(hive->m_db, 0);

  bool empty = false;
  LONG error = hive->Validate(kind, &empty);
  if (error == ERROR_CANTOPEN && !hive->m_bWritable) {
    // A read-only WAL database in a directory we may not write either: read the file as it is.
    sqlite3_close(hive->m_db);
    hive->m_db = nullptr;
    rc = sqlite3_open_v2((uri + "?immutable=1").c_str(), &hive->m_db, flags, nullptr);
    if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
    error = hive->Validate(kind, &empty);
  }
  if (error != ERROR_SUCCESS) return error;
  if (empty) {
    if (!hive->m_bWritable) return ERROR_BADDB;
    error = hive->Initialize(kind);
    if (error != ERROR_SUCCESS) return error;
  }
  error = hive->Prepare();
  if (error == ERROR_SUCCESS) error = hive->ResolveRoots(kind);
  if (error != ERROR_SUCCESS) return error;
  // Only a file known to be ours is switched to write-ahead logging (a change to its header).
  if (hive->m_bWritable) {
    sqlite3_exec(hive->m_db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_exec(hive->m_db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
  }
  *out = std::move(hive);
  return ERROR_SUCCESS;
}

Hive::~Hive() {
  for (sqlite3_stmt* stmt : m_stmt) sqlite3_finalize(stmt);
  if (m_db) {
    if (m_bInTransaction) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
  }
}

// Checks that the file is a hive of ours. An SQLite database without any table (a file we just
// made, or one left empty by a run that died while creating it) is reported as empty.
LONG Hive::Validate(HiveKind, bool* empty) {
  *empty = false;
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(m_db, "SELECT count(*) FROM sqlite_master", -1, &stmt, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(stmt);
  int64_t tables = rc == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
  sqlite3_finalize(stmt);
  // A reader that can create neither the shared-memory index nor the log of a WAL database
  // is told so here; Open then reads the file as it stands.
  if (rc == SQLITE_CANTOPEN || rc == SQLITE_READONLY) return ERROR_CANTOPEN;
  if (rc == SQLITE_BUSY) return ERROR_BUSY;
  if (rc != SQLITE_ROW) return ERROR_BADDB;
  if (tables == 0) {
    *empty = true;
    return ERROR_SUCCESS;
  }
  rc = sqlite3_prepare_v2(m_db, "SELECT format, version FROM keyfold_hive", -1, &stmt, nullptr);
  LONG error = ERROR_BADDB;
  if (rc == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
    const unsigned char* format = sqlite3_column_text(stmt, 0);
    if (format && strcmp(reinterpret_cast<const char*>(format), HIVE_FORMAT) == 0 &&
        sqlite3_column_int(stmt, 1) == HIVE_VERSION)
      error = ERROR_SUCCESS;
  }
  sqlite3_finalize(stmt);
  return error;
}

LONG Hive::Initialize(HiveKind kind) {
  sqlite3_exec(m_db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
  // Another process may have made the hive while we waited for the lock.
  bool empty = false;
  LONG error = Validate(kind, &empty);
  if (error == ERROR_SUCCESS && empty) {
    rc = sqlite3_exec(m_db, HIVE_SCHEMA, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
      std::string sql = "INSERT INTO keyfold_hive VALUES('" + std::string(HIVE_FORMAT) + "', " +
                        std::to_string(HIVE_VERSION) + ");";
      const BaseKey* keys = kind == HiveKind::kMachine ? MACHINE_BASE_KEYS : USER_BASE_KEYS;
      size_t count =
          kind == HiveKind::kMachine ? std::size(MACHINE_BASE_KEYS) : std::size(USER_BASE_KEYS);
      for (size_t i = 0; i < count; ++i) {
        std::string name = keys[i].name;
        sql += "INSERT INTO keys(id, parent, name, folded, base) VALUES(" +
               std::to_string(keys[i].id) + ", " + std::to_string(keys[i].parent) + ", '" + name +
               "', '" + FoldName(name) + "', 1);";
      }
      rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    error = ErrorFromSqlite(rc);
  }
  if (error == ERROR_SUCCESS) {
    rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    error = ErrorFromSqlite(rc);
  }
  if (error != ERROR_SUCCESS) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
  return error;
}

LONG Hive::Prepare() {
  for (int i = 0; i < kStatementCount; ++i) {
    int rc =
        sqlite3_prepare_v3(m_db, STATEMENTS[i], -1, SQLITE_PREPARE_PERSISTENT, &m_stmt[i], nullptr);
    if (rc != SQLITE_OK) return rc == SQLITE_BUSY ? ERROR_BUSY : ERROR_REGISTRY_CORRUPT;
  }
  return ERROR_SUCCESS;
}

LONG Hive::ResolveRoots(HiveKind kind) {
  const RootPath* roots = kind == HiveKind::kMachine ? MACHINE_ROOTS : USER_ROOTS;
  size_t count = kind == HiveKind::kMachine ? std::size(MACHINE_ROOTS) : std::size(USER_ROOTS);
  for (size_t i = 0; i < count; ++i) {
    int64_t id = 0;
    for (const char* name : roots[i].path) {
      if (!name) break;
      LONG error = FindChild(id, name, &id);
      // A hive without its base keys has been tampered with.
      if (error == ERROR_FILE_NOT_FOUND) return ERROR_REGISTRY_CORRUPT;
      if (error != ERROR_SUCCESS) return error;
    }
    m_roots[roots[i].which] = id;
  }
  return ERROR_SUCCESS;
}

LONG Hive::Fail(int rc) {
  if (m_bInTransaction && sqlite3_get_autocommit(m_db)) {
    // SQLite rolled the whole transaction back; the run's earlier writes are gone.
    m_bInTransaction = false;
    m_bFailed = true;
  }
  LONG error = ErrorFromSqlite(rc);
  return error == ERROR_SUCCESS ? ERROR_REGISTRY_IO_FAILED : error;
}

LONG Hive::BeginWrite() {
  if (m_bFailed) return ERROR_REGISTRY_IO_FAILED;
  if (!m_bWritable) return ERROR_ACCESS_DENIED;
  if (m_bInTransaction) return ERROR_SUCCESS;
  sqlite3_busy_timeout(m_db, g_busyTimeoutMs);
  int rc = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return ErrorFromSqlite(rc);
  m_bInTransaction = true;
  return ERROR_SUCCESS;
}

LONG Hive::Commit() {
  if (m_bFailed) return ERROR_REGISTRY_IO_FAILED;
  if (!m_bInTransaction) return ERROR_SUCCESS;
  int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    LONG error = Fail(rc);
    if (m_bInTransaction) {
      // The commit could not finish (still busy after the timeout): give the run up rather
      // than keep a transaction nobody will end.
      sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
      m_bInTransaction = false;
      m_bFailed = true;
    }
    return error;
  }
  m_bInTransaction = false;
  return ERROR_SUCCESS;
}

LONG Hive::CheckKey(int64_t id, bool* base) {
  StatementUse s(this, kCheckKey);
  s.Int(1, id);
  int rc = s.Step();
  if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
  if (rc != SQLITE_ROW) return Fail(rc);
  if (base) *base = s.ColumnInt(0) != 0;
  return ERROR_SUCCESS;
}

LONG Hive::FindChild(int64_t parent, const std::string& folded, int64_t* id) {
  StatementUse s(this, kFindChild);
  s.Int(1, parent).Text(2, folded);
  int rc = s.Step();
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return Fail(rc);
  *id = s.ColumnInt(0);
  return ERROR_SUCCESS;
}

LONG Hive::AddChild(int64_t parent, const std::string& name, const std::string& folded,
                    int64_t* id) {
  if (LONG error = BeginWrite()) return error;
  StatementUse s(this, kAddChild);
  s.Int(1, parent).Text(2, name).Text(3, folded);
  int rc = s.Step();
  if (rc != SQLITE_DONE) return Fail(rc);
  *id = sqlite3_last_insert_rowid(m_db);
  ++m_changes;
  return ERROR_SUCCESS;
}

LONG Hive::HasChildren(int64_t id, bool* any) {
  StatementUse s(this, kHasChild);
  s.Int(1, id);
  int rc = s.Step();
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Fail(rc);
  *any = rc == SQLITE_ROW;
  return ERROR_SUCCESS;
}

LONG Hive::RemoveKey(int64_t id) {
  if (LONG error = BeginWrite()) return error;
  {
    StatementUse s(this, kDeleteKeyValues);
    s.Int(1, id);
    int rc = s.Step();
    if (rc != SQLITE_DONE) return Fail(rc);
  }
  StatementUse s(this, kDeleteKey);
  s.Int(1, id);
  int rc = s.Step();
  if (rc != SQLITE_DONE) return Fail(rc);
  ++m_changes;
  return ERROR_SUCCESS;
}

LONG Hive::ChildAt(int64_t parent, uint32_t index, const std::string* after, std::string* name,
                   std::string* folded) {
  StatementUse s(this, after ? kChildAfter : kChildAt);
  s.Int(1, parent);
  if (after)
    s.Text(2, *after);
  else
    s.Int(2, index);
  int rc = s.Step();
  if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (rc != SQLITE_ROW) return Fail(rc);
  *name = s.ColumnText(0);
  *folded = s.ColumnText(1);
  return ERROR_SUCCESS;
}

LONG Hive::CountChildren(int64_t id, uint32_t* count, uint32_t* longestName) {
  {
    StatementUse s(this, kCountChildren);
    s.Int(1, id);
    int rc = s.Step();
    if (rc != SQLITE_ROW) return Fail(rc);
    *count = static_cast<uint32_t>(s.ColumnInt(0));
  }
  if (!longestName) return ERROR_SUCCESS;
  *longestName = 0;
  StatementUse s(this, kListChildren);
  s.Int(1, id);
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    uint32_t length = static_cast<uint32_t>(NameLengthInUnits(s.ColumnText(0)));
    if (length > *longestName) *longestName = length;
  }
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

LONG Hive::CountValues(int64_t id, uint32_t* count, uint32_t* longestName, uint32_t* longestData) {
  {
    StatementUse s(this, kCountValues);
    s.Int(1, id);
    int rc = s.Step();
    if (rc != SQLITE_ROW) return Fail(rc);
    *count = static_cast<uint32_t>(s.ColumnInt(0));
  }
  if (!longestName && !longestData) return ERROR_SUCCESS;
  uint32_t name = 0, data = 0;
  StatementUse s(this, kListValues);
  s.Int(1, id);
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    uint32_t length = static_cast<uint32_t>(NameLengthInUnits(s.ColumnText(0)));
    if (length > name) name = length;
    uint32_t size = static_cast<uint32_t>(s.ColumnInt(1));
    if (size > data) data = size;
  }
  if (longestName) *longestName = name;
  if (longestData) *longestData = data;
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

LONG Hive::SetValue(int64_t key, const std::string& name, const std::string& folded, uint32_t type,
                    const void* data, size_t size) {
  if (LONG error = BeginWrite()) return error;
  StatementUse s(this, kSetValue);
  s.Int(1, key).Text(2, name).Text(3, folded).Int(4, type).Blob(5, data, size);
  int rc = s.Step();
  if (rc != SQLITE_DONE) return Fail(rc);
  ++m_changes;
  return ERROR_SUCCESS;
}

LONG Hive::FindValue(int64_t key, const std::string& folded, uint32_t* type, std::string* data) {
  StatementUse s(this, kFindValue);
  s.Int(1, key).Text(2, folded);
  int rc = s.Step();
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return Fail(rc);
  *type = static_cast<uint32_t>(s.ColumnInt(0));
  *data = s.ColumnText(1);
  return ERROR_SUCCESS;
}

LONG Hive::RemoveValue(int64_t key, const std::string& folded) {
  if (LONG error = BeginWrite()) return error;
  StatementUse s(this, kDeleteValue);
  s.Int(1, key).Text(2, folded);
  int rc = s.Step();
  if (rc != SQLITE_DONE) return Fail(rc);
  if (sqlite3_changes(m_db) == 0) return ERROR_FILE_NOT_FOUND;
  ++m_changes;
  return ERROR_SUCCESS;
}

LONG Hive::ValueAt(int64_t key, uint32_t index, int64_t afterId, int64_t* id, std::string* name,
                   uint32_t* type, std::string* data) {
  StatementUse s(this, afterId ? kValueAfter : kValueAt);
  s.Int(1, key).Int(2, afterId ? afterId : index);
  int rc = s.Step();
  if (rc == SQLITE_DONE) return ERROR_NO_MORE_ITEMS;
  if (rc != SQLITE_ROW) return Fail(rc);
  *id = s.ColumnInt(0);
  *name = s.ColumnText(1);
  *type = static_cast<uint32_t>(s.ColumnInt(2));
  *data = s.ColumnText(3);
  return ERROR_SUCCESS;
}
