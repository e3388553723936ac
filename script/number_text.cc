// Number text for values of type D: one decimal, hexadecimal or octal number and nothing else.

#include "script/number_text.h"

namespace {

bool IsBlankWide(WCHAR ch) { return ch == u'\t' || ch == u'\n' || ch == u'\r' || ch == u' '; }

// The digit's value in `base`, or -1 when it is no digit of that base.
int DigitValue(WCHAR ch, unsigned base) {
  int value = -1;
  if (ch >= u'0' && ch <= u'9')
    value = ch - u'0';
  else if (ch >= u'a' && ch <= u'f')
    value = ch - u'a' + 10;
  else if (ch >= u'A' && ch <= u'F')
    value = ch - u'A' + 10;
  return (value >= 0 && static_cast<unsigned>(value) < base) ? value : -1;
}

}  // namespace

HRESULT VarUI4FromStr(const WCHAR* text, LCID, ULONG, ULONG* result) {
  if (text == nullptr || result == nullptr) return E_INVALIDARG;
  const WCHAR* p = text;
  while (IsBlankWide(*p)) ++p;

  unsigned base = 10;
  if (p[0] == u'&' && (p[1] == u'H' || p[1] == u'h')) {
    base = 16;
    p += 2;
  } else if (p[0] == u'&' && (p[1] == u'O' || p[1] == u'o')) {
    base = 8;
    p += 2;
  } else if (p[0] == u'0' && (p[1] == u'x' || p[1] == u'X')) {
    base = 16;
    p += 2;
  }

  // At least one digit; the value is gathered in 64 bits so that overflow is seen at once.
  uint64_t value = 0;
  bool anyDigit = false;
  bool overflow = false;
  for (int digit; (digit = DigitValue(*p, base)) >= 0; ++p) {
    anyDigit = true;
    value = value * base + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFull) {
      overflow = true;
      value = 0xFFFFFFFFull + 1;  // keeps the product bounded for the digits still to come
    }
  }
  while (IsBlankWide(*p)) ++p;
  if (!anyDigit || *p != u'\0') return DISP_E_TYPEMISMATCH;
  if (overflow) return DISP_E_OVERFLOW;
  *result = static_cast<ULONG>(value);
  return S_OK;
}
