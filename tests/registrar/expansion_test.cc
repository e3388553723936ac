#include <gtest/gtest.h>

#include <string>

#include "platform/memory.h"
#include "platform/text.h"
#include "registrar/registrar.h"
#include "registrar/text_builder.h"
#include "script/parser.h"
#include "tests/support/message_capture.h"

namespace {

struct Expansion {
  HRESULT hr;
  std::string text;  // "<null>" when no text was handed out
  std::string messages;
};

Expansion Expand(CScriptRegistrar* registrar, const std::string& input) {
  MessageCapture capture;
  CScriptParser parser(registrar);
  char* expanded = reinterpret_cast<char*>(1);
  Expansion result;
  result.hr = parser.ExpandReplacements(input.c_str(), &expanded);
  result.text = expanded ? std::string(expanded) : "<null>";
  result.messages = capture.Joined();
  CoTaskMemFree(expanded);
  return result;
}

class ExpansionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSystemCodePage(1252);
    ASSERT_EQ(S_OK, registrar.map.Add(u"Module", u"/opt/it''s/keyfold"));
    ASSERT_EQ(S_OK, registrar.map.Add(u"Tricky", u"%Module% \\\\ 'q' %%"));
    ASSERT_EQ(S_OK, registrar.map.Add(std::u16string(31, u'k').c_str(), u"thirty-one"));
    ASSERT_EQ(S_OK, registrar.map.Add(std::u16string(32, u'k').c_str(), u"thirty-two"));
  }
  void TearDown() override { SetSystemCodePage(1252); }

  CScriptRegistrar registrar;
};

TEST_F(ExpansionTest, RulesForReferencesPercentsAndBackslashes) {
  std::string k31(31, 'k'), k32(32, 'k');
  struct Case {
    std::string input, output;
  } cases[] = {
      {"", ""},
      {"HKCR { 'a b' = s 'c' }\n", "HKCR { 'a b' = s 'c' }\n"},
      {"%Module%", "/opt/it''s/keyfold"},
      {"'%module%' and %MODULE%.", "'/opt/it''s/keyfold' and /opt/it''s/keyfold."},
      {"%%", "%"},
      {"\"%%1\" %%L", "\"%1\" %L"},
      {"100%%%Module%", "100%/opt/it''s/keyfold"},
      {"%" + k31 + "%", "thirty-one"},
      {"a\\\\b", "a\\b"},
      {"a\\\\\\b", "a\\\\b"},
      {"\\%50 \\%", "\\%50 \\%"},
      {"\\'x", "\\'x"},
      {"end\\", "end\\"},
      // A value is inserted as it is and never expanded again.
      {"[%Tricky%]", "[%Module% \\\\ 'q' %%]"},
  };
  for (const Case& c : cases) {
    Expansion e = Expand(&registrar, c.input);
    EXPECT_EQ(S_OK, e.hr) << c.input;
    EXPECT_EQ(c.output, e.text) << c.input;
    EXPECT_EQ("", e.messages) << c.input;
  }
}

TEST_F(ExpansionTest, FailuresReportInOrderAndHandOutNothing) {
  std::string k32(32, 'k');
  std::string far = "HKCR { 100% done\n" + std::string(200, ' ') + "and 50% more }";
  struct Case {
    std::string input;
    HRESULT hr;
    std::string messages;
  } cases[] = {
      {"abc %Module", DISP_E_EXCEPTION, "Error no closing % found\n"},
      {"%", DISP_E_EXCEPTION, "Error no closing % found\n"},
      // Too long is checked before the map, even for a name the map holds.
      {"%" + k32 + "%", E_FAIL, "Replaceable key too long " + k32 + "%\n"},
      {far, E_FAIL, "Replaceable key too long " + far.substr(far.find('%') + 1) + "\n"},
      {"%Missing%", DISP_E_EXCEPTION, "Map Entry not found\n<Missing> Not found in map\n"},
      {"%two words%", DISP_E_EXCEPTION, "Map Entry not found\n<two words> Not found in map\n"},
      // The first failure ends the pass: nothing after it is looked at.
      {"%Missing% %", DISP_E_EXCEPTION, "Map Entry not found\n<Missing> Not found in map\n"},
  };
  for (const Case& c : cases) {
    Expansion e = Expand(&registrar, c.input);
    EXPECT_EQ(c.hr, e.hr) << c.input;
    EXPECT_EQ("<null>", e.text) << c.input;
    EXPECT_EQ(c.messages, e.messages) << c.input;
  }
}

