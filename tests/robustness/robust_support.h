// Helpers shared by the robustness tests: running a script file the way the file branch does,
// taking a full picture of the store, telling which keys a script keeps on unregistering, and
// checking the hive files with SQLite's own integrity check.
#pragma once

#include <dirent.h>
#include <sqlite3.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/branches.h"
#include "platform/lock.h"
#include "platform/text.h"
#include "registrar/registrar.h"
#include "registry/registry.h"
#include "registry/store.h"
#include "tests/support/message_capture.h"

namespace robust {

// Key path (lower case, "HKLM\a\b") -> value name (lower case) -> type and bytes. Names are
// folded because the store compares them without regard to case.
using Values = std::map<std::string, std::pair<DWORD, std::string>>;
using Snapshot = std::map<std::string, Values>;

inline std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

inline void SnapshotKey(HKEY key, const std::string& path, Snapshot* out) {
  Values& values = (*out)[Lower(path)];
  // On the heap: trees may be hundreds of levels deep.
  std::vector<char> name(16384);
  std::vector<BYTE> data(65536);
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD type = 0;
    DWORD dataSize = static_cast<DWORD>(data.size());
    if (RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize) !=
        0)
      break;
    values[Lower(name.data())] = {type,
                                  std::string(reinterpret_cast<char*>(data.data()), dataSize)};
  }
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameLength = sizeof name;
    if (RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != 0) break;
    HKEY child = nullptr;
    if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) != 0) continue;
    SnapshotKey(child, path + "\\" + name, out);
    RegCloseKey(child);
  }
}

// Every key and value of the machine and user hives. HKCR and HKCC are views into HKLM, so they
// are covered by it.
inline Snapshot TakeSnapshot() {
  Snapshot out;
  const std::pair<HKEY, const char*> roots[] = {
      {HKEY_LOCAL_MACHINE, "HKLM"}, {HKEY_USERS, "HKU"}, {HKEY_CURRENT_USER, "HKCU"}};
  for (const auto& [root, name] : roots) SnapshotKey(root, name, &out);
  return out;
}

// Keys of `after` that `before` lacks, and values of `after` that differ from `before`.
inline std::vector<std::string> Added(const Snapshot& before, const Snapshot& after) {
  std::vector<std::string> added;
  for (const auto& [path, values] : after) {
    auto old = before.find(path);
    if (old == before.end()) {
      added.push_back(path);
      continue;
    }
    for (const auto& [name, value] : values) {
      auto oldValue = old->second.find(name);
      if (oldValue == old->second.end() || oldValue->second != value)
        added.push_back(path + " [" + name + "]");
    }
  }
  return added;
}

// True when every key and value of `inner` is in `outer` with the same data.
inline bool IsSubset(const Snapshot& inner, const Snapshot& outer) {
  return Added(outer, inner).empty();
}

// The names (lower case, quotes removed) that follow the keyword NoRemove anywhere in the text:
// the keys a script keeps when it is unregistered.
inline std::set<std::string> NoRemoveNames(const std::string& text) {
  std::set<std::string> names;
  std::string lower = Lower(text);
  for (size_t at = lower.find("noremove"); at != std::string::npos;
       at = lower.find("noremove", at + 1)) {
    size_t p = at + 8;
    while (p < lower.size() && std::isspace(static_cast<unsigned char>(lower[p]))) ++p;
    std::string name;
    if (p < lower.size() && lower[p] == '\'') {
      for (++p; p < lower.size(); ++p) {
        if (lower[p] == '\'' && (p + 1 >= lower.size() || lower[p + 1] != '\'')) break;
        if (lower[p] == '\'') ++p;
        name += lower[p];
      }
    } else {
      while (p < lower.size() && !std::isspace(static_cast<unsigned char>(lower[p])))
        name += lower[p++];
    }
    names.insert(name);
  }
  return names;
}

// Keys added by a run (relative to `before`) whose own name is not one the script keeps with
// NoRemove, and any named value left in an added key: what an unregister pass should not leave
// behind. A kept key may hold its default value.
inline std::vector<std::string> UnexpectedResidue(const Snapshot& before, const Snapshot& after,
                                                  const std::string& script) {
  std::set<std::string> kept = NoRemoveNames(script);
  std::vector<std::string> residue;
  for (const auto& [path, values] : after) {
    if (before.count(path)) continue;
    std::string last = path.substr(path.rfind('\\') + 1);
    if (!kept.count(last)) residue.push_back(path);
    for (const auto& [name, value] : values)
      if (!name.empty()) residue.push_back(path + " [" + name + "]");
  }
  return residue;
}

// Runs the script file as the file branch does: a registrar of its own with "Module" set, under
// the registrar's lock, to the path with its single quotes doubled.
inline HRESULT RunFile(const std::string& path, bool registerMode) {
  CScriptRegistrar registrar;
  std::vector<WCHAR> wide(path.size() + 1);
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  std::vector<WCHAR> quoted(2 * wide.size() + 1);
  QuoteSingleQuotes(quoted.data(), wide.data());
  EnterCriticalSection(&registrar.lock);
  registrar.map.Add(u"Module", quoted.data());
  LeaveCriticalSection(&registrar.lock);
  return registrar.RunScriptFile(wide.data(), registerMode ? TRUE : FALSE);
}

// Closes the store (committing the run's changes) and runs PRAGMA integrity_check on every hive
// file in `directory`, opened read-only. Returns "" when all are sound, otherwise what is wrong.
inline std::string CheckHives(const std::string& directory) {
  CloseRegistryStore();
  std::string problems;
  int hives = 0;
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return "cannot list " + directory;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() < 5 || name.compare(name.size() - 5, 5, ".hive") != 0) continue;
    ++hives;
    std::string file = directory + "/" + name;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      problems += file + ": cannot open; ";
      sqlite3_close(db);
      continue;
    }
    sqlite3_stmt* statement = nullptr;
    std::string result;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK) {
      while (sqlite3_step(statement) == SQLITE_ROW)
        result += reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    } else {
      result = sqlite3_errmsg(db);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    if (result != "ok") problems += file + ": " + result + "; ";
  }
  closedir(dir);
  if (hives == 0) problems = "no hive files in " + directory;
  return problems;
}

}  // namespace robust
