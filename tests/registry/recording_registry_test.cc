// The recording wrapper other tests rely on: its lines, its failures and its installation.
#include "tests/support/recording_registry.h"

#include <gtest/gtest.h>

#include "tests/support/temp_store.h"

namespace {

TEST(RecordingRegistryTest, RecordsEveryOperationAsALine) {
  TempStore store;
  RecordingRegistry recorder;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Sample.Doc", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            0);
  DWORD number = 1, count = 0, size = 4;
  char name[32];
  DWORD length = sizeof name;
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
  RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
  RegSetValueExA(key, "b", 0, REG_BINARY, nullptr, 0);
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
  RegEnumValueA(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr);
  length = sizeof name;
  RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
  RegQueryValueExA(key, "n", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size);
  RegDeleteValueA(key, "");
  RegCloseKey(key);
  RegOpenKeyExA(HKEY_CURRENT_USER, "Sample.Doc", 0, KEY_READ, &key);
  RegCloseKey(key);
  RegDeleteKeyA(HKEY_CURRENT_USER, "Sample.Doc");
  EXPECT_EQ(recorder.Joined(),
            "CreateKeyEx(Sample.Doc, 0xf003f)\n"
            "SetValueEx(default, REG_SZ)\n"
            "SetValueEx(n, REG_DWORD)\n"
            "SetValueEx(b, REG_BINARY)\n"
            "QueryInfoKey()\n"
            "EnumValue(1)\n"
            "EnumKeyEx(0)\n"
            "QueryValueEx(n)\n"
            "DeleteValue(default)\n"
            "CloseKey()\n"
            "OpenKeyEx(Sample.Doc, 0x20019)\n"
            "CloseKey()\n"
            "DeleteKey(Sample.Doc)");
  EXPECT_EQ(recorder.callCount(), 13u);
}

TEST(RecordingRegistryTest, FailsChosenCallsAndForwardsTheRest) {
  TempStore store;
  HKEY key = nullptr;
  {
    RecordingRegistry recorder;
    recorder.FailCall(2, ERROR_ACCESS_DENIED);
    recorder.FailOperation("OpenKeyEx", "SAMPLE", ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Sample", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    HKEY other = reinterpret_cast<HKEY>(uintptr_t{99});
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &other, nullptr),
              ERROR_ACCESS_DENIED);  // the second call
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "sample", 0, KEY_READ, &other), ERROR_BADDB);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Samples", 0, KEY_READ, &other),
              ERROR_FILE_NOT_FOUND);  // not the name: forwarded to the store
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  }
  // Uninstalled: calls reach the store again, and the refused creation never happened.
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Sample", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Other", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(&CurrentRegistryApi(), &StoreRegistryApi());
}

TEST(RecordingRegistryTest, NestsOverAnotherWrapper) {
  TempStore store;
  RecordingRegistry outer;
  outer.FailOperation("DeleteKey", nullptr, ERROR_ACCESS_DENIED);
  {
    RecordingRegistry inner;
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(inner.Joined(), "DeleteKey(x)");
  }
  EXPECT_EQ(&CurrentRegistryApi(), static_cast<RegistryApi*>(&outer));
  EXPECT_EQ(outer.Joined(), "DeleteKey(x)");
}

}  // namespace
