#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/error.h"

namespace {

// Sets the system code page for one test and restores the previous one.
class CodePage {
 public:
  explicit CodePage(UINT cp) : m_saved(GetACP()) { EXPECT_TRUE(SetSystemCodePage(cp)); }
  ~CodePage() { SetSystemCodePage(m_saved); }

 private:
  UINT m_saved;
};

std::u16string ToWide(UINT cp, const std::string& narrow) {
  int n = MultiByteToWideChar(cp, 0, narrow.c_str(), -1, nullptr, 0);
  std::u16string wide(static_cast<size_t>(n), u'\0');
  EXPECT_EQ(n, MultiByteToWideChar(cp, 0, narrow.c_str(), -1, wide.data(), n));
  wide.pop_back();
  return wide;
}

std::string ToNarrow(UINT cp, const std::u16string& wide) {
  int n = WideCharToMultiByte(cp, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(n), '\0');
  EXPECT_EQ(n, WideCharToMultiByte(cp, 0, wide.c_str(), -1, narrow.data(), n, nullptr, nullptr));
  narrow.pop_back();
  return narrow;
}

TEST(CodePageTest, ChosenFromCodesetName) {
  struct Case {
    const char* codeset;
    UINT cp;
  } cases[] = {
      {"UTF-8", 65001}, {"utf8", 65001},          {"SHIFT_JIS", 932},   {"CP932", 932},
      {"GBK", 936},     {"GB2312", 936},          {"BIG5", 950},        {"EUC-KR", 949},
      {"CP949", 949},   {"ANSI_X3.4-1968", 1252}, {"ISO-8859-1", 1252}, {"", 1252},
  };
  for (const Case& c : cases) EXPECT_EQ(c.cp, CodePageFromCodeset(c.codeset)) << c.codeset;
  EXPECT_FALSE(SetSystemCodePage(437));
}

TEST(CharNextTest, StepsWholeCharactersAndStaysOnNul) {
  struct Case {
    UINT cp;
    const char* text;
    size_t steps[4];  // byte offsets after 1, 2, 3, 4 steps
  } cases[] = {
      // 1252 and UTF-8 step one byte at a time.
      {1252, "a\x82z", {1, 2, 3, 3}},
      {65001, "\xC3\xA9z", {1, 2, 3, 3}},
      // 932: 0x82 0xA0 is one character; a trail byte 0x5C (backslash) is not stepped alone.
      {932, "\x82\xA0\x95\x5Cz", {2, 4, 5, 5}},
      // A lead byte right before the NUL steps one byte only.
      {932, "a\x82", {1, 2, 2, 2}},
  };
  for (const Case& c : cases) {
    CodePage page(c.cp);
    const char* p = c.text;
    for (size_t expected : c.steps) {
      p = CharNextA(p);
      EXPECT_EQ(expected, static_cast<size_t>(p - c.text)) << c.cp << " " << c.text;
    }
  }
}

TEST(IsDBCSLeadByteTest, RangesPerCodePage) {
  struct Case {
    UINT cp;
    BYTE byte;
    BOOL lead;
  } cases[] = {
      {1252, 0x82, FALSE}, {65001, 0xE3, FALSE}, {932, 0x81, TRUE},  {932, 0x9F, TRUE},
      {932, 0xA0, FALSE},  {932, 0xE0, TRUE},    {932, 0xFC, TRUE},  {932, 0xFD, FALSE},
      {932, 0x41, FALSE},  {936, 0x81, TRUE},    {936, 0xFE, TRUE},  {936, 0x80, FALSE},
      {949, 0xB0, TRUE},   {950, 0xA4, TRUE},    {950, 0xFF, FALSE},
  };
  for (const Case& c : cases) {
    CodePage page(c.cp);
    EXPECT_EQ(c.lead, IsDBCSLeadByte(c.byte)) << c.cp << " " << int(c.byte);
  }
}

TEST(LstrcmpiTest, WholeStringsWithoutRegardToCase) {
  struct Case {
    UINT cp;
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {1252, "CLSID", "clsid", 0},
      {1252, "TyPeLiB", "TYPELIB", 0},
      {1252, "CLSIDs", "CLSID", 1},
      {1252, "", "", 0},
      {1252, "a", "B", -1},
      {1252, "\xC9t\xE9", "\xE9T\xC9", 0},  // Été / éTÉ
      {65001, "\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", 0},
      {65001, "\xD0\x9C\xD0\xBE\xD0\xB4", "\xD0\xBC\xD0\x9E\xD0\x94", 0},  // Cyrillic
      {65001, "\xC3\x89", "E", 1},
      {932, "\x82\x60", "\x82\x81", 0},  // fullwidth A / a
      {932, "\x82\x60x", "\x82\x81", 1},
  };
  for (const Case& c : cases) {
    CodePage page(c.cp);
    int r = lstrcmpiA(c.a, c.b);
    EXPECT_EQ(c.sign, (r > 0) - (r < 0)) << c.cp << " " << c.a << " / " << c.b;
  }
}

TEST(LstrcpynTest, CutsToSizeWithoutSplittingACharacter) {
  char out[8];
  {
    CodePage page(1252);
    EXPECT_STREQ("abc", lstrcpynA(out, "abcdef", 4));
    EXPECT_STREQ("ab", lstrcpynA(out, "ab", 8));
    EXPECT_STREQ("", lstrcpynA(out, "abc", 1));
  }
  {
    CodePage page(932);
    // "a" then a two-byte character: with room for 2 bytes the character does not fit.
    EXPECT_STREQ("a", lstrcpynA(out, "a\x82\xA0", 3));
    EXPECT_STREQ("a\x82\xA0", lstrcpynA(out, "a\x82\xA0", 4));
  }
  EXPECT_EQ(3, lstrlenA("abc"));
  EXPECT_EQ(0, lstrlenA(nullptr));
  EXPECT_EQ(2, lstrlenW(u"ab"));
}

TEST(ConversionTest, RoundTripsInEachCodePage) {
  struct Case {
    UINT cp;
    std::string narrow;
    std::u16string wide;
  } cases[] = {
      {1252, "plain", u"plain"},
      {1252, "caf\xE9 \x80", u"caf\u00e9 \u20ac"},
      {1252, "\x81", u"\u0081"},  // a byte the code page leaves undefined keeps its value
      {65001, "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", u"caf\u00e9 \u20ac \U0001F600"},
      {932, "\x93\xFA\x96\x7B\x8C\xEA", u"\u65e5\u672c\u8a9e"},
      {932, "\x95\x5C", u"\u8868"},  // trail byte with the value of a backslash
      {936, "\xD6\xD0\xCE\xC4", u"\u4e2d\u6587"},
      {949, "\xC7\xD1\xB1\xDB", u"\ud55c\uae00"},
      {950, "\xA4\xA4\xA4\xE5", u"\u4e2d\u6587"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.wide, ToWide(c.cp, c.narrow)) << c.cp;
    EXPECT_EQ(c.narrow, ToNarrow(c.cp, c.wide)) << c.cp;
  }
}

TEST(ConversionTest, CountsSizesAndReportsErrors) {
  WCHAR wide[4];
  // Size query counts the terminator when the length is -1.
  EXPECT_EQ(4, MultiByteToWideChar(1252, 0, "abc", -1, nullptr, 0));
  EXPECT_EQ(3, MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 0));
  SetLastError(0);
  EXPECT_EQ(0, MultiByteToWideChar(1252, 0, "abcd", -1, wide, 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(0, MultiByteToWideChar(1252, 0, nullptr, -1, wide, 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  // A character the code page cannot show becomes '?'.
  BOOL usedDefault = FALSE;
  char narrow[8];
  EXPECT_EQ(3, WideCharToMultiByte(1252, 0, u"a\u65e5", -1, narrow, 8, nullptr, &usedDefault));
  EXPECT_STREQ("a?", narrow);
  EXPECT_TRUE(usedDefault);
  // A bad UTF-8 byte decodes to U+FFFD rather than failing.
  EXPECT_EQ(u"a\ufffdb", ToWide(65001,
                                "a\xFF"
                                "b"));
}

TEST(WideToNarrowTest, KeepsNonAsciiPathWholeInUtf8) {
  CodePage page(65001);
  // Every character takes three bytes in UTF-8: storage of two bytes per character would fail.
  std::u16string path = u"/home/\u65e5\u672c\u8a9e/\u20ac\u20ac\u20ac\u20ac.rgs";
  WideToNarrow narrow(path.c_str());
  EXPECT_STREQ(
      "/home/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E/\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"
      "\xE2\x82\xAC.rgs",
      narrow.c_str());
  // A long path goes past the object's inline storage and stays whole.
  std::u16string longPath;
  for (int i = 0; i < 400; ++i) longPath += u"\u00e9";
  WideToNarrow longNarrow(longPath.c_str());
  EXPECT_EQ(800u, strlen(longNarrow.c_str()));
  WideToNarrow none(nullptr);
  EXPECT_EQ(nullptr, none.c_str());
}

TEST(WideToNarrowTest, DoubleByteAndSingleByte) {
  {
    CodePage page(932);
    WideToNarrow narrow(u"\u65e5\u672c");
    EXPECT_STREQ("\x93\xFA\x96\x7B", narrow.c_str());
  }
  {
    CodePage page(1252);
    WideToNarrow narrow(u"caf\u00e9");
    EXPECT_STREQ("caf\xE9", narrow.c_str());
  }
}

TEST(Utf8Test, NarrowAndUtf16BothWays) {
  CodePage page(1252);
  EXPECT_EQ("caf\xC3\xA9", NarrowToUtf8("caf\xE9", 4));
  EXPECT_EQ("caf\xE9", Utf8ToNarrow("caf\xC3\xA9", 5));
  EXPECT_EQ(u"\U0001F600", Utf8ToUtf16("\xF0\x9F\x98\x80", 4));
  std::u16string lone = u"a";
  lone.push_back(static_cast<char16_t>(0xD800));
  EXPECT_EQ("a\xEF\xBF\xBD", Utf16ToUtf8(lone.data(), lone.size()));
}

}  // namespace
