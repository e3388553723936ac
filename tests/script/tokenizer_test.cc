// The tokenizer: blanks and comments, quoted and bare tokens, the buffer limit for any buffer
// size, double-byte characters, and where the cursor stands after each outcome.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/text.h"
#include "script/parser.h"
#include "tests/support/message_capture.h"

namespace {

const char* const kEndOfFile = "NextToken : Unexpected End of File\n";

// Reads tokens until a read fails; returns them, and the failure's messages in *messages.
std::vector<std::string> ReadAll(const std::string& text, std::string* messages) {
  std::string copy = text;
  CScriptParser parser;
  parser.m_pchCur = copy.data();
  std::vector<std::string> tokens;
  char buffer[TOKEN_BUFFER_SIZE];
  MessageCapture capture;
  while (SUCCEEDED(parser.NextToken(buffer))) tokens.push_back(buffer);
  *messages = capture.Joined();
  return tokens;
}

// Sets a code page for one test and puts the previous one back.
class CodePageScope {
 public:
  explicit CodePageScope(UINT codePage) : m_saved(GetACP()) {
    EXPECT_TRUE(SetSystemCodePage(codePage));
  }
  ~CodePageScope() { SetSystemCodePage(m_saved); }

 private:
  UINT m_saved;
};

TEST(IsBlankTest, OnlyTabLineFeedCarriageReturnAndSpace) {
  for (int ch = 0; ch < 256; ++ch) {
    BOOL expected = (ch == 9 || ch == 10 || ch == 13 || ch == 32) ? 1 : 0;
    EXPECT_EQ(IsBlank(static_cast<char>(ch)), expected) << "byte " << ch;
  }
}

TEST(AtClosingQuoteTest, LooksAtTheQuoteAndTheCharacterAfterIt) {
  struct Case {
    const char* text;
    BOOL expected;
  } cases[] = {{"'", 1}, {"'x", 1}, {"''", 0}, {"'''", 0}, {"x'", 0}, {"", 0}};
  for (const Case& c : cases) {
    std::string copy = c.text;
    CScriptParser parser;
    parser.m_pchCur = copy.data();
    EXPECT_EQ(parser.AtClosingQuote(), c.expected) << c.text;
    EXPECT_EQ(parser.m_pchCur, copy.data()) << "the cursor must not move";
  }
}

TEST(NextTokenTest, TokensBlanksAndComments) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> tokens;  // then the end of the text is met
  } cases[] = {
      {"blanks between tokens", " \tA\r\nB \n C\t", {"A", "B", "C"}},
      {"comment ended by LF", "A ; note\nB", {"A", "B"}},
      {"comment ended by CR", "A ; note\rB", {"A", "B"}},
      {"comment ended by CRLF", "A ;note\r\nB", {"A", "B"}},
      {"comment ended by the end of the text", "A ; last line", {"A"}},
      {"comments and blanks only", "  ; one\n\t; two\r\n ;", {}},
      {"empty quoted token", "'' x", {"", "x"}},
      {"doubled quote is one quote", "'it''s'", {"it's"}},
      {"touching quoted tokens are one", "'a''b'", {"a'b"}},
      {"quoted token spans lines and holds ;", "'a ;b\r\nc' d", {"a ;b\r\nc", "d"}},
      {"quoted brace reads as a brace", "'{' {", {"{", "{"}},
      {"quoted name right before a brace", "'key'{", {"key", "{"}},
      {"bare text runs into braces, = and ;", "ab{ c} d= e;f", {"ab{", "c}", "d=", "e;f"}},
      {"a quote inside bare text", "it's x", {"it's", "x"}},
      {"vertical tab and form feed are no blanks", "a\vb\fc \v", {"a\vb\fc", "\v"}},
      {"a semicolon inside a token is no comment", "a;b", {"a;b"}},
  };
  for (const Case& c : cases) {
    std::string messages;
    EXPECT_EQ(ReadAll(c.text, &messages), c.tokens) << c.name;
    EXPECT_EQ(messages, kEndOfFile) << c.name;
  }
}