TEST_F(ExpansionTest, GrowsPastTwiceTheInputWithLongValues) {
  std::u16string longValue(1000, u'v');
  ASSERT_EQ(S_OK, registrar.map.Add(u"Long", longValue.c_str()));
  Expansion e = Expand(&registrar, "%Long%;%Long%;%Long%");
  EXPECT_EQ(S_OK, e.hr);
  std::string v(1000, 'v');
  EXPECT_EQ(v + ";" + v + ";" + v, e.text);
}

TEST_F(ExpansionTest, DoubleByteCharactersAreTakenWhole) {
  ASSERT_TRUE(SetSystemCodePage(932));
  // 0x95 0x5C is one character whose trail byte is '\'; 0x83 takes the byte after it, even '%'.
  const std::string table = "\x95\x5C", percentTrail = "\x83\x25";
  std::u16string wideValue(2, u'\0');
  ASSERT_EQ(2, MultiByteToWideChar(CP_ACP, 0, "\x95\x5C\x95\x5C", 4, wideValue.data(), 2));
  ASSERT_EQ(S_OK, registrar.map.Add(u"Dbcs", wideValue.c_str()));
  struct Case {
    std::string input, output;
  } cases[] = {
      {"'" + table + "'", "'" + table + "'"},
      {table + "\\\\", table + "\\"},
      {"a" + percentTrail + "b", "a" + percentTrail + "b"},
      {"%Dbcs%", table + table},
      // A lead byte cut off by the end of the text is copied alone.
      {"x\x95", "x\x95"},
  };
  for (const Case& c : cases) {
    Expansion e = Expand(&registrar, c.input);
    EXPECT_EQ(S_OK, e.hr) << c.input;
    EXPECT_EQ(c.output, e.text) << c.input;
  }
}

// Every allocation the pass makes, failed in turn, ends it with E_OUTOFMEMORY, nothing handed
// out and nothing leaked (the sanitizer build checks the last part).
TEST_F(ExpansionTest, EachFailedAllocationEndsThePassCleanly) {
  std::u16string longValue(100, u'v');
  ASSERT_EQ(S_OK, registrar.map.Add(u"Long", longValue.c_str()));
  const std::string input = "%Long%%Long%%Long%";
  long before = AllocationCount();
  Expansion whole = Expand(&registrar, input);
  long allocations = AllocationCount() - before;
  ASSERT_EQ(S_OK, whole.hr);
  ASSERT_GE(allocations, 2);  // the first block and at least one growth
  for (long failAt = 1; failAt <= allocations; ++failAt) {
    FailAllocationAt(failAt);
    Expansion e = Expand(&registrar, input);
    FailAllocationAt(0);
    EXPECT_EQ(E_OUTOFMEMORY, e.hr) << failAt;
    EXPECT_EQ("<null>", e.text) << failAt;
  }
}

TEST(TextBuilderTest, AppendGrowsByDoublingFromNothing) {
  CTextBuilder builder;
  ASSERT_EQ(S_OK, builder.Start(0));
  std::string all;
  for (int i = 0; i < 100; ++i) {
    char ch = static_cast<char>('a' + i % 26);
    ASSERT_EQ(S_OK, builder.AppendChar(&ch));
    all += ch;
  }
  EXPECT_EQ(100, builder.length);
  EXPECT_EQ(128, builder.capacity);
  EXPECT_EQ(all, std::string(builder.text, builder.length));
  FailAllocationAt(1);
  std::string more(100, 'x');
  EXPECT_EQ(S_OK, builder.AppendChar(more.c_str()));  // fits: no allocation asked for
  for (int i = 0; i < 27; ++i) ASSERT_EQ(S_OK, builder.AppendChar(more.c_str()));
  EXPECT_EQ(E_OUTOFMEMORY, builder.AppendChar(more.c_str()));  // the growth fails
  FailAllocationAt(0);
  EXPECT_EQ(128, builder.capacity);  // the failed growth kept the text as it was
  EXPECT_EQ(all + std::string(28, 'x'), std::string(builder.text, builder.length));
}

}  // namespace
