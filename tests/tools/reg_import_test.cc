// keyfold-reg import: both header forms and encodings, comments, continuations, deletions, and
// all-or-nothing application.
#include "tests/tools/reg_tool.h"

namespace {

std::string Utf16Le(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (char c : ascii) bytes += std::string(1, c) + '\0';
  return bytes;
}

class tools_Import : public RegToolTest {
 protected:
  void SetUp() override {
    MustReg({"add", "HKLM\\Software\\Old", "/v", "stay", "/d", "here"});
    MustReg({"add", "HKLM\\Software\\Old\\Child"});
  }
  std::string Tree(const char* key) const { return MustReg({"query", key, "/s"}); }
};

TEST_F(tools_Import, Version5WithCommentsContinuationsAndDeletions) {
  std::string file = Path("v5.reg");
  WriteFileBytes(file,
                 "Windows Registry Editor Version 5.00\r\n"
                 "\r\n"
                 "; a comment\r\n"
                 "[HKEY_LOCAL_MACHINE\\Software\\New]\r\n"
                 "@=\"default\"\r\n"
                 "\"str\" = \"a \\\"quoted\\\" \\\\ text\" ; trailing comment\r\n"
                 "\"num\"=dword:1F\r\n"
                 "\"bin\"=hex:01,02,\\\r\n"
                 "  03,04\r\n"
                 "\"exp\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                 "\"multi\"=hex(7):78,00,00,00,79,00,00,00,00,00\r\n"
                 "\"gone\"=\"soon\"\r\n"
                 "\"gone\"=-\r\n"
                 "\"never-there\"=-\r\n"
                 "\r\n"
                 "[-HKEY_LOCAL_MACHINE\\Software\\Old]\r\n"
                 "[-HKEY_LOCAL_MACHINE\\Software\\Never\\There]\r\n");
  MustReg({"import", file});
  EXPECT_EQ(Tree("HKLM\\Software\\New"),
            "\nHKEY_LOCAL_MACHINE\\Software\\New\n"
            "    (Default)    REG_SZ    default\n"
            "    str    REG_SZ    a \"quoted\" \\ text\n"
            "    num    REG_DWORD    0x1f\n"
            "    bin    REG_BINARY    01020304\n"
            "    exp    REG_EXPAND_SZ    %A%\n"
            "    multi    REG_MULTI_SZ    x\\0y\n");
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Old"}).status, 1);
}

TEST_F(tools_Import, Regedit4AndUtf16) {
  // REGEDIT4 files hold string types in hex form as narrow text.
  std::string v4 = Path("v4.reg");
  WriteFileBytes(v4,
                 "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Four]\n\"e\"=hex(2):25,41,25,00\n"
                 "\"s\"=\"\xC3\xA9t\xC3\xA9\"\n");
  MustReg({"import", v4});
  EXPECT_EQ(Tree("HKCU\\Software\\Four"),
            "\nHKEY_CURRENT_USER\\Software\\Four\n    e    REG_EXPAND_SZ    %A%\n"
            "    s    REG_SZ    \xC3\xA9t\xC3\xA9\n");

  std::string v16 = Path("v16.reg");
  WriteFileBytes(v16, Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n"
                              "[HKEY_CLASSES_ROOT\\.sixteen]\r\n@=\"wide\"\r\n"));
  MustReg({"import", v16});
  EXPECT_EQ(Tree("HKLM\\Software\\Classes\\.sixteen"),
            "\nHKEY_LOCAL_MACHINE\\Software\\Classes\\.sixteen\n    (Default)    REG_SZ    wide\n");
  // Standard input stands in for "-".
  MustReg({"import", "-"}, "REGEDIT4\n[HKLM\\Software\\FromStdin]\n\"x\"=\"y\"\n");
  EXPECT_EQ(Tree("HKLM\\Software\\FromStdin"),
            "\nHKEY_LOCAL_MACHINE\\Software\\FromStdin\n    x    REG_SZ    y\n");
}