TEST(NextTokenTest, EndOfTextInsideOrBeforeAToken) {
  const char* cases[] = {"", "   ", "'", "'abc", "'abc''", "x '", "'ab\n;c"};
  for (const char* text : cases) {
    std::string copy = text;
    CScriptParser parser;
    parser.m_pchCur = copy.data();
    char buffer[TOKEN_BUFFER_SIZE];
    HRESULT hr = S_OK;
    MessageCapture capture;
    while (SUCCEEDED(hr)) hr = parser.NextToken(buffer);
    EXPECT_EQ(hr, DISP_E_EXCEPTION) << text;
    EXPECT_EQ(capture.Joined(), kEndOfFile) << text;
    EXPECT_EQ(parser.m_pchCur, copy.data() + copy.size()) << "cursor on the NUL: " << text;
  }
}

TEST(NextTokenTest, EndOfTextBeforeATokenLeavesTheBufferAlone) {
  std::string copy = " ; only a comment";
  CScriptParser parser;
  parser.m_pchCur = copy.data();
  char buffer[TOKEN_BUFFER_SIZE] = "unchanged";
  MessageCapture capture;
  EXPECT_EQ(parser.NextToken(buffer), DISP_E_EXCEPTION);
  EXPECT_STREQ(buffer, "unchanged");
}

TEST(NextTokenTest, WhereTheCursorStandsAfterAToken) {
  struct Case {
    const char* text;
    const char* token;
    const char* rest;  // what the cursor points at afterwards
  } cases[] = {
      {"abc def", "abc", " def"}, {"abc", "abc", ""},          {"'abc'def", "abc", "def"},
      {"'a b'}", "a b", "}"},     {"  ;c\n x\ty", "x", "\ty"},
  };
  for (const Case& c : cases) {
    std::string copy = c.text;
    CScriptParser parser;
    parser.m_pchCur = copy.data();
    char buffer[TOKEN_BUFFER_SIZE];
    ASSERT_EQ(parser.NextToken(buffer), S_OK) << c.text;
    EXPECT_STREQ(buffer, c.token);
    EXPECT_STREQ(parser.m_pchCur, c.rest) << c.text;
  }
}

// Token of `length` bytes written bare or quoted, followed by " next".
struct LimitCase {
  const char* name;
  std::string text;
  size_t size;  // buffer size read into
  bool fits;
  std::string token;  // expected token when it fits
  size_t gathered;    // bytes quoted in the message when it does not
};

std::vector<LimitCase> LimitCases() {
  std::string a4094(4094, 'a'), a4095(4095, 'a');
  std::string quotes = std::string(4093, 'a');
  return {
      {"bare 4094", a4094 + " next", TOKEN_BUFFER_SIZE, true, a4094, 0},
      {"bare 4095", a4095 + " next", TOKEN_BUFFER_SIZE, false, "", 4094},
      {"quoted 4094", "'" + a4094 + "' next", TOKEN_BUFFER_SIZE, true, a4094, 0},
      {"quoted 4095", "'" + a4095 + "' next", TOKEN_BUFFER_SIZE, false, "", 4094},
      {"doubled quote counts one byte", "'" + quotes + "''' next", TOKEN_BUFFER_SIZE, true,
       quotes + "'", 0},
      {"value-name buffer 258", std::string(258, 'v') + " next", 260, true, std::string(258, 'v'),
       0},
      {"value-name buffer 259", std::string(259, 'v') + " next", 260, false, "", 258},
  };
}

