// The registry operations over the hives of the store directory. Open keys are entries of a
// handle table; an HKEY is an entry's slot and generation, so a closed, stale or made-up handle
// is recognised and answered with ERROR_INVALID_HANDLE.
#include "registry/store.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework.h"
#include "platform/text.h"
#include "registry/hive.h"
#include "registry/names.h"
#include "registry/registry_api.h"

namespace {

// Access bits that change a key or its values.
constexpr REGSAM WRITE_ACCESS =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x00010000 | 0x00040000 | 0x00080000;

// Where an open key lives. `hive` is null for the two roots that hold no keys.
struct KeyRef {
  Hive* hive = nullptr;
  int64_t id = 0;
  uint32_t depth = 0;
};

struct HandleEntry {
  bool used = false;
  uint32_t generation = 0;
  KeyRef key;
  // The last subkey and value enumerated, so that asking for the next index continues from
  // there instead of counting from the start.
  uint64_t enumChanges = 0;
  uint32_t lastKeyIndex = UINT32_MAX;
  std::string lastKeyFolded;
  uint64_t valueChanges = 0;
  uint32_t lastValueIndex = UINT32_MAX;
  int64_t lastValueId = 0;
};

class Store {
 public:
  // Finds the key a handle stands for. With `write` set on a hive we may write, the run's
  // transaction is begun first, so that everything the operation then reads is what it
  // changes (no other writer can slip in between).
  LONG Resolve(HKEY key, KeyRef* ref, HandleEntry** entry, bool write = false);
  LONG NewHandle(const KeyRef& ref, HKEY* result);
  LONG Close(HKEY key);
  LONG Commit();
  void Shut(bool commit);

 private:
  LONG GetHive(HiveKind kind, Hive** hive);
  LONG Directory(std::string* dir);

  std::unique_ptr<Hive> m_hives[2];
  LONG m_hiveError[2] = {};
  bool m_tried[2] = {};
  std::string m_dir;
  std::vector<HandleEntry> m_handles;
  std::vector<uint32_t> m_free;
  // Enumeration state of the seven predefined roots, which have no table entry.
  HandleEntry m_rootEntries[7];
  uint32_t m_nextGeneration = 1;
};

void CommitAtExit();

Store& TheStore() {
  static Store store;
  return store;
}

// Creates a directory and its missing parents.
LONG MakeDirectories(const std::string& path, mode_t mode) {
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    partial = path.substr(0, pos);
    if (partial.empty()) continue;
    if (mkdir(partial.c_str(), mode) != 0 && errno != EEXIST)
      return static_cast<LONG>(ErrorFromErrno(errno));
  }
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return static_cast<LONG>(ErrorFromErrno(errno));
  return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
}

std::string UserName() {
  std::string name;
  if (struct passwd* pw = getpwuid(getuid())) name = pw->pw_name ? pw->pw_name : "";
  if (name.empty()) name = "uid" + std::to_string(getuid());
  for (char& c : name)
    if (c == '/') c = '_';
  return name;
}

LONG Store::Directory(std::string* dir) {
  if (m_dir.empty()) {
    if (const char* env = getenv("KEYFOLD_REGISTRY"); env && *env) {
      m_dir = env;
    } else if (const char* data = getenv("XDG_DATA_HOME"); data && *data == '/') {
      m_dir = std::string(data) + "/keyfold/registry";
    } else {
      const char* home = getenv("HOME");
      if ((!home || !*home) && getpwuid(getuid())) home = getpwuid(getuid())->pw_dir;
      if (!home || !*home) return ERROR_PATH_NOT_FOUND;
      m_dir = std::string(home) + "/.local/share/keyfold/registry";
    }
  }
  *dir = m_dir;
  return ERROR_SUCCESS;
}

LONG Store::GetHive(HiveKind kind, Hive** hive) {
  int index = kind == HiveKind::kMachine ? 0 : 1;
  if (!m_tried[index]) {
    m_tried[index] = true;
    std::string dir;
    LONG error = Directory(&dir);
    if (error == ERROR_SUCCESS) {
      // Creating the directory may fail when we may only read it; the hive's open says why.
      MakeDirectories(dir, 0755);
      std::string path =
          dir + (kind == HiveKind::kMachine ? "/machine.hive" : "/user-" + UserName() + ".hive");
      error = Hive::Open(path, kind, kind == HiveKind::kMachine ? 0644 : 0600, &m_hives[index]);
      // The framework's exit routine commits what the run wrote.
      if (error == ERROR_SUCCESS) AfxRegisterExitHandler(CommitAtExit);
    }
    m_hiveError[index] = error;
  }
  *hive = m_hives[index].get();
  return m_hiveError[index];
}

