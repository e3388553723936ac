// The value types of an assignment "= T D" and the table that names them. WriteValue and
// SkipValueAssignment themselves are operations of CScriptParser (parser.h).
#pragma once

#include "platform/types.h"

// The tags WriteValue dispatches on.
constexpr WORD VT_BSTR = 8;
constexpr WORD VT_UI1 = 17;
constexpr WORD VT_UI4 = 19;

struct ValueTypeRow {
  const char* letter;  // the type token, compared without regard to case
  WORD typeCode;       // VT_BSTR (REG_SZ), VT_UI4 (REG_DWORD) or VT_UI1 (REG_BINARY)
};

// S, D and B, searched in that order. Constant data: never changes.
extern const ValueTypeRow ValueTypeTable[3];

// The first row whose letter equals `typeToken` without regard to case, or null.
const ValueTypeRow* FindValueType(const char* typeToken);
