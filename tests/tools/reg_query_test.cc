// keyfold-reg: the command line, and query's output.
#include "tests/tools/reg_tool.h"

namespace {

using tools_Query = RegToolTest;

TEST_F(tools_Query, HelpPrintsUsage) {
  for (const char* help : {"--help", "/?", "-?", "-h"}) {
    RegResult r = Reg({help});
    EXPECT_EQ(r.status, 0) << help;
    EXPECT_NE(r.out.find("Usage: keyfold-reg"), std::string::npos) << help;
    EXPECT_NE(r.out.find("export KEY FILE"), std::string::npos) << help;
  }
  // Help after a verb works too.
  EXPECT_EQ(Reg({"query", "/?"}).status, 0);
}

TEST_F(tools_Query, BadCommandLinesFailWithOneLine) {
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{}, "no command"},
      {{"frob", "HKLM"}, "unknown command"},
      {{"query"}, "needs a key"},
      {{"query", "HKLM\\A", "HKLM\\B"}, "no more"},
      {{"query", "HKLM", "/x"}, "unknown option"},
      {{"query", "HKLM", "/y"}, "does not apply"},
      {{"query", "HKLM", "/v"}, "needs a value"},
      {{"query", "HKLM", "/v", "a", "/ve"}, "only one of"},
      {{"delete", "HKLM\\A", "/ve", "/va"}, "only one of"},
      {{"add", "HKLM\\A", "/d", "x"}, "need /v"},
      {{"add", "HKLM\\A", "/f", "-F"}, "twice"},
      {{"export", "HKLM\\A"}, "a key and a file"},
      {{"import"}, "needs a file"},
      {{"query", "HKXX\\Software"}, "not a root key"},
      {{"query", "\\Software"}, "no root key"},
      {{"query", "HKLM\\Software\\\\Classes"}, "empty key name"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    RegResult r = Reg(c.args);
    EXPECT_EQ(r.status, 1) << shown;
    EXPECT_TRUE(IsOneLine(r.err)) << shown << ": " << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << shown << ": " << r.err;
    EXPECT_EQ(r.out, "") << shown;
  }
}

TEST_F(tools_Query, PrintsEveryTypeInTheCommandLayout) {
  MustReg({"add", "HKLM\\Software\\Q", "/ve", "/d", "default text"});
  MustReg({"add", "HKLM\\Software\\Q", "/v", "Name", "/d", "some text"});
  MustReg({"add", "HKLM\\Software\\Q", "/v", "Count", "/t", "REG_DWORD", "/d", "31"});
  MustReg({"add", "HKLM\\Software\\Q", "/v", "Big", "/t", "reg_qword", "/d", "0x100000000"});
  MustReg({"add", "HKLM\\Software\\Q", "/v", "Bytes", "/t", "REG_BINARY", "/d", "01abFF"});
  MustReg({"add", "HKLM\\Software\\Q", "/v", "Path", "/t", "REG_EXPAND_SZ", "/d", "%HOME%\\x"});
  MustReg({"add", "HKLM\\Software\\Q", "/v", "List", "/t", "REG_MULTI_SZ", "/d", "a\\0bc"});
  MustReg({"add", "HKLM\\Software\\Q", "/v", "Nothing", "/t", "REG_NONE", "/d", "00"});
  MustReg({"add", "HKLM\\Software\\Q", "/v", "Empty"});
  MustReg({"add", "HKLM\\Software\\Q\\Sub"});

  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\Q"}),
            "\n"
            "HKEY_LOCAL_MACHINE\\Software\\Q\n"
            "    (Default)    REG_SZ    default text\n"
            "    Name    REG_SZ    some text\n"
            "    Count    REG_DWORD    0x1f\n"
            "    Big    REG_QWORD    0x100000000\n"
            "    Bytes    REG_BINARY    01ABFF\n"
            "    Path    REG_EXPAND_SZ    %HOME%\\x\n"
            "    List    REG_MULTI_SZ    a\\0bc\n"
            "    Nothing    REG_NONE    00\n"
            "    Empty    REG_SZ    \n"
            "\n"
            "HKEY_LOCAL_MACHINE\\Software\\Q\\Sub\n");
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\Q", "/v", "count"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\Q\n    Count    REG_DWORD    0x1f\n");
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\Q", "-VE"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\Q\n    (Default)    REG_SZ    default text\n");
}

