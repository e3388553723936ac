// The keyfold program end to end: each test runs the built binary against a fresh store in a
// temporary directory and reads the outcome from its transcript and from the store.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text.h"
#include "registry/registry.h"
#include "registry/store.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_store.h"

namespace {

const char kUsage[] =
    "No registry script specified.\n\nUsage: Keyfold [[/u] [/s] [/v] filename] [/a] [/r]\n/u   -"
    "  Unregister Script\n/s   -  Silent; no message boxes\n/v   -  Verbose mode\n/a   -  Add "
    "associations - filename ignored\n/r   -  Remove associations - filename ignored\n";

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

class KeyfoldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSystemCodePage(65001);
    m_work = RealPath(MakeTempDir("keyfold-e2e"));
  }
  void TearDown() override { RemoveTree(m_work); }

  // Runs keyfold with the arguments in the work directory, against the test's store.
  ProgramResult Run(const std::vector<std::string>& args,
                    const std::string& program = KEYFOLD_BIN) {
    CloseRegistryStore();
    ProgramRun run;
    run.program = program;
    run.args = args;
    run.workingDirectory = m_work;
    run.env = {{"KEYFOLD_REGISTRY", m_store.path()}, {"LC_ALL", "C.UTF-8"}};
    run.transcript = m_work + "/transcript.jsonl";
    ProgramResult result = RunProgram(run);
    EXPECT_EQ(0, result.exitStatus) << result.output;
    return result;
  }

  std::string Write(const std::string& name, const std::string& text) {
    std::string path = m_work + "/" + name;
    WriteFileBytes(path, text);
    return path;
  }

  // The default (or named) string value of a key, or "<missing>" when the key or value is absent.
  std::string Value(HKEY root, const std::string& path, const char* name = nullptr) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
    char data[8192];
    DWORD size = sizeof(data);
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return "<missing>";
    return std::string(data, size > 0 && data[size - 1] == '\0' ? size - 1 : size);
  }

  bool Exists(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }

  TempStore m_store;
  std::string m_work;
};

TEST_F(KeyfoldTest, UsageBoxForEveryCommandLineWithoutAScript) {
  std::vector<std::vector<std::string>> cases = {{}, {"/s"}, {"/u"}, {"/v"}, {"/?", "x.rgs"}};
  Write("x.rgs", "HKCU { 'ShouldNotExist' }");
  for (const auto& args : cases) {
    ProgramResult result = Run(args);
    ASSERT_EQ(1u, result.boxes.size()) << result.output;
    EXPECT_EQ(kUsage, result.boxes[0]);
    EXPECT_EQ("keyfold", result.titles[0]);
  }
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "ShouldNotExist"));
}

TEST_F(KeyfoldTest, RegistersAndUnregistersARelativeFile) {
  Write("app.rgs", "HKCU\n{\n  'Keyfold.Test' = s '%Module%'\n  {\n    val Count = d 7\n  }\n}\n");
  std::string full = m_work + "/app.rgs";
  ProgramResult added = Run({"app.rgs"});
  ASSERT_EQ(1u, added.boxes.size()) << added.output;
  EXPECT_EQ("Script <" + full + "> added to registry successfully.", added.boxes[0]);
  EXPECT_EQ(full, Value(HKEY_CURRENT_USER, "Keyfold.Test"));

  ProgramResult removed = Run({"/u", "./sub/../app.rgs"});
  ASSERT_EQ(1u, removed.boxes.size()) << removed.output;
  EXPECT_EQ("Script <" + full + "> removed from registry successfully.", removed.boxes[0]);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Keyfold.Test"));
}

TEST_F(KeyfoldTest, AbsoluteFileNameAndOptionsAfterIt) {
  std::string path = Write("abs.rgs", "HKLM { 'Software' { 'KeyfoldAbs' = s 'x' } }");
  ProgramResult result = Run({path, "/v"});
  ASSERT_FALSE(result.boxes.empty());
  EXPECT_EQ("Script <" + path + "> added to registry successfully.", result.boxes.back());
  // /v shows the progress messages before the outcome.
  bool created = false;
  for (const std::string& box : result.boxes) created |= box == "Creating key KeyfoldAbs\n";
  EXPECT_TRUE(created) << result.output;
  EXPECT_EQ("x", Value(HKEY_LOCAL_MACHINE, "Software\\KeyfoldAbs"));
}

TEST_F(KeyfoldTest, SilentRunsShowNoBoxEitherWay) {
  Write("good.rgs", "HKCU { 'Silent.Good' }");
  Write("bad.rgs", "HKXX { 'Silent.Bad' }");
  EXPECT_TRUE(Run({"/s", "good.rgs"}).boxes.empty());
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "Silent.Good"));
  EXPECT_TRUE(Run({"bad.rgs", "/s", "/v"}).boxes.empty());
}

