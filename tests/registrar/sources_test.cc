#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "platform/file.h"
#include "platform/memory.h"
#include "platform/module.h"
#include "platform/text.h"
#include "registrar/registrar.h"
#include "registry/registry.h"
#include "tests/support/message_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/temp_store.h"

using namespace std::string_literals;

namespace {

std::u16string W(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Hex(HRESULT hr) {
  char text[16];
  snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(hr));
  return text;
}

// The string value `name` of HKCU\Software\<key>, or "<none>" when the key or value is missing.
std::string UserValue(const std::string& key, const char* name) {
  HKEY hkey = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, ("Software\\" + key).c_str(), 0, KEY_READ, &hkey) != 0)
    return "<none>";
  char data[1024] = {};
  DWORD size = sizeof(data), type = 0;
  LONG rc = RegQueryValueExA(hkey, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(hkey);
  return rc == 0 ? std::string(data) : "<none>";
}

bool UserKeyExists(const std::string& key) {
  HKEY hkey = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, ("Software\\" + key).c_str(), 0, KEY_READ, &hkey) != 0)
    return false;
  RegCloseKey(hkey);
  return true;
}

class SourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSystemCodePage(1252);
    dir = MakeTempDir("sources_test");
    ASSERT_EQ(S_OK, registrar.map.Add(u"Module", u"/opt/it''s/keyfold"));
  }
  void TearDown() override { RemoveTree(dir); }

  // True when the file can be opened without sharing, so nobody holds it any more.
  bool Released(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  }

  TempStore store;
  std::string dir;
  CScriptRegistrar registrar;
};

TEST_F(SourcesTest, AFileIsReadWholeExpandedAndRun) {
  std::string path = dir + "/script.rgs";
  WriteFileBytes(
      path,
      "HKCU\n{\n  NoRemove Software\n  {\n    ForceRemove KfFile\n    {\n"
      "      val Module = s '%Module%'\n      val Path = s 'C:\\\\dir'\n    }\n  }\n}\n");
  MessageCapture capture;
  EXPECT_EQ(S_OK, registrar.RunScriptFile(W(path).c_str(), TRUE));
  EXPECT_EQ("", capture.Joined());
  EXPECT_EQ("/opt/it's/keyfold", UserValue("KfFile", "Module"));
  EXPECT_EQ("C:\\dir", UserValue("KfFile", "Path"));
  EXPECT_TRUE(Released(path));

  EXPECT_EQ(S_OK, registrar.RunScriptFile(W(path).c_str(), FALSE));
  EXPECT_FALSE(UserKeyExists("KfFile"));
}

TEST_F(SourcesTest, TheTextEndsAtTheFilesEndOrItsFirstNul) {
  struct Case {
    std::string bytes;
    const char* key;
  } cases[] = {
      {"", nullptr},
      {"HKCU { NoRemove Software { KfNul } }\0HKCU { not read"s, "KfNul"},
      {"\0HKCU {"s, nullptr},
  };
  for (const Case& c : cases) {
    std::string path = dir + "/part.rgs";
    WriteFileBytes(path, c.bytes);
    MessageCapture capture;
    EXPECT_EQ(S_OK, registrar.RunScriptFile(W(path).c_str(), TRUE)) << c.bytes;
    EXPECT_EQ("", capture.Joined()) << c.bytes;
    if (c.key) {
      EXPECT_TRUE(UserKeyExists(c.key));
    }
  }
}

TEST_F(SourcesTest, FileFailuresReportAndReleaseTheFile) {
  std::string fifo = dir + "/fifo.rgs";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  std::string huge = dir + "/huge.rgs";
  int fd = open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ftruncate(fd, off_t{1} << 30));  // sparse: nothing is written
  close(fd);
  std::string missingName = dir + "/missing_name.rgs";
  WriteFileBytes(missingName, "HKCU { val X = s '%NotInTheMap%' }");
  std::string badSyntax = dir + "/bad.rgs";
  WriteFileBytes(badSyntax, "HKCU NoBrace");
  std::string missing = dir + "/missing.rgs";

  struct Case {
    std::string path;
    HRESULT hr;
    std::string messages;
  } cases[] = {
      {missing, static_cast<HRESULT>(0x80070002), "Cannot open file: " + missing + "\n"},
      {dir, static_cast<HRESULT>(0x80070005), "Cannot open file: " + dir + "\n"},
      {fifo, static_cast<HRESULT>(0x80070032), "Cannot get the size of file: " + fifo + "\n"},
      {"/dev/zero", static_cast<HRESULT>(0x80070032), "Cannot get the size of file: /dev/zero\n"},
      {huge, static_cast<HRESULT>(0x800700DF), "File too large: " + huge + "\n"},
      {missingName, DISP_E_EXCEPTION, "Map Entry not found\n<NotInTheMap> Not found in map\n"},
      {badSyntax, DISP_E_EXCEPTION, "Syntax error, expecting a {, found a NoBrace\n"},
  };
  for (const Case& c : cases) {
    MessageCapture capture;
    EXPECT_EQ(Hex(c.hr), Hex(registrar.RunScriptFile(W(c.path).c_str(), TRUE))) << c.path;
    EXPECT_EQ(c.messages, capture.Joined()) << c.path;
    if (c.path != dir && c.path != missing && c.path != "/dev/zero") {
      EXPECT_TRUE(Released(c.path)) << c.path;
    }
  }
}

