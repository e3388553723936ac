// Runs as separate processes on one store: a run killed at any point leaves the store as it
// was, concurrent runs lose nothing, and readers are not held up by a writer.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>

#include "registry/registry.h"
#include "registry/store.h"
#include "tests/support/temp_store.h"

namespace {

using Clock = std::chrono::steady_clock;

// Starts `body` in a child process; the child exits with what body returns. The store is
// closed first: no SQLite connection may cross a fork.
template <typename Body>
pid_t Spawn(Body body) {
  CloseRegistryStore();
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

int ExitCode(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

LONG SetText(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

std::string GetText(HKEY key, const char* name) {
  char data[256];
  DWORD size = sizeof data;
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) != 0)
    return "<missing>";
  return std::string(data, size ? size - 1 : 0);
}

constexpr int RUN_KEYS = 1500;

// One run of the kill test: every key gets the run's generation, then the run commits.
int WriteGeneration(int generation) {
  std::string gen = std::to_string(generation);
  std::string padding(120, 'p');
  for (int i = 0; i < RUN_KEYS; ++i) {
    HKEY key = nullptr;
    std::string path = "Software\\Run\\K" + std::to_string(i % 50) + "\\" + std::to_string(i);
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != 0)
      return 2;
    if (SetText(key, "gen", gen) != 0 || SetText(key, "pad", padding + gen) != 0) return 3;
    RegCloseKey(key);
  }
  return CommitRegistry() == 0 ? 0 : 4;
}

// The generation every key of the store holds, or -1 when they differ (a half-written run).
int StoredGeneration() {
  std::set<std::string> seen;
  for (int i = 0; i < RUN_KEYS; ++i) {
    HKEY key = nullptr;
    std::string path = "Software\\Run\\K" + std::to_string(i % 50) + "\\" + std::to_string(i);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != 0) return -1;
    std::string gen = GetText(key, "gen");
    if (GetText(key, "pad") != std::string(120, 'p') + gen) return -1;
    seen.insert(gen);
    RegCloseKey(key);
  }
  CloseRegistryStore();
  return seen.size() == 1 ? std::stoi(*seen.begin()) : -1;
}

std::string IntegrityCheck(const std::string& path) {
  sqlite3* db = nullptr;
  std::string result = "<cannot open>";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
      result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return result;
}

TEST(StoreProcessTest, KilledRunLeavesTheEarlierStateWhole) {
  TempStore store;
  Clock::time_point start = Clock::now();
  ASSERT_EQ(ExitCode(Spawn([] { return WriteGeneration(0); })), 0);
  auto runTime = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  ASSERT_EQ(StoredGeneration(), 0);

  int committed = 0, killedBefore = 0, completed = 0;
  const int points = 24;
  for (int generation = 1; generation <= points; ++generation) {
    pid_t pid = Spawn([generation] { return WriteGeneration(generation); });
    // Kill points spread from the very start to past the end of a whole run.
    usleep(static_cast<useconds_t>(runTime.count() * (generation - 1) * 5 / (4 * (points - 1))));
    kill(pid, SIGKILL);
    ExitCode(pid);
    ASSERT_EQ(IntegrityCheck(store.path() + "/machine.hive"), "ok") << "kill " << generation;
    int stored = StoredGeneration();
    ASSERT_TRUE(stored == committed || stored == generation)
        << "kill " << generation << " left generation " << stored << " (committed " << committed
        << ")";
    if (stored == generation) {
      committed = generation;
      ++completed;
    } else {
      ++killedBefore;
    }
  }
  // Both outcomes occurred, so the kills really fell inside and after runs.
  EXPECT_GT(killedBefore, 0);
  EXPECT_GT(completed, 0);
}

TEST(StoreProcessTest, ConcurrentWritersLoseNothing) {
  TempStore store;
  constexpr int WRITERS = 4, RUNS = 12;
  pid_t pids[WRITERS];
  for (int w = 0; w < WRITERS; ++w) {
    pids[w] = Spawn([w] {
      for (int run = 0; run < RUNS; ++run) {
        // A read-modify-write of a shared counter and a key of our own, as one run.
        HKEY shared = nullptr, own = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &shared, nullptr) != 0)
          return 2;
        DWORD count = 0, size = sizeof count;
        RegQueryValueExA(shared, "count", nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size);
        ++count;
        if (RegSetValueExA(shared, "count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&count), 4))
          return 3;
        std::string path = "Software\\Shared\\W" + std::to_string(w) + "\\R" + std::to_string(run);
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &own, nullptr) != 0)
          return 4;
        RegCloseKey(own);
        RegCloseKey(shared);
        if (CommitRegistry() != 0) return 5;
      }
      return 0;
    });
  }
  for (pid_t pid : pids) EXPECT_EQ(ExitCode(pid), 0);

  HKEY shared = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, KEY_READ, &shared), 0);
  DWORD count = 0, size = sizeof count;
  ASSERT_EQ(
      RegQueryValueExA(shared, "count", nullptr, nullptr, reinterpret_cast<BYTE*>(&count), &size),
      0);
  EXPECT_EQ(count, static_cast<DWORD>(WRITERS * RUNS));
  for (int w = 0; w < WRITERS; ++w) {
    for (int run = 0; run < RUNS; ++run) {
      HKEY key = nullptr;
      std::string path = "W" + std::to_string(w) + "\\R" + std::to_string(run);
      EXPECT_EQ(RegOpenKeyExA(shared, path.c_str(), 0, KEY_READ, &key), 0) << path;
      RegCloseKey(key);
    }
  }
  RegCloseKey(shared);
}

TEST(StoreProcessTest, ReadersGoOnWhileAWriterWaitsAndOtherWritersTimeOut) {
  TempStore store;
  int toParent[2], toChild[2];
  ASSERT_EQ(pipe(toParent), 0);
  ASSERT_EQ(pipe(toChild), 0);
  pid_t pid = Spawn([&] {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Pending", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != 0)
      return 2;
    char c = 'r';
    if (write(toParent[1], &c, 1) != 1 || read(toChild[0], &c, 1) != 1) return 3;
    return CommitRegistry() == 0 ? 0 : 4;
  });
  char c = 0;
  ASSERT_EQ(read(toParent[0], &c, 1), 1);

  SetRegistryBusyTimeout(300);
  HKEY key = nullptr;
  Clock::time_point start = Clock::now();
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key), 0);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Pending", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);  // not committed yet
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(250));
  start = Clock::now();
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Other", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_BUSY);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(250));
  EXPECT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "v", 0, REG_BINARY, nullptr, 0), ERROR_BUSY);

  c = 'c';
  ASSERT_EQ(write(toChild[1], &c, 1), 1);
  EXPECT_EQ(ExitCode(pid), 0);
  SetRegistryBusyTimeout(10000);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Pending", 0, KEY_READ, &key), 0);
  RegCloseKey(key);
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Other", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            0);
  RegCloseKey(key);
  for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
}

}  // namespace