TEST_F(KeyfoldTest, FailuresAreReportedThenTheErrorBox) {
  std::string full = m_work;
  ProgramResult missing = Run({"missing.rgs"});
  ASSERT_EQ(2u, missing.boxes.size()) << missing.output;
  EXPECT_EQ("Cannot open file: " + full + "/missing.rgs\n", missing.boxes[0]);
  EXPECT_EQ("Errors in running script <" + full + "/missing.rgs>.", missing.boxes[1]);

  Write("unknown-root.rgs", "HKXX { }");
  ProgramResult unknown = Run({"unknown-root.rgs"});
  ASSERT_EQ(2u, unknown.boxes.size()) << unknown.output;
  EXPECT_EQ("HKeyFromString failed on HKXX\n", unknown.boxes[0]);
  EXPECT_EQ("Errors in running script <" + full + "/unknown-root.rgs>.", unknown.boxes[1]);
}

TEST_F(KeyfoldTest, FileHeldWithoutSharingCannotBeOpened) {
  std::string path = Write("held.rgs", "HKCU { 'Held' }");
  int fd = open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, flock(fd, LOCK_EX | LOCK_NB));
  ProgramResult result = Run({"held.rgs"});
  close(fd);
  ASSERT_EQ(2u, result.boxes.size()) << result.output;
  EXPECT_EQ("Cannot open file: " + path + "\n", result.boxes[0]);
  EXPECT_EQ("Errors in running script <" + path + ">.", result.boxes[1]);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Held"));
}

TEST_F(KeyfoldTest, ModuleKeepsQuotesAndPercentSignsOfThePath) {
  struct Case {
    const char* file;
  } cases[] = {{"it's.rgs"}, {"100%.rgs"}, {"a''b %Module% c.rgs"}};
  for (const Case& c : cases) {
    std::string path = Write(c.file, "HKCU { 'PathValue' = s '%Module%' }");
    ProgramResult result = Run({c.file});
    ASSERT_EQ(1u, result.boxes.size()) << c.file << result.output;
    EXPECT_EQ("Script <" + path + "> added to registry successfully.", result.boxes[0]);
    EXPECT_EQ(path, Value(HKEY_CURRENT_USER, "PathValue")) << c.file;
  }
}

// The keys /a writes under HKLM\Software\Classes, with their default values.
std::vector<std::pair<std::string, std::string>> AssociationKeys(const std::string& program) {
  return {
      {".rgs", "Zed.RegScript"},
      {"Zed.RegScript", "<missing>"},
      {"Zed.RegScript\\DefaultIcon", program},
      {"Zed.RegScript\\Shell", "<missing>"},
      {"Zed.RegScript\\Shell\\Register", "<missing>"},
      {"Zed.RegScript\\Shell\\Register\\Command", program + " \"%1\""},
      {"Zed.RegScript\\Shell\\Remove", "<missing>"},
      {"Zed.RegScript\\Shell\\Remove\\Command", program + " /u \"%1\""},
      {"Zed.RegScript\\Shell\\Edit with Notepad", "<missing>"},
      {"Zed.RegScript\\Shell\\Edit with Notepad\\Command", "notepad \"%1\""},
  };
}

TEST_F(KeyfoldTest, AddAssociationsTwiceThenRemove) {
  std::string program = RealPath(KEYFOLD_BIN);
  for (int round = 0; round < 2; ++round) {
    ProgramResult result = Run({"/a"});
    ASSERT_EQ(1u, result.boxes.size()) << result.output;
    EXPECT_EQ("Keyfold extensions installed", result.boxes[0]);
  }
  for (const auto& [path, value] : AssociationKeys(program)) {
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + path)) << path;
    EXPECT_EQ(value, Value(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + path)) << path;
    EXPECT_EQ(value, Value(HKEY_CLASSES_ROOT, path)) << path;  // one tree, two names
  }
  ProgramResult removed = Run({"/r"});
  ASSERT_EQ(1u, removed.boxes.size()) << removed.output;
  EXPECT_EQ("Keyfold extensions removed", removed.boxes[0]);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, ".rgs"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "Zed.RegScript"));
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Classes"));
}

TEST_F(KeyfoldTest, RemoveWhenNotInstalledSucceeds) {
  ProgramResult result = Run({"/r", "/u"});
  ASSERT_EQ(1u, result.boxes.size()) << result.output;
  EXPECT_EQ("Keyfold extensions removed", result.boxes[0]);
}

