// The registry operations over a real store in a temporary directory.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/framework.h"
#include "platform/text.h"
#include "registry/registry.h"
#include "registry/store.h"
#include "tests/support/temp_store.h"

namespace {

// Opens or creates keys and closes them when the test ends.
class StoreTest : public ::testing::Test {
 protected:
  ~StoreTest() override {
    for (HKEY key : m_open) RegCloseKey(key);
  }

  HKEY Create(HKEY parent, const char* path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    m_open.push_back(key);
    return key;
  }
  LONG Open(HKEY parent, const char* path, HKEY* key, REGSAM access = KEY_READ) {
    LONG result = RegOpenKeyExA(parent, path, 0, access, key);
    if (result == ERROR_SUCCESS) m_open.push_back(*key);
    return result;
  }
  bool Exists(HKEY parent, const char* path) {
    HKEY key = nullptr;
    return Open(parent, path, &key) == ERROR_SUCCESS;
  }
  static void SetString(HKEY key, const char* name, const std::string& text) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
  }
  static std::string GetString(HKEY key, const char* name) {
    char data[1024];
    DWORD size = sizeof data, type = 0;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    if (result != ERROR_SUCCESS) return "<error " + std::to_string(result) + ">";
    EXPECT_EQ(type, REG_SZ);
    return std::string(data, size ? size - 1 : 0);
  }
  static std::vector<std::string> Subkeys(HKEY key) {
    std::vector<std::string> names;
    char name[1024];
    for (DWORD i = 0;; ++i) {
      DWORD length = sizeof name;
      LONG result = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_NO_MORE_ITEMS) break;
      EXPECT_EQ(result, ERROR_SUCCESS);
      if (result != ERROR_SUCCESS) break;
      EXPECT_EQ(length, strlen(name));
      names.push_back(name);
    }
    return names;
  }
  static std::vector<std::string> ValueNames(HKEY key) {
    std::vector<std::string> names;
    char name[1024];
    for (DWORD i = 0;; ++i) {
      DWORD length = sizeof name;
      LONG result = RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_NO_MORE_ITEMS) break;
      EXPECT_EQ(result, ERROR_SUCCESS);
      if (result != ERROR_SUCCESS) break;
      names.push_back(name);
    }
    return names;
  }

  TempStore m_store;
  std::vector<HKEY> m_open;
};

TEST_F(StoreTest, CreateReportsDispositionAndOpenFindsTheKey) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Keyfold\\Test", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "software\\KEYFOLD\\test", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  HKEY parent = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Software\\Keyfold", &parent), ERROR_SUCCESS);
  EXPECT_TRUE(Exists(parent, "TEST"));
  EXPECT_EQ(Subkeys(parent), std::vector<std::string>{"Test"});  // case kept as first given
  HKEY missing = nullptr;
  EXPECT_EQ(Open(parent, "Absent", &missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);
}

TEST_F(StoreTest, ValuesAreCaseInsensitiveAndKeepFirstSetOrder) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Order");
  SetString(key, "Zeta", "1");
  SetString(key, nullptr, "default");
  SetString(key, "alpha", "2");
  SetString(key, "ZETA", "3");  // overwrite keeps the position and the first spelling
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"Zeta", "", "alpha"}));
  EXPECT_EQ(GetString(key, "zeta"), "3");
  EXPECT_EQ(GetString(key, ""), "default");

  EXPECT_EQ(RegDeleteValueA(key, "ALPHA"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(key, "alpha"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetString(key, "alpha"), "<error 2>");
  SetString(key, "alpha", "again");  // a value set anew goes last
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"Zeta", "", "alpha"}));
  SetString(key, "beta", "b");
  EXPECT_EQ(RegDeleteValueA(key, "zeta"), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"", "alpha", "beta"}));
}

