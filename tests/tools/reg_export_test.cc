// keyfold-reg export: the .reg layout, both encodings, and its refusals.
#include <sys/stat.h>

#include "tests/tools/reg_tool.h"

namespace {

// "xx,xx,...,xx" for the bytes first..last.
std::string HexRun(int first, int last) {
  std::string text;
  char byte[4];
  for (int b = first; b <= last; ++b) {
    snprintf(byte, sizeof byte, "%02x", b);
    text += (b == first ? "" : ",") + std::string(byte);
  }
  return text;
}

std::string HexDigits(int first, int last) {
  std::string text;
  char byte[4];
  for (int b = first; b <= last; ++b) {
    snprintf(byte, sizeof byte, "%02x", b);
    text += byte;
  }
  return text;
}

class tools_Export : public RegToolTest {
 protected:
  void SetUp() override {
    MustReg({"add", "HKLM\\Software\\E", "/ve", "/d", "d"});
    MustReg({"add", "HKLM\\Software\\E", "/v", "q\"uote\\", "/d", "C:\\dir\\\"x\""});
    MustReg({"add", "HKLM\\Software\\E", "/v", "n", "/t", "REG_DWORD", "/d", "31"});
    MustReg({"add", "HKLM\\Software\\E", "/v", "e", "/t", "REG_EXPAND_SZ", "/d", "%H%"});
    MustReg({"add", "HKLM\\Software\\E", "/v", "m", "/t", "REG_MULTI_SZ", "/d", "a\\0b"});
    MustReg({"add", "HKLM\\Software\\E", "/v", "big", "/t", "REG_QWORD", "/d", "0x100000000"});
    MustReg({"add", "HKLM\\Software\\E", "/v", "none", "/t", "REG_NONE"});
    MustReg({"add", "HKLM\\Software\\E", "/v", "empty", "/d", ""});
    MustReg({"add", "HKLM\\Software\\E", "/v", "bin", "/t", "REG_BINARY", "/d", HexDigits(0, 59)});
    MustReg({"add", "HKLM\\Software\\E\\B"});
    MustReg({"add", "HKLM\\Software\\E\\a\\x", "/v", "v", "/d", "1"});
  }

  const std::string kExpected =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\Software\\E]\n"
      "@=\"d\"\n"
      "\"q\\\"uote\\\\\"=\"C:\\\\dir\\\\\\\"x\\\"\"\n"
      "\"n\"=dword:0000001f\n"
      "\"e\"=hex(2):25,00,48,00,25,00,00,00\n"
      "\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
      "\"big\"=hex(b):00,00,00,00,01,00,00,00\n"
      "\"none\"=hex(0):\n"
      "\"empty\"=\"\"\n"
      // regedit's wrapping: a line breaks after the byte that takes it past 76 columns.
      "\"bin\"=hex:" +
      HexRun(0, 22) +
      ",\\\n"
      "  " +
      HexRun(23, 47) +
      ",\\\n"
      "  " +
      HexRun(48, 59) +
      "\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\Software\\E\\a]\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\Software\\E\\a\\x]\n"
      "\"v\"=\"1\"\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\Software\\E\\B]\n"
      "\n";
};

TEST_F(tools_Export, WritesTheRegeditLayout) {
  EXPECT_EQ(Export("HKLM\\Software\\E"), kExpected);
  std::string file = Path("out.reg");
  MustReg({"export", "hkey_local_machine\\software\\e", file});
  EXPECT_EQ(ReadFileBytes(file), kExpected);
  // Lines stay within regedit's width.
  size_t start = 0;
  while (start < kExpected.size()) {
    size_t end = kExpected.find('\n', start);
    EXPECT_LE(end - start, 80u);
    start = end + 1;
  }
}

TEST_F(tools_Export, Utf16FormHasBomAndCrlf) {
  std::string file = Path("out16.reg");
  MustReg({"export", "HKLM\\Software\\E", file, "-UTF16"});
  std::string bytes = ReadFileBytes(file);
  std::string expected = "\xFF\xFE";
  for (char c : kExpected) {
    if (c == '\n') expected += std::string("\r\0", 2);
    expected += std::string(1, c) + '\0';
  }
  EXPECT_EQ(bytes, expected);
}

TEST_F(tools_Export, ClassesRootKeepsItsName) {
  MustReg({"add", "HKCR\\.rgs", "/ve", "/d", "Zed.RegScript"});
  EXPECT_EQ(Export("HKCR\\.rgs"),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.rgs]\n"
            "@=\"Zed.RegScript\"\n\n");
}

TEST_F(tools_Export, ExistingFileNeedsOverwriteOption) {
  std::string file = Path("exists.reg");
  WriteFileBytes(file, "keep me");
  RegResult r = Reg({"export", "HKLM\\Software\\E", file});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(IsOneLine(r.err)) << r.err;
  EXPECT_NE(r.err.find("/y"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFileBytes(file), "keep me");
  MustReg({"export", "HKLM\\Software\\E", file, "/Y"});
  EXPECT_EQ(ReadFileBytes(file), kExpected);
}

TEST_F(tools_Export, FailuresLeaveNoFile) {
  struct Case {
    std::string key;
    std::string file;
    const char* says;
  };
  const Case cases[] = {
      {"HKLM\\Software\\Missing", Path("missing.reg"), "not found"},
      {"HKLM\\Software\\E", Path("no-such-dir/out.reg"), "no-such-dir/out.reg"},
  };
  for (const Case& c : cases) {
    RegResult r = Reg({"export", c.key, c.file});
    EXPECT_EQ(r.status, 1) << c.says;
    EXPECT_TRUE(IsOneLine(r.err)) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    struct stat st;
    EXPECT_NE(stat(c.file.c_str(), &st), 0) << c.file;
  }
}

}  // namespace
