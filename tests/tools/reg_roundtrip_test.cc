// keyfold-reg: export, import into a fresh store and export again gives the same file; and a
// store the user may not write stays readable and unchanged.
#include <sys/stat.h>

#include "tests/tools/reg_tool.h"

namespace {

class tools_RoundTrip : public RegToolTest {
 protected:
  // A varied tree: every type, Unicode names and data, empty strings, a long binary value,
  // a deep key, names that need escaping, and string data the quoted form cannot carry.
  void Fill() const {
    const std::string k = "HKLM\\Software\\Trip";
    MustReg({"add", k, "/ve", "/d", ""});
    MustReg({"add", k, "/v", "", "/d", "", "/f"});
    MustReg({"add", k, "/v", "back\\slash \"quoted\" =;[]@", "/d", "C:\\Program Files\\\"x\"\\"});
    MustReg({"add", k, "/v", "Grüße 日本", "/d", "Ωmega ✓ 😀"});
    MustReg({"add", k, "/v", "two lines", "/d", "first\nsecond\r\n"});
    MustReg({"add", k, "/v", "dw", "/t", "REG_DWORD", "/d", "0xdeadbeef"});
    MustReg({"add", k, "/v", "qw", "/t", "REG_QWORD", "/d", "0x0123456789abcdef"});
    MustReg({"add", k, "/v", "exp", "/t", "REG_EXPAND_SZ", "/d", "%PATH%;ü"});
    MustReg({"add", k, "/v", "multi", "/t", "REG_MULTI_SZ", "/d", "один\\0two\\0three"});
    MustReg({"add", k, "/v", "emptymulti", "/t", "REG_MULTI_SZ"});
    MustReg({"add", k, "/v", "none", "/t", "REG_NONE", "/d", "00ff"});
    std::string bin;
    for (int i = 0; i < 1000; ++i)
      bin += "0123456789abcdef"[(i * 7) % 16], bin += "fedcba9876543210"[i % 16];
    MustReg({"add", k, "/v", "long binary", "/t", "REG_BINARY", "/d", bin});
    std::string deep = k;
    for (int level = 0; level < 40; ++level) deep += "\\level " + std::to_string(level);
    MustReg({"add", deep, "/v", "bottom", "/d", "reached"});
    MustImport("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Trip\\Ключ [1]]\n\"a\"=hex(4):01,02,03\n");
  }
};

TEST_F(tools_RoundTrip, ExportImportExportIsIdentical) {
  Fill();
  for (bool utf16 : {false, true}) {
    std::vector<std::string> exportArgs = {"export", "HKLM\\Software\\Trip", Path("first.reg"),
                                           "/y"};
    if (utf16) exportArgs.push_back("/utf16");
    MustReg(exportArgs);
    const std::string first = ReadFileBytes(Path("first.reg"));
    ASSERT_NE(first.size(), 0u);

    // A fresh store for the import.
    RemoveTree(store());
    EXPECT_EQ(Reg({"query", "HKLM\\Software\\Trip"}).status, 1);
    MustReg({"import", Path("first.reg")});
    exportArgs[2] = Path("second.reg");
    MustReg(exportArgs);
    EXPECT_EQ(ReadFileBytes(Path("second.reg")), first) << (utf16 ? "UTF-16" : "UTF-8");
  }
  std::string text = Export("HKLM\\Software\\Trip");
  // Data with line breaks goes in hex form, so every line of the file stays one line.
  EXPECT_NE(text.find("\"two lines\"=hex(1):66,00,69,00"), std::string::npos) << text;
  EXPECT_NE(
      text.find("\"back\\\\slash \\\"quoted\\\" =;[]@\"=\"C:\\\\Program Files\\\\\\\"x\\\"\\\\\""),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("\"a\"=hex(4):01,02,03\n"), std::string::npos) << text;
  EXPECT_EQ(MustReg({"query", "HKLM\\Software\\Trip", "/v", "Grüße 日本"}),
            "\nHKEY_LOCAL_MACHINE\\Software\\Trip\n    Grüße 日本    REG_SZ    Ωmega ✓ 😀\n");
}

TEST_F(tools_RoundTrip, ReadOnlyStoreCanBeReadNotChanged) {
  Fill();
  // The machine hive file is root's, readable by all and writable by none but root. The store
  // directory is shared (writable, sticky, as /tmp is), so the reader may keep its own lock files.
  chmod(dir().c_str(), 0755);
  chmod(store().c_str(), 01777);
  RegResult probe = Reg({"query", "HKLM\\Software\\Trip"}, "", kNobody);
  if (probe.status == 125) GTEST_SKIP() << "cannot run as an unprivileged user here";
  ASSERT_EQ(probe.status, 0) << probe.err;
  const std::string before = Export("HKLM\\Software\\Trip");
  EXPECT_EQ(probe.out, MustReg({"query", "HKLM\\Software\\Trip"}));

  std::string reg = Path("change.reg");
  WriteFileBytes(reg, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Trip\\New]\n\"x\"=\"y\"\n");
  chmod(reg.c_str(), 0644);
  const std::vector<std::string> changes[] = {
      {"add", "HKLM\\Software\\Trip", "/v", "dw", "/d", "1", "/f"},
      {"add", "HKLM\\Software\\Trip\\New"},
      {"delete", "HKLM\\Software\\Trip", "/v", "dw", "/f"},
      {"delete", "HKLM\\Software\\Trip", "/f"},
      {"import", reg},
  };
  for (const std::vector<std::string>& args : changes) {
    RegResult r = Reg(args, "", kNobody);
    EXPECT_EQ(r.status, 1) << args[0] << " " << args[1];
    EXPECT_TRUE(IsOneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find("access denied"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Export("HKLM\\Software\\Trip"), before);
}

}  // namespace
