// The value writer against a real store: the three types, number and binary text, type errors,
// the messages, and reading past an assignment in unregister mode.

#include "script/value_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "registry/key_handle.h"
#include "script/number_text.h"
#include "tests/script/script_fixture.h"
#include "tests/support/message_capture.h"
#include "tests/support/recording_registry.h"

namespace {

std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

class ValueWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeKey(HKEY_CURRENT_USER, "Target"); }

  // Runs WriteValue over `text` (what follows the "=") into HKCU\Target.
  HRESULT Write(const std::string& text, const char* name) {
    m_text = text;
    parser.m_pchCur = m_text.data();
    CKeyHandle key;
    EXPECT_EQ(key.Open(HKEY_CURRENT_USER, "Target", KEY_ALL_ACCESS), ERROR_SUCCESS);
    return parser.WriteValue(key, name, buffer);
  }

  TempStore store;
  CScriptParser parser;
  char buffer[TOKEN_BUFFER_SIZE] = {};
  std::string m_text;
};

TEST_F(ValueWriterTest, WritesEachTypeAndReadsTheNextToken) {
  struct Case {
    const char* text;
    DWORD type;
    std::string bytes;
    const char* message;  // at level 2, or "" when none
  } cases[] = {
      {"s 'Sample Document' next", REG_SZ, std::string("Sample Document\0", 16),
       "Setting Value Sample Document at v\n"},
      {"'S' '' next", REG_SZ, std::string("\0", 1), "Setting Value  at v\n"},
      {"d 42 next", REG_DWORD, Dword(42), "Setting Value 42 at v\n"},
      {"D 4294967295 next", REG_DWORD, Dword(0xFFFFFFFFu), "Setting Value -1 at v\n"},
      {"d ' 7 ' next", REG_DWORD, Dword(7), "Setting Value 7 at v\n"},
      {"d &H1F next", REG_DWORD, Dword(0x1F), "Setting Value 31 at v\n"},
      {"d 0x1f next", REG_DWORD, Dword(0x1F), "Setting Value 31 at v\n"},
      {"d &o17 next", REG_DWORD, Dword(15), "Setting Value 15 at v\n"},
      {"b a1B2 next", REG_BINARY, "\xa1\xb2", ""},
      {"'B' '' next", REG_BINARY, "", ""},
  };
  for (const Case& c : cases) {
    MessageCapture capture(5);
    ASSERT_EQ(Write(c.text, "v"), S_OK) << c.text;
    EXPECT_STREQ(buffer, "next") << c.text;
    StoredValue stored = ReadValue(HKEY_CURRENT_USER, "Target", "v");
    ASSERT_TRUE(stored.found) << c.text;
    EXPECT_EQ(stored.type, c.type) << c.text;
    EXPECT_EQ(stored.bytes, c.bytes) << c.text;
    EXPECT_EQ(capture.Joined(), c.message) << c.text;
  }
}

TEST_F(ValueWriterTest, TheDefaultValueIsNamedDefaultInMessages) {
  MessageCapture capture(5);
  ASSERT_EQ(Write("s x }", nullptr), S_OK);
  EXPECT_EQ(capture.Joined(), "Setting Value x at default\n");
  StoredValue stored = ReadValue(HKEY_CURRENT_USER, "Target", nullptr);
  EXPECT_EQ(stored.bytes, std::string("x\0", 2));
}

TEST_F(ValueWriterTest, BogusBinaryDigitsAreReportedAndGiveZero) {
  MessageCapture capture(0);
  ASSERT_EQ(Write("b 1g }", "v"), S_OK);
  EXPECT_EQ(capture.Joined(), "Bogus value g passed as binary Hex value\n");
  EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, "Target", "v").bytes, "\x10");
}

TEST_F(ValueWriterTest, FailuresWriteNothing) {
  struct Case {
    const char* text;
    HRESULT result;
    const char* messages;
  } cases[] = {
      {"b abc }", E_FAIL, "Binary Data does not fall on BYTE boundries\n"},
      {"x 1 }", DISP_E_EXCEPTION, "x Type not supported\n"},
      {"SS 1 }", DISP_E_EXCEPTION, "SS Type not supported\n"},
      {"'' 1 }", DISP_E_EXCEPTION, " Type not supported\n"},
      {"d -1 }", DISP_E_EXCEPTION, "Invalid number -1\n"},
      {"d 4294967296 }", DISP_E_EXCEPTION, "Invalid number 4294967296\n"},
      {"d '' }", DISP_E_EXCEPTION, "Invalid number \n"},
      {"d 12abc }", DISP_E_EXCEPTION, "Invalid number 12abc\n"},
      {"d", DISP_E_EXCEPTION, "NextToken : Unexpected End of File\n"},
      {"", DISP_E_EXCEPTION, "NextToken : Unexpected End of File\n"},
  };
  for (const Case& c : cases) {
    MessageCapture capture(5);
    EXPECT_EQ(Write(c.text, "v"), c.result) << c.text;
    EXPECT_EQ(capture.Joined(), c.messages) << c.text;
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, "Target", "v").found) << c.text;
  }
}

