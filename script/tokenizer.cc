// The tokenizer: cuts script text into quoted and bare tokens, skipping blanks and ';' comments.
// It reads the character under the parser's cursor and moves the cursor forward only.

#include <cstring>

#include "platform/diagnostics.h"
#include "script/parser.h"

namespace {

// One character forward. No lead byte of a double-byte code page is below 0x80, so ASCII is
// stepped here without the code-page lookup; everything else goes through CharNextA.
inline const char* Step(const char* p) {
  unsigned char c = static_cast<unsigned char>(*p);
  if (c != 0 && c < 0x80) return p + 1;
  return CharNextA(p);
}

inline bool Blank(char ch) { return ch == '\t' || ch == '\n' || ch == '\r' || ch == ' '; }

}  // namespace

BOOL IsBlank(char ch) { return Blank(ch) ? TRUE : FALSE; }

void CScriptParser::SkipBlanks() {
  const char* p = m_pchCur;
  for (;;) {
    if (Blank(*p)) {
      p = Step(p);
    } else if (*p == ';') {
      while (*p != '\0' && *p != '\n' && *p != '\r') p = Step(p);
    } else {
      break;
    }
  }
  m_pchCur = const_cast<char*>(p);
}

BOOL CScriptParser::AtClosingQuote() const {
  return (m_pchCur[0] == '\'' && m_pchCur[1] != '\'') ? TRUE : FALSE;
}

HRESULT CScriptParser::NextToken(char* buffer, size_t size) {
  SkipBlanks();
  if (*m_pchCur == '\0') {
    ReportMessage(0, "NextToken : Unexpected End of File\n");
    return DISP_E_EXCEPTION;
  }

  size_t count = 0;
  if (*m_pchCur == '\'') {
    NextChar();
    if (*m_pchCur == '\0') {
      ReportMessage(0, "NextToken : Unexpected End of File\n");
      return DISP_E_EXCEPTION;
    }
    for (;;) {
      if (AtClosingQuote()) break;
      // The first quote of a doubled pair is dropped; the second is taken as data below.
      if (*m_pchCur == '\'') NextChar();
      const char* start = m_pchCur;
      m_pchCur = const_cast<char*>(Step(start));
      if (count + 2 >= size) {
        buffer[count] = '\0';
        ReportMessage(0, "NextToken : Token too long %s\n", buffer);
        return DISP_E_EXCEPTION;
      }
      for (const char* q = start; q < m_pchCur; ++q) buffer[count++] = *q;
      if (*m_pchCur == '\0') break;
    }
    if (*m_pchCur == '\0') {
      ReportMessage(0, "NextToken : Unexpected End of File\n");
      return DISP_E_EXCEPTION;
    }
    buffer[count] = '\0';
    NextChar();
    return S_OK;
  }

  const char* p = m_pchCur;
  while (*p != '\0' && !Blank(*p)) {
    const char* start = p;
    p = Step(p);
    if (count + 2 >= size) {
      m_pchCur = const_cast<char*>(p);
      buffer[count] = '\0';
      ReportMessage(0, "NextToken : Token too long %s\n", buffer);
      return DISP_E_EXCEPTION;
    }
    buffer[count++] = *start;
    if (p - start == 2) buffer[count++] = start[1];
  }
  m_pchCur = const_cast<char*>(p);
  buffer[count] = '\0';
  return S_OK;
}