TEST(NextTokenTest, BufferLimit) {
  for (const LimitCase& c : LimitCases()) {
    std::string copy = c.text;
    CScriptParser parser;
    parser.m_pchCur = copy.data();
    std::vector<char> buffer(c.size);
    MessageCapture capture;
    HRESULT hr = parser.NextToken(buffer.data(), c.size);
    if (c.fits) {
      ASSERT_EQ(hr, S_OK) << c.name;
      EXPECT_EQ(std::string(buffer.data()), c.token) << c.name;
      EXPECT_TRUE(capture.boxes.empty()) << c.name;
      EXPECT_EQ(parser.NextToken(buffer.data(), c.size), S_OK);
      EXPECT_STREQ(buffer.data(), "next") << c.name;
    } else {
      EXPECT_EQ(hr, DISP_E_EXCEPTION) << c.name;
      ASSERT_EQ(capture.boxes.size(), 1u) << c.name;
      // The message quotes the bytes gathered, cut to what a message can hold.
      std::string expected = "NextToken : Token too long " +
                             std::string(c.gathered, c.text[0] == '\'' ? 'a' : c.text[0]) + "\n";
      EXPECT_EQ(capture.boxes[0], expected.substr(0, MESSAGE_BUFFER_SIZE - 1)) << c.name;
      // The cursor stands just past the character that did not fit.
      size_t quote = c.text[0] == '\'' ? 1 : 0;
      EXPECT_EQ(parser.m_pchCur, copy.data() + quote + c.gathered + 1) << c.name;
    }
  }
}

TEST(NextTokenTest, DoubleByteCharactersCountTheirBytes) {
  CodePageScope cp(932);
  const std::string kana = "\x82\xa0";  // one double-byte character
  struct Case {
    const char* name;
    std::string token;
    bool fits;
  } cases[] = {
      {"4093 bytes and a double-byte character", std::string(4093, 'a') + kana, true},
      {"4094 bytes and a double-byte character", std::string(4094, 'a') + kana, false},
      {"quoted, 4093 bytes and a double-byte character", "'" + std::string(4093, 'a') + kana + "'",
       true},
  };
  for (const Case& c : cases) {
    std::string copy = c.token + " x";
    CScriptParser parser;
    parser.m_pchCur = copy.data();
    char buffer[TOKEN_BUFFER_SIZE];
    MessageCapture capture;
    HRESULT hr = parser.NextToken(buffer);
    if (c.fits) {
      ASSERT_EQ(hr, S_OK) << c.name;
      EXPECT_EQ(strlen(buffer), 4095u) << c.name;
      EXPECT_EQ(std::string(buffer + 4093), kana) << c.name;
    } else {
      EXPECT_EQ(hr, DISP_E_EXCEPTION) << c.name;
      EXPECT_EQ(capture.boxes.size(), 1u) << c.name;
      // Stepped past the whole double-byte character that did not fit.
      EXPECT_EQ(parser.m_pchCur, copy.data() + 4096) << c.name;
    }
  }
}

TEST(NextTokenTest, TrailBytesAreNeverTakenForSyntax) {
  CodePageScope cp(932);
  // 0x82 0x27 is no character of 932, but 0x83 0x5C and 0x81 0x7B are, with a backslash and a
  // brace as trail byte; the quoted token must end only at the real quote.
  std::string messages;
  std::vector<std::string> tokens = ReadAll("'\x83\x5c\x81\x7b' \x81\x7b", &messages);
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[0], "\x83\x5c\x81\x7b");
  EXPECT_EQ(tokens[1], "\x81\x7b");
}

TEST(SkipBlanksTest, StopsOnTheFirstCharacterOfATokenOrTheNul) {
  struct Case {
    const char* text;
    const char* rest;
  } cases[] = {{" \t\r\n x", "x"}, {"; c\r\n;d\n y", "y"}, {"; c", ""}, {"\vx", "\vx"}, {"x", "x"}};
  for (const Case& c : cases) {
    std::string copy = c.text;
    CScriptParser parser;
    parser.m_pchCur = copy.data();
    parser.SkipBlanks();
    EXPECT_STREQ(parser.m_pchCur, c.rest) << c.text;
  }
}

}  // namespace
