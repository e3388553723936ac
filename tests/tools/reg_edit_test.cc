// keyfold-reg add and delete: what they change, and that a refused or failed command changes
// nothing.
#include "tests/tools/reg_tool.h"

namespace {

using tools_Edit = RegToolTest;

TEST_F(tools_Edit, AddCreatesParentsAndUnicodeNames) {
  MustReg({"add", "HKLM\\Software\\A\\B\\C"});
  MustReg({"add", "HKLM\\Software\\Ünïcode ключ", "/v", "名前", "/d", "データ ✓"});
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\A\\B"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\A\\B\n\nHKEY_LOCAL_MACHINE\\Software\\A\\B\\C\n");
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\ünïcode КЛЮЧ"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\Ünïcode ключ\n    名前    REG_SZ    データ ✓\n");
}

TEST_F(tools_Edit, BadDataIsRefusedBeforeAnythingIsCreated) {
  struct Case {
    const char* type;
    const char* data;
    const char* says;
  };
  const Case cases[] = {
      {"REG_DWORD", "abc", "not a 32-bit"},
      {"REG_DWORD", "4294967296", "not a 32-bit"},
      {"REG_DWORD", "-1", "not a 32-bit"},
      {"REG_DWORD", "", "not a 32-bit"},
      {"REG_QWORD", "0x10000000000000000", "not a 64-bit"},
      {"REG_BINARY", "abc", "two digits"},
      {"REG_BINARY", "zz", "not hex"},
      {"REG_MULTI_SZ", "a\\0\\0b", "empty string"},
      {"REG_FOO", "1", "not a type"},
      {"REG_LINK", "1", "not a type"},
  };
  for (const Case& c : cases) {
    RegResult r = Reg({"add", "HKLM\\Software\\Bad", "/v", "x", "/t", c.type, "/d", c.data});
    EXPECT_EQ(r.status, 1) << c.type << " " << c.data;
    EXPECT_TRUE(IsOneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.type << " " << c.data << ": " << r.err;
  }
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Bad"}).status, 1);
}

TEST_F(tools_Edit, NumbersAtTheirLimits) {
  MustReg({"add", "HKLM\\Software\\N", "/v", "d", "/t", "REG_DWORD", "/d", "4294967295"});
  MustReg({"add", "HKLM\\Software\\N", "/v", "h", "/t", "REG_DWORD", "/d", "0XFFFFFFFF"});
  MustReg({"add", "HKLM\\Software\\N", "/v", "q", "/t", "REG_QWORD", "/d", "18446744073709551615"});
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\N"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\N\n"
            "    d    REG_DWORD    0xffffffff\n"
            "    h    REG_DWORD    0xffffffff\n"
            "    q    REG_QWORD    0xffffffffffffffff\n");
}

TEST_F(tools_Edit, ExistingValueIsReplacedOnlyWithForce) {
  MustReg({"add", "HKLM\\Software\\F", "/v", "x", "/d", "old"});
  RegResult refused = Reg({"add", "HKLM\\Software\\F", "/v", "X", "/d", "new"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("/f"), std::string::npos) << refused.err;
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\F", "/v", "x"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\F\n    x    REG_SZ    old\n");
  MustReg({"add", "HKLM\\Software\\F", "/v", "X", "/t", "REG_DWORD", "/d", "7", "/F"});
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\F", "/v", "x"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\F\n    x    REG_DWORD    0x7\n");
}

class tools_Delete : public RegToolTest {
 protected:
  void SetUp() override {
    MustImport(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\D]\n@=\"def\"\n\"a\"=\"1\"\n\"b\"=\"2\"\n"
        "[HKEY_LOCAL_MACHINE\\Software\\D\\Sub\\Deeper]\n\"c\"=\"3\"\n");
  }
  std::string Tree() const { return MustReg({"query", "HKLM\\Software\\D", "/s"}); }
};

TEST_F(tools_Delete, ValuesAndKeys) {
  MustReg({"delete", "HKLM\\Software\\D", "/v", "A", "/f"});
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\D"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\D\n    (Default)    REG_SZ    def\n"
            "    b    REG_SZ    2\n\nHKEY_LOCAL_MACHINE\\Software\\D\\Sub\n");
  MustReg({"delete", "HKLM\\Software\\D", "/ve", "/f"});
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\D", "/ve"}).status, 1);
  MustReg({"delete", "HKLM\\Software\\D\\Sub\\Deeper", "/va", "/f"});
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\D\\Sub\\Deeper"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\D\\Sub\\Deeper\n");
  MustReg({"add", "HKLM\\Software\\D\\Sub\\Deeper", "/v", "c", "/d", "3"});
  // /va removes values only; subkeys stay.
  MustReg({"delete", "HKLM\\Software\\D", "/va", "/f"});
  EXPECT_EQ(Tree(),
            "\nHKEY_LOCAL_MACHINE\\Software\\D\n\nHKEY_LOCAL_MACHINE\\Software\\D\\Sub\n"
            "\nHKEY_LOCAL_MACHINE\\Software\\D\\Sub\\Deeper\n    c    REG_SZ    3\n");
  MustReg({"delete", "hklm\\software\\d", "/f"});
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\D"}).status, 1);
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\D\\Sub\\Deeper"}).status, 1);
  EXPECT_EQ(Reg({"query", "HKLM\\Software"}).status, 0);
}

TEST_F(tools_Delete, RefusedOrFailedDeletionChangesNothing) {
  const std::string before = Tree();
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      // No terminal to ask on: /f is required.
      {{"delete", "HKLM\\Software\\D"}, "/f"},
      {{"delete", "HKLM\\Software\\D", "/v", "a"}, "/f"},
      {{"delete", "HKLM\\Software\\D", "/va"}, "/f"},
      {{"delete", "HKLM\\Software\\Nowhere", "/f"}, "not found"},
      {{"delete", "HKLM\\Software\\D", "/v", "zz", "/f"}, "\"zz\""},
      {{"delete", "HKLM", "/f"}, "root key"},
  };
  for (const Case& c : cases) {
    RegResult r = Reg(c.args);
    EXPECT_EQ(r.status, 1) << c.says;
    EXPECT_TRUE(IsOneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(Tree(), before) << c.says;
  }
}

TEST_F(tools_Delete, RefusedBaseKeyKeepsWhatWasDeletedBeforeIt) {
  // The store never deletes HKLM\Software; AAA, removed before the base key Classes is
  // reached, comes back, since a failed command drops its transaction.
  MustReg({"add", "HKLM\\Software\\AAA\\x", "/v", "keep", "/d", "me"});
  RegResult r = Reg({"delete", "HKLM\\Software", "/f"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("access denied"), std::string::npos) << r.err;
  EXPECT_EQ(Tree(),
            "\nHKEY_LOCAL_MACHINE\\Software\\D\n    (Default)    REG_SZ    def\n"
            "    a    REG_SZ    1\n    b    REG_SZ    2\n"
            "\nHKEY_LOCAL_MACHINE\\Software\\D\\Sub\n"
            "\nHKEY_LOCAL_MACHINE\\Software\\D\\Sub\\Deeper\n    c    REG_SZ    3\n");
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\AAA\\x"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\AAA\\x\n    keep    REG_SZ    me\n");
  EXPECT_EQ(Reg({"query", "HKLM\\Software\\Classes"}).status, 0);
}

}  // namespace