TEST_F(ValueWriterTest, ARefusedWriteDoesNotChangeTheResult) {
  RecordingRegistry recording;
  recording.FailOperation("SetValueEx", "v", ERROR_ACCESS_DENIED);
  MessageCapture capture(5);
  EXPECT_EQ(Write("s x next", "v"), S_OK);
  EXPECT_EQ(capture.Joined(), "Setting Value x at v\n");
  EXPECT_STREQ(buffer, "next");
}

TEST(SkipValueAssignmentTest, ConsumesTypeAndDataWithoutLookingAtThem) {
  struct Case {
    const char* first;  // the token already read
    const char* text;
    HRESULT result;
    const char* after;  // buffer afterwards
    const char* rest;   // text after the cursor
  } cases[] = {
      {"=", " x bogus next more", S_OK, "next", " more"},
      {"=", " b abc '}' }", S_OK, "}", " }"},
      {"name", " = s x", S_OK, "name", " = s x"},
      {"=", " s", DISP_E_EXCEPTION, "s", ""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    CScriptParser parser;
    parser.m_pchCur = text.data();
    char buffer[TOKEN_BUFFER_SIZE];
    strcpy(buffer, c.first);
    MessageCapture capture(0);
    EXPECT_EQ(parser.SkipValueAssignment(buffer), c.result) << c.text;
    EXPECT_STREQ(buffer, c.after) << c.text;
    EXPECT_STREQ(parser.m_pchCur, c.rest) << c.text;
    EXPECT_EQ(capture.boxes.empty(), SUCCEEDED(c.result)) << c.text;
  }
}

TEST(ValueTypeTableTest, LettersInEitherCase) {
  EXPECT_EQ(FindValueType("s")->typeCode, VT_BSTR);
  EXPECT_EQ(FindValueType("D")->typeCode, VT_UI4);
  EXPECT_EQ(FindValueType("b")->typeCode, VT_UI1);
  EXPECT_EQ(FindValueType("SZ"), nullptr);
  EXPECT_EQ(FindValueType(""), nullptr);
}

TEST(NumberTextTest, AcceptsOneNumberAndNothingElse) {
  struct Case {
    const char16_t* text;
    HRESULT result;
    ULONG value;
  } cases[] = {
      {u"0", S_OK, 0},
      {u"4294967295", S_OK, 0xFFFFFFFFu},
      {u" \t12 ", S_OK, 12},
      {u"&HFFFFFFFF", S_OK, 0xFFFFFFFFu},
      {u"&h1f", S_OK, 31},
      {u"0X1F", S_OK, 31},
      {u"&O17", S_OK, 15},
      {u"00010", S_OK, 10},
      {u"4294967296", DISP_E_OVERFLOW, 0},
      {u"&H100000000", DISP_E_OVERFLOW, 0},
      {u"99999999999999999999999", DISP_E_OVERFLOW, 0},
      {u"", DISP_E_TYPEMISMATCH, 0},
      {u"  ", DISP_E_TYPEMISMATCH, 0},
      {u"-1", DISP_E_TYPEMISMATCH, 0},
      {u"+1", DISP_E_TYPEMISMATCH, 0},
      {u"1 2", DISP_E_TYPEMISMATCH, 0},
      {u"&H", DISP_E_TYPEMISMATCH, 0},
      {u"0x", DISP_E_TYPEMISMATCH, 0},
      {u"&O8", DISP_E_TYPEMISMATCH, 0},
      {u"1f", DISP_E_TYPEMISMATCH, 0},
  };
  for (const Case& c : cases) {
    ULONG value = 12345;
    EXPECT_EQ(VarUI4FromStr(c.text, 0, 0, &value), c.result);
    EXPECT_EQ(value, SUCCEEDED(c.result) ? c.value : 12345u);
  }
}

}  // namespace