// The last chance to save the run: a commit that fails here is said on standard error, since
// the program's own outcome has been shown already.
void CommitAtExit() {
  LONG error = CommitRegistry();
  if (error != ERROR_SUCCESS)
    fprintf(stderr, "keyfold: the registry changes of this run could not be saved (error %ld)\n",
            static_cast<long>(error));
}

LONG Store::Resolve(HKEY key, KeyRef* ref, HandleEntry** entry, bool write) {
  *entry = nullptr;
  *ref = KeyRef();
  uintptr_t value = reinterpret_cast<uintptr_t>(key);
  if (value >= 0x80000000u && value <= 0x80000006u) {
    uint32_t which = static_cast<uint32_t>(value - 0x80000000u);
    *entry = &m_rootEntries[which];
    if (key == HKEY_PERFORMANCE_DATA || key == HKEY_DYN_DATA) return ERROR_SUCCESS;
    bool user = key == HKEY_CURRENT_USER;
    LONG error = GetHive(user ? HiveKind::kUser : HiveKind::kMachine, &ref->hive);
    if (error != ERROR_SUCCESS) return error;
    if (write && ref->hive->writable()) {
      if (LONG busy = ref->hive->BeginWrite()) return busy;
    }
    if (user) {
      ref->id = ref->hive->root(kRootCurrentUser);
    } else if (key == HKEY_LOCAL_MACHINE) {
      ref->id = ref->hive->root(kRootMachine);
    } else if (key == HKEY_USERS) {
      ref->id = ref->hive->root(kRootUsers);
    } else if (key == HKEY_CLASSES_ROOT) {
      ref->id = ref->hive->root(kRootClasses);
      ref->depth = 2;
    } else {
      ref->id = ref->hive->root(kRootConfig);
      ref->depth = 4;
    }
    return ERROR_SUCCESS;
  }
  uint64_t handle = static_cast<uint64_t>(value);
  uint64_t slot = (handle & 0xFFFFFFFFu) - 1;
  uint32_t generation = static_cast<uint32_t>(handle >> 32);
  if (key == nullptr || slot >= m_handles.size()) return ERROR_INVALID_HANDLE;
  HandleEntry& found = m_handles[slot];
  if (!found.used || found.generation != generation) return ERROR_INVALID_HANDLE;
  *ref = found.key;
  *entry = &found;
  if (write && ref->hive && ref->hive->writable()) {
    if (LONG busy = ref->hive->BeginWrite()) return busy;
  }
  if (ref->hive) return ref->hive->CheckKey(ref->id, nullptr);
  return ERROR_SUCCESS;
}

LONG Store::NewHandle(const KeyRef& ref, HKEY* result) {
  uint32_t slot;
  if (!m_free.empty()) {
    slot = m_free.back();
    m_free.pop_back();
  } else {
    if (m_handles.size() >= 0x7FFFFFFFu) return ERROR_NOT_ENOUGH_MEMORY;
    slot = static_cast<uint32_t>(m_handles.size());
    m_handles.emplace_back();
  }
  HandleEntry& entry = m_handles[slot];
  entry = HandleEntry();
  entry.used = true;
  // Generations start at 1 and skip 0, so a handle never equals a predefined root.
  entry.generation = m_nextGeneration++;
  if (m_nextGeneration == 0) m_nextGeneration = 1;
  entry.key = ref;
  *result = reinterpret_cast<HKEY>(static_cast<uintptr_t>(
      (static_cast<uint64_t>(entry.generation) << 32) | (static_cast<uint64_t>(slot) + 1)));
  return ERROR_SUCCESS;
}

