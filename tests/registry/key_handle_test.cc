// CKeyHandle and the key queries, against a real store, with the recording registry where the
// registry calls themselves are the point.
#include "registry/key_handle.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"
#include "registry/key_queries.h"
#include "tests/support/message_capture.h"
#include "tests/support/recording_registry.h"
#include "tests/support/temp_store.h"

namespace {

class KeyHandleTest : public ::testing::Test {
 protected:
  // Makes each backslash path under HKCU\Tree.
  void MakeTree(std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
      CKeyHandle key;
      ASSERT_EQ(key.Create(HKEY_CURRENT_USER, (std::string("Tree\\") + path).c_str()), 0) << path;
    }
  }
  static bool Exists(const char* path) {
    CKeyHandle key;
    return key.Open(HKEY_CURRENT_USER, path, KEY_READ) == ERROR_SUCCESS;
  }
  // True while `key` is an open handle of the store.
  static bool IsOpen(HKEY key) {
    DWORD count = 0;
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  }
  static void SetValue(HKEY key, const char* name) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), 0);
  }

  TempStore m_store;
};

TEST_F(KeyHandleTest, CloseOnAnEmptyHandleCallsNothing) {
  CKeyHandle key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, "", KEY_READ), ERROR_SUCCESS);
  RecordingRegistry recorder;
  EXPECT_EQ(key.Close(), ERROR_SUCCESS);
  EXPECT_EQ(recorder.Joined(), "CloseKey()");
  EXPECT_EQ(key.m_hKey, nullptr);
  EXPECT_EQ(key.Close(), ERROR_SUCCESS);
  CKeyHandle never;
  EXPECT_EQ(never.Close(), ERROR_SUCCESS);
  EXPECT_EQ(recorder.callCount(), 1u);
}