TEST_F(StoreTest, SubkeysEnumerateInCaseInsensitiveOrder) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Sorted");
  for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2", "Delta"}) Create(key, name);
  EXPECT_EQ(Subkeys(key), (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "Delta", "gamma"}));
  // Asking for an index out of sequence gives the same answer as walking to it.
  char name[64];
  DWORD length = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(key, 3, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "Delta");
  length = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(key, 5, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  // A name that does not fit the buffer.
  length = 3;
  EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  // Deleting while walking at index 0 (the tree deletion pattern) sees every key in turn.
  std::vector<std::string> seen;
  for (;;) {
    length = sizeof name;
    if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    seen.push_back(name);
    ASSERT_EQ(RegDeleteKeyA(key, name), ERROR_SUCCESS);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "Delta", "gamma"}));
}

TEST_F(StoreTest, QueryInfoCountsAndLengths) {
  HKEY key = Create(HKEY_CURRENT_USER, "Info");
  Create(key, "a");
  Create(key, "longer");
  SetString(key, nullptr, "x");
  SetString(key, "named", "four");
  DWORD subkeys = 9, maxSubkey = 9, values = 9, maxName = 9, maxData = 9;
  ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values,
                             &maxName, &maxData, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subkeys, 2u);
  EXPECT_EQ(maxSubkey, 6u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 5u);
  EXPECT_EQ(maxData, 5u);
}