TEST_F(SourcesTest, NoMemoryForTheTextIsToldApartFromATooLargeFile) {
  std::string path = dir + "/small.rgs";
  WriteFileBytes(path, "HKCU { 'NotCreated' }");
  MessageCapture capture;
  FailAllocationAt(1);  // the buffer the file is read into
  HRESULT hr = registrar.RunScriptFile(W(path).c_str(), TRUE);
  FailAllocationAt(0);
  EXPECT_EQ(Hex(E_OUTOFMEMORY), Hex(hr));
  EXPECT_EQ("Not enough memory to read file: " + path + "\n", capture.Joined());
  EXPECT_TRUE(Released(path));
  EXPECT_FALSE(UserKeyExists("NotCreated"));
}

TEST_F(SourcesTest, AFileHeldByAnotherOpenerIsRefused) {
  std::string path = dir + "/held.rgs";
  WriteFileBytes(path, "");
  HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  MessageCapture capture;
  EXPECT_EQ(Hex(static_cast<HRESULT>(0x80070020)),
            Hex(registrar.RunScriptFile(W(path).c_str(), TRUE)));
  EXPECT_EQ("Cannot open file: " + path + "\n", capture.Joined());
  CloseHandle(holder);
}

std::string SelfPath() {
  char path[PATH_MAX];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
  return std::string(path, length);
}

// The test program carries tools/resource_pack/testdata/test_module.manifest.
TEST_F(SourcesTest, ResourcesRunByNumberOrByName) {
  std::u16string self = W(SelfPath());
  MessageCapture capture;
  EXPECT_EQ(S_OK,
            registrar.RunScriptResource(self.c_str(), MAKEINTRESOURCEA(129), "REGISTRY", TRUE));
  EXPECT_EQ("/opt/it's/keyfold", UserValue("KeyfoldResourceTest", "Module"));
  EXPECT_EQ(S_OK, registrar.RunScriptResource(self.c_str(), "named.script", "registry", TRUE));
  EXPECT_TRUE(UserKeyExists("KeyfoldNamedTest"));
  // Everything after the NUL in resource 130 would be a syntax error.
  EXPECT_EQ(S_OK,
            registrar.RunScriptResource(self.c_str(), MAKEINTRESOURCEA(130), "REGISTRY", TRUE));
  EXPECT_TRUE(UserKeyExists("KeyfoldNulTest"));
  EXPECT_EQ("", capture.Joined());

  EXPECT_EQ(S_OK,
            registrar.RunScriptResource(self.c_str(), MAKEINTRESOURCEA(129), "REGISTRY", FALSE));
  EXPECT_FALSE(UserKeyExists("KeyfoldResourceTest"));
}

TEST_F(SourcesTest, ResourceFailuresReportTheirStep) {
  std::string self = SelfPath();
  std::string text = dir + "/not_a_module";
  WriteFileBytes(text, "HKCU { }");
  std::string missing = dir + "/missing.so";
  struct Case {
    std::string module;
    LPCSTR id;
    LPCSTR type;
    HRESULT hr;
    std::string messages;
  } cases[] = {
      {self, MAKEINTRESOURCEA(129), "NOPE", static_cast<HRESULT>(0x80070715),
       "Failed to FindResource on ID:129 TYPE:NOPE\n"},
      {self, "Nope", "REGISTRY", static_cast<HRESULT>(0x80070716),
       "Failed to FindResource on ID:Nope TYPE:REGISTRY\n"},
      {self, MAKEINTRESOURCEA(1), RT_VERSION, static_cast<HRESULT>(0x80070715),
       "Failed to FindResource on ID:1 TYPE:#16\n"},
      {missing, MAKEINTRESOURCEA(129), "REGISTRY", static_cast<HRESULT>(0x80070002),
       "Failed to LoadLibrary on " + missing + "\n"},
      {text, MAKEINTRESOURCEA(129), "REGISTRY", static_cast<HRESULT>(0x800700C1),
       "Failed to LoadLibrary on " + text + "\n"},
      {dir, MAKEINTRESOURCEA(129), "REGISTRY", static_cast<HRESULT>(0x80070005),
       "Failed to LoadLibrary on " + dir + "\n"},
      {self, MAKEINTRESOURCEA(132), "REGISTRY", DISP_E_EXCEPTION,
       "Map Entry not found\n<NotInTheMap> Not found in map\n"},
  };
  for (const Case& c : cases) {
    MessageCapture capture;
    EXPECT_EQ(Hex(c.hr), Hex(registrar.RunScriptResource(W(c.module).c_str(), c.id, c.type, TRUE)))
        << c.messages;
    EXPECT_EQ(c.messages, capture.Joined());
  }
}

TEST_F(SourcesTest, AFailedRunStillFreesEverything) {
  // Resource 131 fails inside the run; the sanitizer build reports the module or the expanded
  // text if either is left behind.
  MessageCapture capture;
  EXPECT_EQ(Hex(DISP_E_EXCEPTION),
            Hex(registrar.RunScriptResource(W(SelfPath()).c_str(), MAKEINTRESOURCEA(131),
                                            "REGISTRY", TRUE)));
  EXPECT_NE(std::string::npos, capture.Joined().find("Failed to register, cleaning up!\n"));
  EXPECT_FALSE(UserKeyExists("KeyfoldBadTest"));
}

}  // namespace