TEST_F(tools_Import, BadLineInTheMiddleChangesNothing) {
  const std::string before = Tree("HKLM\\Software");
  struct Case {
    const char* badLine;
    const char* says;
  };
  const Case cases[] = {
      {"\"x\"=dword:123456789", "dword"},
      {"\"x\"=dword:", "dword"},
      {"\"x\"=hex:01,,02", "hex byte"},
      {"\"x\"=hex:01,zz", "hex byte"},
      {"\"x\"=hex(7):41", "even number"},
      {"\"x\"=hex(q):00", "type number"},
      {"\"x\"=\"no end", "closing quote"},
      {"\"x\"=\"bad \\n escape\"", "unknown escape"},
      {"\"x\"=\"a\" junk", "after the value"},
      {"\"x\"=str:abc", "after \"=\""},
      {"\"x\" \"y\"", "\"=\""},
      {"[HKEY_LOCAL_MACHINE\\Software\\Unclosed", "end with \"]\""},
      {"[HKEY_NOWHERE\\Software]", "not a root key"},
      {"[-HKEY_LOCAL_MACHINE]", "root key"},
      {"stray text", "expected a [key]"},
      {"\"\xFF\"=\"\"", "UTF-8"},
  };
  for (const Case& c : cases) {
    std::string file = Path("bad.reg");
    WriteFileBytes(file, std::string("Windows Registry Editor Version 5.00\n\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\Partial]\n"
                                     "\"first\"=\"applied?\"\n"
                                     "[-HKEY_LOCAL_MACHINE\\Software\\Old]\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\Partial]\n") +
                             c.badLine + "\n\"last\"=\"x\"\n");
    RegResult r = Reg({"import", file});
    EXPECT_EQ(r.status, 1) << c.badLine;
    EXPECT_TRUE(IsOneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find(file + ", line 7: "), std::string::npos) << c.badLine << ": " << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.badLine << ": " << r.err;
    EXPECT_EQ(Tree("HKLM\\Software"), before) << c.badLine;
  }
}

TEST_F(tools_Import, BadFilesAndHeaders) {
  struct Case {
    std::string bytes;
    const char* says;
  };
  const Case cases[] = {
      {"", "empty"},
      {"[HKEY_LOCAL_MACHINE\\Software\\X]\n", "line 1: expected \"Windows Registry Editor"},
      {"Windows Registry Editor Version 4.00\n", "line 1"},
      {"REGEDIT4\n\"v\"=\"outside\"\n", "line 2: a value line must follow a [key]"},
      {"REGEDIT4\n[-HKLM\\Software\\Old]\n\"v\"=\"x\"\n", "line 3: a value line must follow"},
      {"\xFE\xFF\0R", "big-endian"},
      {"\xFF\xFE"
       "R",
       "odd number"},
  };
  const std::string before = Tree("HKLM\\Software");
  for (const Case& c : cases) {
    std::string file = Path("bad.reg");
    WriteFileBytes(file, c.bytes);
    RegResult r = Reg({"import", file});
    EXPECT_EQ(r.status, 1) << c.says;
    EXPECT_TRUE(IsOneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  EXPECT_EQ(Tree("HKLM\\Software"), before);
  RegResult missing = Reg({"import", Path("absent.reg")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("absent.reg"), std::string::npos) << missing.err;
}

TEST_F(tools_Import, FailureWhileApplyingDropsEverything) {
  // Every line parses, but the store refuses to delete a base key: what came before is undone.
  const std::string before = Tree("HKLM\\Software");
  std::string file = Path("refused.reg");
  WriteFileBytes(file,
                 "Windows Registry Editor Version 5.00\n\n"
                 "[HKEY_LOCAL_MACHINE\\Software\\Partial]\n\"first\"=\"x\"\n"
                 "[-HKEY_LOCAL_MACHINE\\Software\\Old]\n"
                 "[-HKEY_LOCAL_MACHINE\\Software\\Classes]\n");
  RegResult r = Reg({"import", file});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(IsOneLine(r.err)) << r.err;
  EXPECT_NE(r.err.find(file + ", line 6: cannot delete key HKEY_LOCAL_MACHINE\\Software\\Classes"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Tree("HKLM\\Software"), before);
}

}  // namespace