TEST_F(tools_Query, RootNamesShortLongAnyCase) {
  MustReg({"add", "HKLM\\Software\\Classes\\.rgs", "/ve", "/d", "Zed.RegScript"});
  const std::string expected =
      "\nHKEY_LOCAL_MACHINE\\Software\\Classes\\.rgs\n    (Default)    REG_SZ    Zed.RegScript\n";
  for (const char* key : {"HKLM\\Software\\Classes\\.rgs", "hklm\\software\\classes\\.RGS",
                          "HKEY_LOCAL_MACHINE\\Software\\Classes\\.rgs\\",
                          "hkey_local_machine\\Software\\Classes\\.rgs"})
    EXPECT_EQ(MustReg({"query", key}), expected) << key;
  // HKCR is the same tree, printed under the name asked for.
  EXPECT_EQ(MustReg({"query", "hkcr\\.rgs"}),
            "\nHKEY_CLASSES_ROOT\\.rgs\n    (Default)    REG_SZ    Zed.RegScript\n");
  MustReg({"add", "HKEY_CURRENT_USER\\Software\\U", "/v", "x", "/d", "1"});
  EXPECT_EQ(MustReg({"query", "HKCU\\Software\\U"}),
            "\nHKEY_CURRENT_USER\\Software\\U\n    x    REG_SZ    1\n");
}

TEST_F(tools_Query, SubtreeDepthFirstAndValueSearch) {
  MustImport(
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\Software\\T]\n\"v\"=\"top\"\n"
      "[HKEY_LOCAL_MACHINE\\Software\\T\\b]\n"
      "[HKEY_LOCAL_MACHINE\\Software\\T\\a\\deep]\n\"v\"=\"deep\"\n"
      "[HKEY_LOCAL_MACHINE\\Software\\T\\a]\n\"w\"=dword:00000002\n");
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\T", "/s"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\T\n    v    REG_SZ    top\n"
            "\nHKEY_LOCAL_MACHINE\\Software\\T\\a\n    w    REG_DWORD    0x2\n"
            "\nHKEY_LOCAL_MACHINE\\Software\\T\\a\\deep\n    v    REG_SZ    deep\n"
            "\nHKEY_LOCAL_MACHINE\\Software\\T\\b\n");
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\T", "/s", "/v", "v"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\T\n    v    REG_SZ    top\n"
            "\nHKEY_LOCAL_MACHINE\\Software\\T\\a\\deep\n    v    REG_SZ    deep\n");
  RegResult none = Reg({"query", "HKLM\\Software\\T", "/s", "/v", "missing"});
  EXPECT_EQ(none.status, 1);
  EXPECT_NE(none.err.find("\"missing\""), std::string::npos) << none.err;
}

TEST_F(tools_Query, MissingKeyOrValueFails) {
  MustReg({"add", "HKLM\\Software\\Here", "/v", "a", "/d", "1"});
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"query", "HKLM\\Software\\Nowhere"}, "HKEY_LOCAL_MACHINE\\Software\\Nowhere: not found"},
      {{"query", "HKLM\\Software\\Here", "/v", "b"}, "\"b\" is not set"},
      {{"query", "HKLM\\Software\\Here", "/ve"}, "default value is not set"},
  };
  for (const Case& c : cases) {
    RegResult r = Reg(c.args);
    EXPECT_EQ(r.status, 1) << c.says;
    EXPECT_TRUE(IsOneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
