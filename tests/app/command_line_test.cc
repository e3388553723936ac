#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/branch_choice.h"
#include "platform/diagnostics.h"
#include "tests/support/message_capture.h"

namespace {

struct Parsed {
  CScriptCommandLineInfo info;
  BOOL show = 1;
  UINT level = 0;
};

// Parses the arguments (after the program's name) with fresh message globals.
void Parse(const std::vector<const char*>& args, Parsed* out) {
  MessageCapture restore;  // restores the globals afterwards
  g_bShowMessages = 1;
  g_nMessageLevel = 0;
  std::vector<const char*> argv = {"keyfold"};
  argv.insert(argv.end(), args.begin(), args.end());
  ParseCommandLineArgs(static_cast<int>(argv.size()), argv.data(), out->info);
  out->show = g_bShowMessages;
  out->level = g_nMessageLevel;
}

TEST(CommandLineTest, OptionsAndFileName) {
  struct Case {
    std::vector<const char*> args;
    BOOL add, remove, reg, usage, verbose, show;
    UINT level;
    const char* file;
  } cases[] = {
      {{}, 0, 0, 1, 0, 0, 1, 0, ""},
      {{"x.rgs"}, 0, 0, 1, 0, 0, 1, 0, "x.rgs"},
      {{"/u", "x.rgs"}, 0, 0, 0, 0, 0, 1, 0, "x.rgs"},
      {{"/U", "x.rgs"}, 0, 0, 0, 0, 0, 1, 0, "x.rgs"},
      {{"x.rgs", "-u"}, 0, 0, 0, 0, 0, 1, 0, "x.rgs"},   // options after the file name count
      {{"/uv", "x.rgs"}, 0, 0, 1, 0, 0, 1, 0, "x.rgs"},  // one unknown flag, neither u nor v
      {{"/", "-", "//u", "--u"}, 0, 0, 1, 0, 0, 1, 0, ""},
      {{"/s"}, 0, 0, 1, 0, 0, 0, 0, ""},
      {{"/v"}, 0, 0, 1, 0, 1, 1, 5, ""},
      {{"-S", "-V"}, 0, 0, 1, 0, 1, 0, 5, ""},
      {{"/?"}, 0, 0, 1, 1, 0, 1, 0, ""},
      {{"/a", "/r"}, 1, 1, 1, 0, 0, 1, 0, ""},
      {{"/A", "/u", "/u"}, 1, 0, 0, 0, 0, 1, 0, ""},  // repeating an option changes nothing
      {{"first.rgs", "second.rgs"}, 0, 0, 1, 0, 0, 1, 0, "first.rgs"},
      {{"", "next.rgs"}, 0, 0, 1, 0, 0, 1, 0, "next.rgs"},  // an empty argument stores nothing
      {{"-file.rgs"}, 0, 0, 1, 0, 0, 1, 0, ""},             // a leading "-" makes it a flag
      {{"/x.rgs"}, 0, 0, 1, 0, 0, 1, 0, ""},                // no second "/": still a flag
      // Absolute paths: a "/" later than right after the first is a plain argument.
      {{"/home/u/x.rgs", "/u"}, 0, 0, 0, 0, 0, 1, 0, "/home/u/x.rgs"},
      {{"/tmp/a b.rgs"}, 0, 0, 1, 0, 0, 1, 0, "/tmp/a b.rgs"},
      {{"//x/y"}, 0, 0, 1, 0, 0, 1, 0, "//x/y"},
  };
  for (const Case& c : cases) {
    Parsed p;
    Parse(c.args, &p);
    std::string label;
    for (const char* a : c.args) label += std::string("[") + a + "]";
    EXPECT_EQ(c.add, p.info.m_bAddAssociations) << label;
    EXPECT_EQ(c.remove, p.info.m_bRemoveAssociations) << label;
    EXPECT_EQ(c.reg, p.info.m_bRegister) << label;
    EXPECT_EQ(c.usage, p.info.m_bShowUsage) << label;
    EXPECT_EQ(c.verbose, p.info.m_bVerbose) << label;
    EXPECT_EQ(c.show, p.show) << label;
    EXPECT_EQ(c.level, p.level) << label;
    EXPECT_STREQ(c.file, p.info.m_strFileName) << label;
  }
}

TEST(BranchChoiceTest, FixedOrder) {
  struct Case {
    std::vector<const char*> args;
    Branch branch;
  } cases[] = {
      {{}, Branch::kUsage},
      {{"/s"}, Branch::kUsage},
      {{"/u"}, Branch::kUsage},
      {{"/v"}, Branch::kUsage},
      {{"/?", "x.rgs"}, Branch::kUsage},
      {{"x.rgs"}, Branch::kFile},
      {{"/u", "/s", "x.rgs"}, Branch::kFile},
      {{"/a", "/?"}, Branch::kAssociations},
      {{"x.rgs", "/r"}, Branch::kAssociations},
      {{"/r", "/u", "x.rgs", "/?"}, Branch::kAssociations},
  };
  for (const Case& c : cases) {
    Parsed p;
    Parse(c.args, &p);
    std::string label;
    for (const char* a : c.args) label += std::string("[") + a + "]";
    EXPECT_EQ(c.branch, ChooseBranch(p.info)) << label;
  }
}

TEST(UsageTest, TextByteForByteInOneBoxEvenWhenSilent) {
  MessageCapture capture(0, 0);  // /s does not silence the usage box
  ShowUsage();
  ASSERT_EQ(1u, capture.boxes.size());
  EXPECT_EQ(
      "No registry script specified.\n\nUsage: Keyfold [[/u] [/s] [/v] filename] [/a] [/r]\n/u   "
      "-  Unregister Script\n/s   -  Silent; no message boxes\n/v   -  Verbose mode\n/a   -  Add "
      "associations - filename ignored\n/r   -  Remove associations - filename ignored\n",
      capture.boxes[0]);
}

}  // namespace