LONG Store::Close(HKEY key) {
  uintptr_t value = reinterpret_cast<uintptr_t>(key);
  if (value >= 0x80000000u && value <= 0x80000006u) return ERROR_SUCCESS;
  uint64_t handle = static_cast<uint64_t>(value);
  uint64_t slot = (handle & 0xFFFFFFFFu) - 1;
  if (key == nullptr || slot >= m_handles.size()) return ERROR_INVALID_HANDLE;
  HandleEntry& entry = m_handles[slot];
  if (!entry.used || entry.generation != static_cast<uint32_t>(handle >> 32))
    return ERROR_INVALID_HANDLE;
  entry = HandleEntry();
  m_free.push_back(static_cast<uint32_t>(slot));
  return ERROR_SUCCESS;
}

LONG Store::Commit() {
  LONG first = ERROR_SUCCESS;
  for (auto& hive : m_hives) {
    if (!hive) continue;
    LONG error = hive->Commit();
    if (first == ERROR_SUCCESS) first = error;
  }
  return first;
}

void Store::Shut(bool commit) {
  if (commit) Commit();
  for (int i = 0; i < 2; ++i) {
    m_hives[i].reset();
    m_tried[i] = false;
    m_hiveError[i] = ERROR_SUCCESS;
  }
  m_dir.clear();
  m_handles.clear();
  m_free.clear();
  for (HandleEntry& entry : m_rootEntries) entry = HandleEntry();
}

