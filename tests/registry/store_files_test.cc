// The hive files themselves: damaged or foreign files in the store directory, and hives the
// process may only read.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "registry/registry.h"
#include "registry/store.h"
#include "tests/support/temp_store.h"

namespace {

void MakeSqliteFile(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

bool IsRegistryError(LONG error) { return error == ERROR_BADDB || error == ERROR_REGISTRY_CORRUPT; }

TEST(StoreFilesTest, DamagedOrForeignHiveIsAnErrorAndIsLeftAlone) {
  struct Case {
    const char* what;
    void (*make)(const std::string& path);
  } cases[] = {
      {"not a database",
       [](const std::string& path) {
         WriteFileBytes(path, std::string(4096, 'x') + "no SQLite header here");
       }},
      {"another program's database",
       [](const std::string& path) {
         MakeSqliteFile(path, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');");
       }},
      {"a hive of an unknown version",
       [](const std::string& path) {
         MakeSqliteFile(path,
                        "CREATE TABLE keyfold_hive(format, version);"
                        "INSERT INTO keyfold_hive VALUES('keyfold-registry-hive', 99);");
       }},
      {"a hive without its keys",
       [](const std::string& path) {
         MakeSqliteFile(path,
                        "CREATE TABLE keyfold_hive(format, version);"
                        "INSERT INTO keyfold_hive VALUES('keyfold-registry-hive', 1);");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempStore store;
    std::string path = store.path() + "/machine.hive";
    c.make(path);
    std::string before = ReadFileBytes(path);

    HKEY key = nullptr;
    EXPECT_TRUE(IsRegistryError(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key)));
    EXPECT_TRUE(IsRegistryError(RegCreateKeyExA(HKEY_CLASSES_ROOT, "Sample", 0, nullptr, 0,
                                                KEY_ALL_ACCESS, nullptr, &key, nullptr)));
    EXPECT_TRUE(
        IsRegistryError(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_BINARY, nullptr, 0)));
    DWORD count = 0;
    EXPECT_TRUE(
        IsRegistryError(RegQueryInfoKeyA(HKEY_USERS, nullptr, nullptr, nullptr, &count, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)));
    // The user hive is a file of its own and still works.
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Fine", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    CloseRegistryStore();
    EXPECT_TRUE(ReadFileBytes(path) == before) << "the file was changed";
  }
}

// Runs `body` in a child process as the unprivileged user nobody and returns what it wrote to
// the pipe, or a note when the child could not change user.
std::string RunAsNobody(std::string (*body)()) {
  CloseRegistryStore();  // no SQLite connection may cross the fork
  int fds[2];
  if (pipe(fds) != 0) return "<pipe failed>";
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::string out;
    if (setgid(65534) != 0 || setuid(65534) != 0)
      out = "<cannot become nobody>";
    else
      out = body();
    ssize_t written = write(fds[1], out.data(), out.size());
    (void)written;
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buffer[512];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return out;
}

// What a reader that may not write sees of HKLM\Software\Shared, one result a line.
std::string ReadOnlyProbe() {
  std::string out;
  auto note = [&out](const char* what, LONG result) {
    out += std::string(what) + "=" + std::to_string(result) + "\n";
  };
  HKEY key = nullptr;
  note("open-read", RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, KEY_READ, &key));
  char data[16] = {};
  DWORD size = sizeof data;
  note("query", RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size));
  out += std::string("data=") + data + "\n";
  note("set", RegSetValueExA(key, "v", 0, REG_BINARY, nullptr, 0));
  HKEY other = nullptr;
  note("open-all",
       RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, KEY_ALL_ACCESS, &other));
  note("open-write",
       RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, KEY_READ | KEY_WRITE, &other));
  note("create", RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, nullptr, 0,
                                 KEY_ALL_ACCESS, nullptr, &other, nullptr));
  note("delete", RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Shared"));
  RegCloseKey(key);
  CloseRegistryStore();
  return out;
}

TEST(StoreFilesTest, HiveThatMayNotBeWrittenIsReadOnly) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the probe as another user";
  struct Case {
    const char* what;
    bool directoryWritable;  // by the unprivileged reader
  } cases[] = {{"in a directory the reader may write", true},
               {"in a directory the reader may only read", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempStore store;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("kept"), 5), 0);
    RegCloseKey(key);
    CloseRegistryStore();
    ASSERT_EQ(chmod(store.path().c_str(), 0755), 0);
    if (c.directoryWritable) {
      ASSERT_EQ(chown(store.path().c_str(), 65534, 65534), 0);
    }
    std::string hive = store.path() + "/machine.hive";
    std::string before = ReadFileBytes(hive);

    std::string seen = RunAsNobody(ReadOnlyProbe);
    if (seen == "<cannot become nobody>") GTEST_SKIP() << "cannot switch to user nobody here";
    EXPECT_EQ(seen,
              "open-read=0\nquery=0\ndata=kept\nset=5\nopen-all=5\nopen-write=5\ncreate=5\n"
              "delete=5\n");
    EXPECT_TRUE(ReadFileBytes(hive) == before) << "the hive was changed";
    ASSERT_EQ(chown(store.path().c_str(), 0, 0), 0);
  }
}

}  // namespace