TEST_F(StoreTest, EnumValueAndQueryValueReturnTypeAndData) {
  HKEY key = Create(HKEY_CURRENT_USER, "Data");
  DWORD number = 0x12345678;
  const BYTE blob[] = {0, 1, 2, 0xFF};
  ASSERT_EQ(RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4), 0);
  ASSERT_EQ(RegSetValueExA(key, "b", 0, REG_BINARY, blob, sizeof blob), 0);
  ASSERT_EQ(RegSetValueExA(key, "empty", 0, REG_BINARY, nullptr, 0), 0);

  char name[16];
  BYTE data[16];
  DWORD nameLength = sizeof name, type = 0, size = sizeof data;
  ASSERT_EQ(RegEnumValueA(key, 1, name, &nameLength, nullptr, &type, data, &size), ERROR_SUCCESS);
  EXPECT_STREQ(name, "b");
  EXPECT_EQ(nameLength, 1u);
  EXPECT_EQ(type, REG_BINARY);
  ASSERT_EQ(size, sizeof blob);
  EXPECT_EQ(memcmp(data, blob, sizeof blob), 0);

  size = 2;  // too small: the size needed comes back
  nameLength = sizeof name;
  EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "N", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, REG_DWORD);
  DWORD read = 0;
  EXPECT_EQ(RegQueryValueExA(key, "n", nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(read, number);
  size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(key, "empty", nullptr, &type, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(RegQueryValueExA(key, "none", nullptr, &type, data, &size), ERROR_FILE_NOT_FOUND);
  nameLength = sizeof name;
  EXPECT_EQ(RegEnumValueA(key, 3, name, &nameLength, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  nameLength = 1;  // "n" and its NUL need 2
  EXPECT_EQ(RegEnumValueA(key, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
}

TEST_F(StoreTest, DeleteKeyRefusesSubkeysAndBaseKeys) {
  HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Parent\\Child");
  SetString(key, "v", "x");
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Parent"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Parent\\CHILD"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Parent\\Child"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Parent"), ERROR_SUCCESS);

  struct Case {
    HKEY root;
    const char* path;
  } bases[] = {
      {HKEY_LOCAL_MACHINE, "Software\\Classes"},
      {HKEY_LOCAL_MACHINE, "Software"},
      {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Hardware Profiles\\Current"},
      {HKEY_CLASSES_ROOT, ""},
      {HKEY_CURRENT_CONFIG, ""},
      {HKEY_CURRENT_USER, ""},
      {HKEY_USERS, ""},
  };
  // Empty the tree above HKCC's key so that only the base rule can refuse it.
  for (const Case& c : bases) {
    EXPECT_EQ(RegDeleteKeyA(c.root, c.path), ERROR_ACCESS_DENIED) << c.path;
  }
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Hardware Profiles\\Current"));
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Classes"));
}

TEST_F(StoreTest, ClassesRootIsMachineSoftwareClasses) {
  HKEY viaRoot = Create(HKEY_CLASSES_ROOT, "Sample.Doc");
  SetString(viaRoot, nullptr, "Sample Document");
  HKEY viaMachine = nullptr;
  ASSERT_EQ(Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\classes\\sample.doc", &viaMachine), ERROR_SUCCESS);
  EXPECT_EQ(GetString(viaMachine, nullptr), "Sample Document");
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Classes\\Sample.Doc"), ERROR_SUCCESS);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "Sample.Doc"));

  HKEY config = Create(HKEY_CURRENT_CONFIG, "Display");
  EXPECT_TRUE(
      Exists(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Hardware Profiles\\Current\\Display"));
  (void)config;
  // The user tree is separate from the machine tree.
  Create(HKEY_CURRENT_USER, "OnlyUser");
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "OnlyUser"));
  EXPECT_FALSE(Exists(HKEY_USERS, "OnlyUser"));
}

TEST_F(StoreTest, EmptyRootsHoldNothingAndRefuseCreation) {
  for (HKEY root : {HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA}) {
    HKEY key = nullptr;
    EXPECT_EQ(Open(root, "Anything", &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(
        RegCreateKeyExA(root, "Anything", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExA(root, "v", 0, REG_BINARY, nullptr, 0), ERROR_ACCESS_DENIED);
    DWORD count = 7;
    EXPECT_EQ(RegQueryInfoKeyA(root, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(count, 0u);
    char name[16];
    DWORD length = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(root, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
  }
}

TEST_F(StoreTest, NameLimits) {
  HKEY key = Create(HKEY_CURRENT_USER, "Limits");
  std::string longest(REGISTRY_MAX_KEY_NAME, 'k');
  Create(key, longest.c_str());
  HKEY tooLong = nullptr;
  std::string over = longest + "k";
  EXPECT_EQ(
      RegCreateKeyExA(key, over.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &tooLong, nullptr),
      ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExA(key, over.c_str(), 0, KEY_READ, &tooLong), ERROR_INVALID_PARAMETER);

  std::string valueName(REGISTRY_MAX_VALUE_NAME, 'v');
  EXPECT_EQ(RegSetValueExA(key, valueName.c_str(), 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  valueName += 'v';
  EXPECT_EQ(RegSetValueExA(key, valueName.c_str(), 0, REG_BINARY, nullptr, 0),
            ERROR_INVALID_PARAMETER);

  // Depth: HKCU is level 0, so 512 nested names fit and one more does not; a failed creation
  // leaves nothing behind.
  std::string path;
  for (DWORD i = 0; i < REGISTRY_MAX_DEPTH; ++i) path += (i ? "\\d" : "d");
  HKEY deep = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (path + "\\one").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &deep, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "d"));
  deep = Create(HKEY_CURRENT_USER, path.c_str());
  EXPECT_EQ(RegCreateKeyExA(deep, "one", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &tooLong, nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST_F(StoreTest, BadClosedAndDeletedHandles) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Gone", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  HKEY other = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Gone", 0, KEY_READ, &other), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Gone"), ERROR_SUCCESS);
  // A key made again under the same name is a different key.
  Create(HKEY_CURRENT_USER, "Gone");
  DWORD count = 0;
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, nullptr, 0), ERROR_KEY_DELETED);
  EXPECT_EQ(RegQueryInfoKeyA(other, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(other), ERROR_SUCCESS);

  HKEY forged[] = {nullptr,
                   key,
                   reinterpret_cast<HKEY>(uintptr_t{1}),
                   reinterpret_cast<HKEY>(uintptr_t{0x7FFFFFFF}),
                   reinterpret_cast<HKEY>(~uintptr_t{0}),
                   PredefinedKey(0x80000007u)};
  for (HKEY bad : forged) {
    HKEY result = nullptr;
    char name[8];
    DWORD length = sizeof name;
    EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(bad, "x", 0, KEY_READ, &result), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCreateKeyExA(bad, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &result, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(bad, "v", 0, REG_BINARY, nullptr, 0), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteValueA(bad, "v"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegDeleteKeyA(bad, "x"), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegEnumKeyExA(bad, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegEnumValueA(bad, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryInfoKeyA(bad, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(bad, "v", nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
  }
  // Handles do not survive the store being closed.
  HKEY kept = Create(HKEY_CURRENT_USER, "Kept");
  CloseRegistryStore();
  EXPECT_EQ(RegSetValueExA(kept, "v", 0, REG_BINARY, nullptr, 0), ERROR_INVALID_HANDLE);
  m_open.clear();
}

TEST_F(StoreTest, PathsWithBackslashes) {
  Create(HKEY_CURRENT_USER, "A\\B\\\\C\\");
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "a\\b\\c"));
  HKEY key = nullptr;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "\\A", &key), ERROR_INVALID_PARAMETER);
  // An empty name opens the key itself again.
  HKEY self = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "A\\B", &key), ERROR_SUCCESS);
  ASSERT_EQ(Open(key, "", &self), ERROR_SUCCESS);
  EXPECT_EQ(Subkeys(self), std::vector<std::string>{"C"});
}

TEST_F(StoreTest, StringsRoundTripAcrossCodePages) {
  UINT saved = GetACP();
  // "Grüße €" in code page 1252, written there and read back in UTF-8 and in Shift_JIS.
  ASSERT_TRUE(SetSystemCodePage(1252));
  HKEY key = Create(HKEY_CURRENT_USER,
                    "Gr\xFC\xDF"
                    "e");
  SetString(key, "Caf\xE9",
            "Gr\xFC\xDF"
            "e \x80");
  EXPECT_EQ(GetString(key, "CAF\xC9"),
            "Gr\xFC\xDF"
            "e \x80");  // É folds to é

  ASSERT_TRUE(SetSystemCodePage(65001));
  HKEY utf8 = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER,
                 "Gr\xC3\xBC\xC3\x9F"
                 "e",
                 &utf8),
            ERROR_SUCCESS);
  EXPECT_EQ(GetString(utf8, "Caf\xC3\xA9"),
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x82\xAC");
  EXPECT_EQ(ValueNames(utf8), std::vector<std::string>{"Caf\xC3\xA9"});

  // Japanese text written in UTF-8 reads back in Shift_JIS with the same characters.
  HKEY jp = Create(HKEY_CURRENT_USER, "\xE6\x97\xA5\xE6\x9C\xAC");  // 日本
  SetString(jp, nullptr, "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88");   // テスト
  ASSERT_TRUE(SetSystemCodePage(932));
  HKEY sjis = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "\x93\xFA\x96\x7B", &sjis), ERROR_SUCCESS);
  EXPECT_EQ(GetString(sjis, nullptr), "\x83\x65\x83\x58\x83\x67");
  SetSystemCodePage(saved);
}

TEST_F(StoreTest, CommittedRunsPersistAndAbandonedRunsDoNot) {
  HKEY key = Create(HKEY_CURRENT_USER, "Kept");
  SetString(key, "v", "1");
  m_open.clear();
  ASSERT_EQ(CommitRegistry(), ERROR_SUCCESS);
  key = Create(HKEY_CURRENT_USER, "Dropped");
  SetString(key, "v", "2");
  m_open.clear();
  AbandonRegistryStore();
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "Kept"));
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Dropped"));

  key = Create(HKEY_LOCAL_MACHINE, "Software\\Closed");
  m_open.clear();
  CloseRegistryStore();  // commits
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Closed"));

  // The framework's exit routine commits the run.
  Create(HKEY_CURRENT_USER, "AtExit");
  m_open.clear();
  AfxRunExitHandlers();
  AbandonRegistryStore();
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "AtExit"));
}

TEST_F(StoreTest, NewHiveFilesGetTheirModes) {
  Create(HKEY_LOCAL_MACHINE, "Software\\Mode");
  Create(HKEY_CURRENT_USER, "Mode");
  struct stat st;
  ASSERT_EQ(stat((m_store.path() + "/machine.hive").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  struct passwd* pw = getpwuid(getuid());
  ASSERT_NE(pw, nullptr);
  ASSERT_EQ(stat((m_store.path() + "/user-" + pw->pw_name + ".hive").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
