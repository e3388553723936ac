// Text to an unsigned 32-bit number, for values of type D. This is the program's own stand-in
// for the platform's automation conversion, and it accepts only text that names one number.
#pragma once

#include "platform/types.h"

// Converts `text` (wide, NUL-terminated) to a number in *result. Accepted, with blanks (TAB, LF,
// CR, space) around it: decimal 0 to 4294967295, and the hexadecimal forms &H1F and 0x1F and the
// octal form &O17 (letters in either case) up to the same maximum. Returns S_OK;
// DISP_E_OVERFLOW for a number above 4294967295; DISP_E_TYPEMISMATCH for anything else (empty
// text, a sign, other characters). *result is written only on success. `lcid` and `flags` are
// accepted for the call's shape and not used.
HRESULT VarUI4FromStr(const WCHAR* text, LCID lcid, ULONG flags, ULONG* result);
