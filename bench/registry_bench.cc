// Store throughput: builds a tree of keys (fan-out 10, depth 5), each with a default value and
// two named values, through the narrow registry operations in one run, commits, then deletes it
// with DeleteKeyTree and commits again. The same rows are then written to and deleted from a
// bare SQLite database of the same schema with prepared statements in one transaction: the
// floor any store on SQLite can reach. Prints keys per second and the ratios.
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text.h"
#include "registry/hive.h"
#include "registry/key_handle.h"
#include "registry/registry.h"
#include "registry/store.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int FAN_OUT = 10;
constexpr int DEPTH = 5;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Check(bool ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "registry_bench: %s failed\n", what);
    exit(1);
  }
}

std::string TempDir() {
  char pattern[] = "/tmp/keyfold-bench-XXXXXX";
  Check(mkdtemp(pattern) != nullptr, "mkdtemp");
  return pattern;
}

void RemoveDir(const std::string& dir) {
  std::string command = "rm -rf '" + dir + "'";
  Check(system(command.c_str()) == 0, "removing the temporary directory");
}

// Creates the subtree under `parent` depth first, as the key block walker does, until `left`
// keys have been made.
void Build(HKEY parent, int depth, int* left) {
  static const char kData[] = "C:\\Program Files\\Sample\\sample.dll";
  DWORD number = 42;
  for (int i = 0; i<FAN_OUT&& * left> 0; ++i) {
    char name[32];
    snprintf(name, sizeof name, "Key%d", i);
    CKeyHandle key;
    Check(key.Create(parent, name) == ERROR_SUCCESS, "create");
    --*left;
    Check(RegSetValueExA(key.m_hKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kData),
                         sizeof kData) == ERROR_SUCCESS,
          "set default");
    Check(RegSetValueExA(key.m_hKey, "ThreadingModel", 0, REG_SZ,
                         reinterpret_cast<const BYTE*>("Apartment"), 10) == ERROR_SUCCESS,
          "set named");
    Check(RegSetValueExA(key.m_hKey, "Flags", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4) ==
              ERROR_SUCCESS,
          "set number");
    if (depth < DEPTH) Build(key.m_hKey, depth + 1, left);
  }
}

struct StoreRun {
  double create;
  double remove;
};

StoreRun RunStore(int keys) {
  std::string dir = TempDir();
  setenv("KEYFOLD_REGISTRY", dir.c_str(), 1);
  CloseRegistryStore();
  // Open the store (creating its hive) outside the timed part.
  CKeyHandle root;
  Check(root.Create(HKEY_CURRENT_USER, "Bench") == ERROR_SUCCESS, "create root");
  Check(CommitRegistry() == ERROR_SUCCESS, "commit");

  Clock::time_point start = Clock::now();
  int left = keys;
  Build(root.m_hKey, 1, &left);
  Check(CommitRegistry() == ERROR_SUCCESS, "commit");
  StoreRun run;
  run.create = Seconds(start);

  start = Clock::now();
  CKeyHandle borrowed;
  borrowed.m_hKey = HKEY_CURRENT_USER;
  root.Close();
  Check(borrowed.DeleteKeyTree("Bench") == ERROR_SUCCESS, "DeleteKeyTree");
  borrowed.m_hKey = nullptr;
  Check(CommitRegistry() == ERROR_SUCCESS, "commit");
  run.remove = Seconds(start);

  HKEY gone = nullptr;
  Check(RegOpenKeyExA(HKEY_CURRENT_USER, "Bench", 0, KEY_READ, &gone) == ERROR_FILE_NOT_FOUND,
        "tree deleted");
  CloseRegistryStore();
  RemoveDir(dir);
  return run;
}

void Exec(sqlite3* db, const char* sql) {
  Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK, sql);
}