// Splits a narrow key path into UTF-8 names. Empty names (doubled or trailing backslashes)
// are skipped; a leading backslash and a name longer than the platform allows are refused.
LONG SplitPath(LPCSTR path, std::vector<std::string>* names) {
  names->clear();
  if (!path || !*path) return ERROR_SUCCESS;
  if (path[0] == '\\') return ERROR_INVALID_PARAMETER;
  std::string utf8 = NameToUtf8(path, strlen(path));
  size_t start = 0;
  while (start <= utf8.size()) {
    size_t end = utf8.find('\\', start);
    if (end == std::string::npos) end = utf8.size();
    if (end > start) {
      names->push_back(utf8.substr(start, end - start));
      if (NameLengthInUnits(names->back()) > REGISTRY_MAX_KEY_NAME) return ERROR_INVALID_PARAMETER;
    }
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// A stored value's data as the narrow operations hand it out.
std::string DataForCaller(uint32_t type, const std::string& stored) {
  return IsStringType(type) ? NameFromUtf8(stored) : stored;
}

// Copies data out the way RegQueryValueExA and RegEnumValueA do: the size needed is always
// reported; ERROR_MORE_DATA when a buffer is given that is too small.
LONG CopyData(const std::string& bytes, LPBYTE data, LPDWORD dataSize) {
  if (data && !dataSize) return ERROR_INVALID_PARAMETER;
  if (!dataSize) return ERROR_SUCCESS;
  DWORD room = *dataSize;
  *dataSize = static_cast<DWORD>(bytes.size());
  if (!data) return ERROR_SUCCESS;
  if (room < bytes.size()) return ERROR_MORE_DATA;
  memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

class StoreApi : public RegistryApi {
 public:
  LONG OpenKeyEx(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) override {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Store& store = TheStore();
    KeyRef ref;
    HandleEntry* entry;
    if (LONG error = store.Resolve(key, &ref, &entry)) return error;
    std::vector<std::string> names;
    if (LONG error = SplitPath(subKey, &names)) return error;
    if (!ref.hive) return names.empty() ? store.NewHandle(ref, result) : ERROR_FILE_NOT_FOUND;
    for (const std::string& name : names) {
      if (LONG error = ref.hive->FindChild(ref.id, FoldName(name), &ref.id)) return error;
      ++ref.depth;
    }
    if ((access & WRITE_ACCESS) && !ref.hive->writable()) return ERROR_ACCESS_DENIED;
    return store.NewHandle(ref, result);
  }

  LONG CreateKeyEx(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM, const SECURITY_ATTRIBUTES*,
                   PHKEY result, LPDWORD disposition) override {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Store& store = TheStore();
    KeyRef ref;
    HandleEntry* entry;
    if (LONG error = store.Resolve(key, &ref, &entry, true)) return error;
    if (!ref.hive || !ref.hive->writable()) return ERROR_ACCESS_DENIED;
    std::vector<std::string> names;
    if (LONG error = SplitPath(subKey, &names)) return error;
    if (ref.depth + names.size() > REGISTRY_MAX_DEPTH) return ERROR_INVALID_PARAMETER;
    bool created = false;
    for (const std::string& name : names) {
      std::string folded = FoldName(name);
      LONG error = created ? ERROR_FILE_NOT_FOUND : ref.hive->FindChild(ref.id, folded, &ref.id);
      if (error == ERROR_FILE_NOT_FOUND) {
        error = ref.hive->AddChild(ref.id, name, folded, &ref.id);
        created = true;
      }
      if (error != ERROR_SUCCESS) return error;
      ++ref.depth;
    }
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return store.NewHandle(ref, result);
  }

  LONG CloseKey(HKEY key) override { return TheStore().Close(key); }

  LONG SetValueEx(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                  DWORD size) override {
    KeyRef ref;
    HandleEntry* entry;
    if (!data && size) return ERROR_INVALID_PARAMETER;
    if (LONG error = TheStore().Resolve(key, &ref, &entry, true)) return error;
    if (!ref.hive) return ERROR_ACCESS_DENIED;
    std::string name = valueName ? NameToUtf8(valueName, strlen(valueName)) : std::string();
    if (NameLengthInUnits(name) > REGISTRY_MAX_VALUE_NAME) return ERROR_INVALID_PARAMETER;
    if (IsStringType(type)) {
      std::string text = NameToUtf8(reinterpret_cast<const char*>(data), size);
      return ref.hive->SetValue(ref.id, name, FoldName(name), type, text.data(), text.size());
    }
    return ref.hive->SetValue(ref.id, name, FoldName(name), type, data, size);
  }

  LONG DeleteValue(HKEY key, LPCSTR valueName) override {
    KeyRef ref;
    HandleEntry* entry;
    if (LONG error = TheStore().Resolve(key, &ref, &entry, true)) return error;
    if (!ref.hive) return ERROR_ACCESS_DENIED;
    std::string name = valueName ? NameToUtf8(valueName, strlen(valueName)) : std::string();
    if (NameLengthInUnits(name) > REGISTRY_MAX_VALUE_NAME) return ERROR_FILE_NOT_FOUND;
    return ref.hive->RemoveValue(ref.id, FoldName(name));
  }

  LONG DeleteKey(HKEY key, LPCSTR subKey) override {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    HandleEntry* entry;
    if (LONG error = TheStore().Resolve(key, &ref, &entry, true)) return error;
    std::vector<std::string> names;
    if (LONG error = SplitPath(subKey, &names)) return error;
    if (!ref.hive) return names.empty() ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    for (const std::string& name : names)
      if (LONG error = ref.hive->FindChild(ref.id, FoldName(name), &ref.id)) return error;
    bool base = false, children = false;
    if (LONG error = ref.hive->CheckKey(ref.id, &base)) return error;
    if (base || !ref.hive->writable()) return ERROR_ACCESS_DENIED;
    if (LONG error = ref.hive->HasChildren(ref.id, &children)) return error;
    if (children) return ERROR_ACCESS_DENIED;
    return ref.hive->RemoveKey(ref.id);
  }

  LONG EnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD, LPSTR className,
                 LPDWORD classLength, FILETIME* lastWriteTime) override {
    if (!name || !nameLength) return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    HandleEntry* entry;
    if (LONG error = TheStore().Resolve(key, &ref, &entry)) return error;
    if (!ref.hive) return ERROR_NO_MORE_ITEMS;
    bool next = entry && entry->enumChanges == ref.hive->changes() &&
                entry->lastKeyIndex != UINT32_MAX && index == entry->lastKeyIndex + 1;
    std::string utf8, folded;
    if (LONG error = ref.hive->ChildAt(ref.id, index, next ? &entry->lastKeyFolded : nullptr, &utf8,
                                       &folded))
      return error;
    std::string narrow = NameFromUtf8(utf8);
    if (narrow.size() + 1 > *nameLength) return ERROR_MORE_DATA;
    memcpy(name, narrow.c_str(), narrow.size() + 1);
    *nameLength = static_cast<DWORD>(narrow.size());
    if (className && classLength && *classLength) className[0] = '\0';
    if (classLength) *classLength = 0;
    if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
    if (entry) {
      entry->enumChanges = ref.hive->changes();
      entry->lastKeyIndex = index;
      entry->lastKeyFolded = std::move(folded);
    }
    return ERROR_SUCCESS;
  }

  LONG QueryInfoKey(HKEY key, LPSTR className, LPDWORD classLength, LPDWORD, LPDWORD subKeys,
                    LPDWORD maxSubKeyLength, LPDWORD maxClassLength, LPDWORD values,
                    LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                    LPDWORD securityDescriptorSize, FILETIME* lastWriteTime) override {
    KeyRef ref;
    HandleEntry* entry;
    if (LONG error = TheStore().Resolve(key, &ref, &entry)) return error;
    uint32_t keyCount = 0, keyLongest = 0, valueCount = 0, nameLongest = 0, dataLongest = 0;
    if (ref.hive && (subKeys || maxSubKeyLength)) {
      if (LONG error =
              ref.hive->CountChildren(ref.id, &keyCount, maxSubKeyLength ? &keyLongest : nullptr))
        return error;
    }
    if (ref.hive && (values || maxValueNameLength || maxValueLength)) {
      if (LONG error = ref.hive->CountValues(ref.id, &valueCount,
                                             maxValueNameLength ? &nameLongest : nullptr,
                                             maxValueLength ? &dataLongest : nullptr))
        return error;
    }
    if (className && classLength && *classLength) className[0] = '\0';
    if (classLength) *classLength = 0;
    if (subKeys) *subKeys = keyCount;
    if (maxSubKeyLength) *maxSubKeyLength = keyLongest;
    if (maxClassLength) *maxClassLength = 0;
    if (values) *values = valueCount;
    if (maxValueNameLength) *maxValueNameLength = nameLongest;
    // Stored string data is UTF-8, never shorter than its narrow form: a safe buffer size.
    if (maxValueLength) *maxValueLength = dataLongest;
    if (securityDescriptorSize) *securityDescriptorSize = 0;
    if (lastWriteTime) *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
  }

  LONG EnumValue(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength, LPDWORD,
                 LPDWORD type, LPBYTE data, LPDWORD dataSize) override {
    if (!valueName || !valueNameLength) return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    HandleEntry* entry;
    if (LONG error = TheStore().Resolve(key, &ref, &entry)) return error;
    if (!ref.hive) return ERROR_NO_MORE_ITEMS;
    bool next = entry && entry->valueChanges == ref.hive->changes() &&
                entry->lastValueIndex != UINT32_MAX && index == entry->lastValueIndex + 1;
    int64_t id = 0;
    std::string utf8, stored;
    uint32_t storedType = 0;
    if (LONG error = ref.hive->ValueAt(ref.id, index, next ? entry->lastValueId : 0, &id, &utf8,
                                       &storedType, &stored))
      return error;
    std::string narrow = NameFromUtf8(utf8);
    if (narrow.size() + 1 > *valueNameLength) return ERROR_MORE_DATA;
    if (LONG error = CopyData(DataForCaller(storedType, stored), data, dataSize)) return error;
    memcpy(valueName, narrow.c_str(), narrow.size() + 1);
    *valueNameLength = static_cast<DWORD>(narrow.size());
    if (type) *type = storedType;
    if (entry) {
      entry->valueChanges = ref.hive->changes();
      entry->lastValueIndex = index;
      entry->lastValueId = id;
    }
    return ERROR_SUCCESS;
  }

  LONG QueryValueEx(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                    LPDWORD dataSize) override {
    KeyRef ref;
    HandleEntry* entry;
    if (LONG error = TheStore().Resolve(key, &ref, &entry)) return error;
    if (!ref.hive) return ERROR_FILE_NOT_FOUND;
    std::string name = valueName ? NameToUtf8(valueName, strlen(valueName)) : std::string();
    uint32_t storedType = 0;
    std::string stored;
    if (LONG error = ref.hive->FindValue(ref.id, FoldName(name), &storedType, &stored))
      return error;
    if (type) *type = storedType;
    return CopyData(DataForCaller(storedType, stored), data, dataSize);
  }
};

}  // namespace

RegistryApi& StoreRegistryApi() {
  static StoreApi api;
  return api;
}

LONG CommitRegistry() { return TheStore().Commit(); }

void CloseRegistryStore() { TheStore().Shut(true); }

void AbandonRegistryStore() { TheStore().Shut(false); }

void SetRegistryBusyTimeout(int milliseconds) { Hive::SetBusyTimeout(milliseconds); }