TEST_F(KeyfoldTest, AddWinsOverRemoveAndSilentStillShowsTheOutcome) {
  ProgramResult both = Run({"/r", "/a", "ignored.rgs"});
  ASSERT_EQ(1u, both.boxes.size()) << both.output;
  EXPECT_EQ("Keyfold extensions installed", both.boxes[0]);
  ProgramResult silent = Run({"/s", "/a"});
  ASSERT_EQ(1u, silent.boxes.size()) << silent.output;
  EXPECT_EQ("Keyfold extensions installed", silent.boxes[0]);
}

TEST_F(KeyfoldTest, VerboseRemoveDeletesInOrderAndKeepsForeignKeys) {
  ASSERT_EQ(1u, Run({"/a"}).boxes.size());
  // Something else has added a verb to the file type and a file type of its own.
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, "Zed.RegScript\\Shell\\Print", 0,
                                           nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, ".txt", 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
  RegCloseKey(key);
  CommitRegistry();

  ProgramResult result = Run({"/r", "/v"});
  std::vector<std::string> deletions;
  for (const std::string& box : result.boxes)
    if (box.rfind("Deleting Key ", 0) == 0) deletions.push_back(box);
  std::vector<std::string> expected = {
      "Deleting Key .rgs\n",     "Deleting Key DefaultIcon\n",      "Deleting Key Command\n",
      "Deleting Key Register\n", "Deleting Key Command\n",          "Deleting Key Remove\n",
      "Deleting Key Command\n",  "Deleting Key Edit with Notepad\n"};
  EXPECT_EQ(expected, deletions) << result.output;
  ASSERT_FALSE(result.boxes.empty());
  EXPECT_EQ("Keyfold extensions removed", result.boxes.back());
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, "Zed.RegScript\\Shell\\Print"));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, ".txt"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "Zed.RegScript\\DefaultIcon"));
}

TEST_F(KeyfoldTest, ProgramPathWithAQuoteReachesTheRegistryOnce) {
  std::string dir = m_work + "/it's here";
  ASSERT_EQ(
      0,
      system(("mkdir -p \"" + dir + "\" && cp " KEYFOLD_BIN " \"" + dir + "/keyfold\"").c_str()));
  std::string program = dir + "/keyfold";
  ProgramResult result = Run({"/a"}, program);
  ASSERT_EQ(1u, result.boxes.size()) << result.output;
  EXPECT_EQ("Keyfold extensions installed", result.boxes[0]);
  EXPECT_EQ(program, Value(HKEY_CLASSES_ROOT, "Zed.RegScript\\DefaultIcon"));
  EXPECT_EQ(program + " /u \"%1\"",
            Value(HKEY_CLASSES_ROOT, "Zed.RegScript\\Shell\\Remove\\Command"));
}

TEST_F(KeyfoldTest, RunWhoseChangesCannotBeSavedIsNoSuccess) {
  // A store that exists already, then a run whose commit cannot be written: the file size limit
  // stops the journal from growing (and the signal for it is ignored, so the write just fails).
  Write("small.rgs", "HKCU { 'Small' }");
  ASSERT_EQ(1u, Run({"small.rgs"}).boxes.size());
  std::string script = "HKCU\n{\n  Big\n  {\n";
  for (int i = 0; i < 300; ++i)
    script += "    val V" + std::to_string(i) + " = b '" + std::string(3000, 'A') + "'\n";
  script += "  }\n}\n";
  std::string path = Write("big.rgs", script);
  ProgramResult result = Run({"-c", "trap '' XFSZ; ulimit -f 128; exec \"$0\" \"$@\"",
                              KEYFOLD_BIN, "big.rgs"},
                             "/bin/bash");
  ASSERT_EQ(2u, result.boxes.size()) << result.output;
  EXPECT_EQ(0u, result.boxes[0].rfind("Cannot save the registry changes (error ", 0));
  EXPECT_EQ("Errors in running script <" + path + ">.", result.boxes[1]);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Big"));
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "Small"));
}

TEST_F(KeyfoldTest, ExamplesRegisterAndUnregisterCleanly) {
  const char* source = KEYFOLD_SOURCE_ROOT;
  for (const char* name : {"inproc-server.rgs", "file-type.rgs", "user-setting.rgs"}) {
    std::string path = std::string(source) + "/examples/" + name;
    ProgramResult added = Run({path});
    ASSERT_EQ(1u, added.boxes.size()) << name << added.output;
    EXPECT_EQ("Script <" + path + "> added to registry successfully.", added.boxes[0]);
    ProgramResult removed = Run({"/u", path});
    ASSERT_EQ(1u, removed.boxes.size()) << name << removed.output;
    EXPECT_EQ("Script <" + path + "> removed from registry successfully.", removed.boxes[0]);
  }
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "Keyfold.Sample"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "CLSID\\{6C1E5A44-7D0B-4C52-9B1D-3F4A7E2B9C10}"));
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, ".kfnote"));
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Software\\Keyfold"));
}

}  // namespace