// The same rows straight into SQLite: one transaction, prepared statements, the store's schema,
// the same journal and sync settings.
StoreRun RunFloor(int keys) {
  std::string dir = TempDir();
  sqlite3* db = nullptr;
  Check(sqlite3_open((dir + "/floor.db").c_str(), &db) == SQLITE_OK, "open floor");
  Exec(db, "PRAGMA journal_mode=WAL");
  Exec(db, "PRAGMA synchronous=FULL");
  Exec(db, HIVE_SCHEMA);
  Exec(db, "INSERT INTO keys(id, parent, name, folded) VALUES(1, 0, 'Bench', 'bench');");
  sqlite3_stmt* addKey = nullptr;
  sqlite3_stmt* addValue = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO keys(parent, name, folded) VALUES(?1, ?2, ?3)", -1,
                           &addKey, nullptr) == SQLITE_OK,
        "prepare");
  Check(sqlite3_prepare_v2(db,
                           "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, "
                           "?4, ?5)",
                           -1, &addValue, nullptr) == SQLITE_OK,
        "prepare");
  auto value = [&](int64_t key, const char* name, const char* folded, int type, const void* data,
                   int size) {
    sqlite3_bind_int64(addValue, 1, key);
    sqlite3_bind_text(addValue, 2, name, -1, SQLITE_STATIC);
    sqlite3_bind_text(addValue, 3, folded, -1, SQLITE_STATIC);
    sqlite3_bind_int(addValue, 4, type);
    sqlite3_bind_blob(addValue, 5, data, size, SQLITE_STATIC);
    Check(sqlite3_step(addValue) == SQLITE_DONE, "insert value");
    sqlite3_reset(addValue);
  };

  Clock::time_point start = Clock::now();
  Exec(db, "BEGIN IMMEDIATE");
  // Depth-first, the same shape as the store run.
  struct Level {
    int64_t id;
    int next;
  };
  std::vector<Level> stack{{1, 0}};
  std::vector<int64_t> order;
  static const char kData[] = "C:\\Program Files\\Sample\\sample.dll";
  DWORD number = 42;
  int left = keys;
  while (!stack.empty() && left > 0) {
    Level& top = stack.back();
    if (top.next == FAN_OUT) {
      stack.pop_back();
      continue;
    }
    char name[32], folded[32];
    snprintf(name, sizeof name, "Key%d", top.next);
    snprintf(folded, sizeof folded, "key%d", top.next);
    ++top.next;
    sqlite3_bind_int64(addKey, 1, top.id);
    sqlite3_bind_text(addKey, 2, name, -1, SQLITE_STATIC);
    sqlite3_bind_text(addKey, 3, folded, -1, SQLITE_STATIC);
    Check(sqlite3_step(addKey) == SQLITE_DONE, "insert key");
    sqlite3_reset(addKey);
    int64_t id = sqlite3_last_insert_rowid(db);
    order.push_back(id);
    --left;
    value(id, "", "", REG_SZ, kData, sizeof kData);
    value(id, "ThreadingModel", "threadingmodel", REG_SZ, "Apartment", 10);
    value(id, "Flags", "flags", REG_DWORD, &number, 4);
    if (static_cast<int>(stack.size()) < DEPTH) stack.push_back({id, 0});
  }
  Exec(db, "COMMIT");
  StoreRun run;
  run.create = Seconds(start);

  sqlite3_stmt* dropValues = nullptr;
  sqlite3_stmt* dropKey = nullptr;
  Check(sqlite3_prepare_v2(db, "DELETE FROM vals WHERE key=?1", -1, &dropValues, nullptr) ==
            SQLITE_OK,
        "prepare");
  Check(sqlite3_prepare_v2(db, "DELETE FROM keys WHERE id=?1", -1, &dropKey, nullptr) == SQLITE_OK,
        "prepare");
  start = Clock::now();
  Exec(db, "BEGIN IMMEDIATE");
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    for (sqlite3_stmt* stmt : {dropValues, dropKey}) {
      sqlite3_bind_int64(stmt, 1, *it);
      Check(sqlite3_step(stmt) == SQLITE_DONE, "delete");
      sqlite3_reset(stmt);
    }
  }
  Exec(db, "COMMIT");
  run.remove = Seconds(start);
  for (sqlite3_stmt* stmt : {addKey, addValue, dropValues, dropKey}) sqlite3_finalize(stmt);
  sqlite3_close(db);
  RemoveDir(dir);
  return run;
}

// The best of `rounds` runs, phase by phase.
template <typename Run>
StoreRun Best(Run run, int keys, int rounds) {
  StoreRun best = run(keys);
  for (int i = 1; i < rounds; ++i) {
    StoreRun next = run(keys);
    if (next.create < best.create) best.create = next.create;
    if (next.remove < best.remove) best.remove = next.remove;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? atoi(argv[1]) : 3;
  if (rounds < 1) rounds = 1;
  SetSystemCodePage(65001);
  printf("%-8s %-7s %10s %12s %10s %12s %8s\n", "keys", "phase", "store s", "store keys/s",
         "floor s", "floor keys/s", "ratio");
  double perKey[2] = {};
  int sizes[2] = {10000, 100000};
  for (int s = 0; s < 2; ++s) {
    int keys = sizes[s];
    StoreRun store = Best(RunStore, keys, rounds);
    StoreRun floor = Best(RunFloor, keys, rounds);
    struct Row {
      const char* phase;
      double store;
      double floor;
    } rows[] = {{"create", store.create, floor.create},
                {"delete", store.remove, floor.remove},
                {"whole", store.create + store.remove, floor.create + floor.remove}};
    for (const Row& row : rows)
      printf("%-8d %-7s %10.3f %12.0f %10.3f %12.0f %7.2fx\n", keys, row.phase, row.store,
             keys / row.store, row.floor, keys / row.floor, row.store / row.floor);
    perKey[s] = (store.create + store.remove) / keys;
  }
  printf("per-key time, 100k against 10k: %.2fx\n", perKey[1] / perKey[0]);
  return 0;
}