TEST_F(KeyHandleTest, CloseForgetsTheKeyEvenWhenTheCloseFails) {
  CKeyHandle key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, "Tree"), ERROR_SUCCESS);
  HKEY held = key.m_hKey;
  {
    RecordingRegistry recorder;
    recorder.FailOperation("CloseKey", nullptr, ERROR_INVALID_HANDLE);
    EXPECT_EQ(key.Close(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(key.m_hKey, nullptr);
  }
  EXPECT_EQ(RegCloseKey(held), ERROR_SUCCESS);  // the failed close really did not close it
}

TEST_F(KeyHandleTest, OpenAndCreateReplaceTheHeldKeyOnlyOnSuccess) {
  MakeTree({"A", "B"});
  CKeyHandle key;
  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, "Tree\\A", KEY_READ), ERROR_SUCCESS);
  HKEY first = key.m_hKey;
  EXPECT_EQ(key.Open(HKEY_CURRENT_USER, "Tree\\Missing", KEY_READ), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key.m_hKey, first);
  EXPECT_TRUE(IsOpen(first));
  EXPECT_EQ(key.Create(HKEY_PERFORMANCE_DATA, "X"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(key.m_hKey, first);

  ASSERT_EQ(key.Open(HKEY_CURRENT_USER, "Tree\\B", KEY_READ), ERROR_SUCCESS);
  EXPECT_NE(key.m_hKey, first);
  EXPECT_FALSE(IsOpen(first));  // closed by the successful open
  HKEY second = key.m_hKey;

  DWORD disposition = 0;
  ASSERT_EQ(
      key.Create(HKEY_CURRENT_USER, "Tree\\C", nullptr, 0, KEY_ALL_ACCESS, nullptr, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_FALSE(IsOpen(second));
  ASSERT_EQ(
      key.Create(HKEY_CURRENT_USER, "Tree\\C", nullptr, 0, KEY_ALL_ACCESS, nullptr, &disposition),
      ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
}

TEST_F(KeyHandleTest, DestructorClosesTheKey) {
  HKEY held;
  {
    CKeyHandle key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, "Tree"), ERROR_SUCCESS);
    held = key.m_hKey;
    EXPECT_TRUE(IsOpen(held));
  }
  EXPECT_FALSE(IsOpen(held));
}

TEST_F(KeyHandleTest, DeleteKeyTreeOfAMissingNameDeletesNothing) {
  MakeTree({"Keep"});
  CKeyHandle tree;
  ASSERT_EQ(tree.Open(HKEY_CURRENT_USER, "Tree", KEY_READ), ERROR_SUCCESS);
  RecordingRegistry recorder;
  EXPECT_EQ(tree.DeleteKeyTree("Absent"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(recorder.Joined(), "OpenKeyEx(Absent, 0x2001f)");
  EXPECT_TRUE(Exists("Tree\\Keep"));
}

TEST_F(KeyHandleTest, DeleteKeyTreeDeletesDeepestFirst) {
  MakeTree({"Top\\Mid\\Leaf", "Top\\Mid\\Leaf2", "Top\\Side"});
  CKeyHandle tree;
  ASSERT_EQ(tree.Open(HKEY_CURRENT_USER, "Tree", KEY_READ), ERROR_SUCCESS);
  HKEY held = tree.m_hKey;
  RecordingRegistry recorder;
  ASSERT_EQ(tree.DeleteKeyTree("Top"), ERROR_SUCCESS);
  std::string deletions;
  for (const std::string& call : recorder.calls())
    if (call.rfind("DeleteKey(", 0) == 0) deletions += call + " ";
  EXPECT_EQ(deletions,
            "DeleteKey(Leaf) DeleteKey(Leaf2) DeleteKey(Mid) DeleteKey(Side) DeleteKey(Top) ");
  EXPECT_FALSE(Exists("Tree\\Top"));
  EXPECT_EQ(tree.m_hKey, held);

  // A key without subkeys goes at once: one open, one enumeration, the close, the delete.
  MakeTree({"Single"});
  recorder.ClearCalls();
  ASSERT_EQ(tree.DeleteKeyTree("Single"), ERROR_SUCCESS);
  EXPECT_EQ(recorder.Joined(),
            "OpenKeyEx(Single, 0x2001f)\nEnumKeyEx(0)\nCloseKey()\nDeleteKey(Single)");
}

TEST_F(KeyHandleTest, DeleteKeyTreeStopsAtASubkeyThatCannotBeOpened) {
  MakeTree({"Top\\A\\Deep", "Top\\B", "Top\\C"});
  CKeyHandle tree;
  ASSERT_EQ(tree.Open(HKEY_CURRENT_USER, "Tree", KEY_READ), ERROR_SUCCESS);
  {
    RecordingRegistry recorder;
    recorder.FailOperation("OpenKeyEx", "b", ERROR_ACCESS_DENIED);
    EXPECT_EQ(tree.DeleteKeyTree("Top"), ERROR_ACCESS_DENIED);
  }
  EXPECT_FALSE(Exists("Tree\\Top\\A"));
  EXPECT_TRUE(Exists("Tree\\Top\\B"));
  EXPECT_TRUE(Exists("Tree\\Top\\C"));
  EXPECT_TRUE(Exists("Tree\\Top"));

  // A deletion the registry refuses ends it the same way, and every local key is closed.
  {
    RecordingRegistry recorder;
    recorder.FailOperation("DeleteKey", "C", ERROR_ACCESS_DENIED);
    EXPECT_EQ(tree.DeleteKeyTree("Top"), ERROR_ACCESS_DENIED);
    size_t opens = 0, closes = 0;
    for (const std::string& call : recorder.calls()) {
      opens += call.rfind("OpenKeyEx", 0) == 0;
      closes += call == "CloseKey()";
    }
    EXPECT_EQ(opens, closes);
  }
  EXPECT_FALSE(Exists("Tree\\Top\\B"));
  EXPECT_TRUE(Exists("Tree\\Top\\C"));
}

TEST_F(KeyHandleTest, DeleteKeyTreeOnABorrowedRootKeepsTheRootOpen) {
  CKeyHandle created;
  ASSERT_EQ(created.Create(HKEY_CLASSES_ROOT, "Sample.Doc\\Shell\\Open"), ERROR_SUCCESS);
  created.Close();
  CKeyHandle borrowed;
  borrowed.m_hKey = HKEY_CLASSES_ROOT;
  EXPECT_EQ(borrowed.DeleteKeyTree("Sample.Doc"), ERROR_SUCCESS);
  borrowed.m_hKey = nullptr;
  CKeyHandle check;
  EXPECT_EQ(check.Open(HKEY_CLASSES_ROOT, "Sample.Doc", KEY_READ), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(check.Open(HKEY_CLASSES_ROOT, "", KEY_READ), ERROR_SUCCESS);
}

// Subkey names of 255 characters take more than 256 bytes in double-byte and UTF-8 code pages;
// the tree must still go.
TEST_F(KeyHandleTest, DeleteKeyTreeHandlesLongestNamesInWideCodePages) {
  UINT saved = GetACP();
  struct Case {
    UINT codePage;
    std::string character;
  } cases[] = {{65001, "\xE6\x97\xA5"}, {932, "\x93\xFA"}, {1252, "\xE9"}};
  for (const Case& c : cases) {
    ASSERT_TRUE(SetSystemCodePage(c.codePage));
    std::string name;
    for (DWORD i = 0; i < REGISTRY_MAX_KEY_NAME; ++i) name += c.character;
    CKeyHandle key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, ("Tree\\Top\\" + name + "\\Leaf").c_str()), 0);
    key.Close();
    CKeyHandle tree;
    ASSERT_EQ(tree.Open(HKEY_CURRENT_USER, "Tree", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(tree.DeleteKeyTree("Top"), ERROR_SUCCESS) << c.codePage;
    EXPECT_FALSE(Exists("Tree\\Top")) << c.codePage;
  }
  SetSystemCodePage(saved);
}

TEST_F(KeyHandleTest, KeyHasSubkeys) {
  MakeTree({"Parent\\Child", "Leaf"});
  CKeyHandle parent, leaf;
  ASSERT_EQ(parent.Open(HKEY_CURRENT_USER, "Tree\\Parent", KEY_READ), 0);
  ASSERT_EQ(leaf.Open(HKEY_CURRENT_USER, "Tree\\Leaf", KEY_READ), 0);
  MessageCapture messages;
  EXPECT_TRUE(KeyHasSubkeys(parent.m_hKey));
  EXPECT_FALSE(KeyHasSubkeys(leaf.m_hKey));
  EXPECT_EQ(messages.Joined(), "");
  RecordingRegistry recorder;
  recorder.FailOperation("QueryInfoKey", nullptr, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(KeyHasSubkeys(parent.m_hKey));
  EXPECT_EQ(messages.Joined(), "Should not be here!!\n");
}

TEST_F(KeyHandleTest, KeyHasNamedValues) {
  std::string longName(5000, 'n');  // longer than the 4096-byte name buffer
  struct Case {
    const char* what;
    std::vector<const char*> values;
    BOOL expected;
  } cases[] = {
      {"no values", {}, FALSE},
      {"only the default value", {""}, FALSE},
      {"one named value", {"named"}, TRUE},
      {"default and named", {"", "named"}, TRUE},
      {"only value with a name too long for the buffer", {longName.c_str()}, TRUE},
  };
  MessageCapture messages;
  for (const Case& c : cases) {
    CKeyHandle key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, "Values"), 0);
    for (const char* name : c.values) SetValue(key.m_hKey, name);
    EXPECT_EQ(KeyHasNamedValues(key.m_hKey), c.expected) << c.what;
    key.Close();
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Values"), 0);
  }
  EXPECT_EQ(messages.Joined(), "");
}

TEST_F(KeyHandleTest, KeyHasNamedValuesAsksOnlyWhatItNeeds) {
  CKeyHandle key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, "Values"), 0);
  SetValue(key.m_hKey, "one");
  SetValue(key.m_hKey, "two");
  MessageCapture messages;
  {
    RecordingRegistry recorder;
    EXPECT_TRUE(KeyHasNamedValues(key.m_hKey));
    EXPECT_EQ(recorder.Joined(), "QueryInfoKey()");  // two values: no name looked at
  }
  ASSERT_EQ(RegDeleteValueA(key.m_hKey, "two"), 0);
  {
    RecordingRegistry recorder;
    recorder.FailOperation("EnumValue", nullptr, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(KeyHasNamedValues(key.m_hKey));
    EXPECT_EQ(recorder.Joined(), "QueryInfoKey()\nEnumValue(0)");
    EXPECT_EQ(messages.Joined(), "");  // a failed enumeration is not reported
  }
  {
    RecordingRegistry recorder;
    recorder.FailOperation("QueryInfoKey", nullptr, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(KeyHasNamedValues(key.m_hKey));
    EXPECT_EQ(messages.Joined(), "RegQueryInfoKey Failed ");
  }
}

TEST_F(KeyHandleTest, MayForceRemove) {
  struct Case {
    const char* name;
    BOOL expected;
  } cases[] = {{"CLSID", FALSE},   {"clsid", FALSE}, {"TyPeLiB", FALSE},  {"TYPELIB", FALSE},
               {"CLSIDs", TRUE},   {"", TRUE},       {"Interface", TRUE}, {"CLSI", TRUE},
               {"TypeLib2", TRUE}, {"AppID", TRUE}};
  RecordingRegistry recorder;
  for (const Case& c : cases) EXPECT_EQ(MayForceRemove(c.name), c.expected) << c.name;
  EXPECT_EQ(recorder.callCount(), 0u);
  EXPECT_STREQ(NeverDeleteKeys[0], "CLSID");
  EXPECT_STREQ(NeverDeleteKeys[1], "TYPELIB");
}

}  // namespace
