// Narrow text in the system code page, wide (UTF-16) text, and the conversions between them.
// The system code page is chosen once from the locale; tests may set it directly.
#pragma once

#include <string>

#include "platform/types.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

// The system code page in force (1252, 65001, 932, 936, 949 or 950).
UINT GetACP();
// Sets the system code page; returns false (and changes nothing) for a page we do not support.
bool SetSystemCodePage(UINT codePage);
// Chooses the system code page from the process locale (setlocale(LC_ALL, "") and its CODESET).
void InitSystemCodePageFromLocale();
// The code page a CODESET name stands for: UTF-8 65001, Shift_JIS/CP932 932, GBK/GB2312 936,
// Big5 950, EUC-KR/CP949 949, anything else 1252.
UINT CodePageFromCodeset(const char* codeset);
// The most bytes one UTF-16 unit can take in the code page (1, 2 or 3).
UINT MaxBytesPerWideChar(UINT codePage);

// True when the byte starts a two-byte character in the system code page (never in 1252 or 65001).
BOOL IsDBCSLeadByte(BYTE ch);
// The next character after the one at p: two bytes after a lead byte (never past the NUL), one
// byte otherwise; p itself when it points at the terminating NUL.
char* CharNextA(const char* p);

// Whole-string comparison after simple Unicode case folding; <0, 0 or >0.
int lstrcmpiA(const char* a, const char* b);
// Copies at most max-1 bytes of src and a NUL into dst (never splitting a double-byte character);
// returns dst.
char* lstrcpynA(char* dst, const char* src, int max);
int lstrlenA(const char* s);
int lstrlenW(const WCHAR* s);

// Narrow text of the code page to UTF-16. srcLength -1 converts through the NUL, which is then
// counted. dstLength 0 asks for the size needed. Returns the count of wide characters written
// (or needed), 0 on failure with the last error set (ERROR_INSUFFICIENT_BUFFER,
// ERROR_INVALID_PARAMETER). Undecodable bytes become U+FFFD.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLength, WCHAR* dst,
                        int dstLength);
// UTF-16 to narrow text of the code page; the same counting rules. Characters the code page
// cannot show become '?' and set *usedDefault when it is given; defaultChar must be null.
int WideCharToMultiByte(UINT codePage, DWORD flags, const WCHAR* src, int srcLength, char* dst,
                        int dstLength, const char* defaultChar, BOOL* usedDefault);

// A NUL-terminated wide string as narrow text of the system code page, held for the object's
// lifetime. A null string gives a null pointer; a failed conversion gives an empty string. The
// storage fits the code page's longest character for every wide character, so no text is lost.
class WideToNarrow {
 public:
  explicit WideToNarrow(const WCHAR* wide);
  ~WideToNarrow();
  WideToNarrow(const WideToNarrow&) = delete;
  WideToNarrow& operator=(const WideToNarrow&) = delete;

  const char* c_str() const { return m_psz; }
  operator const char*() const { return m_psz; }

 private:
  char m_inline[256];
  char* m_heap = nullptr;
  const char* m_psz = nullptr;
};

// Narrow text of the system code page as UTF-8 (for the console and the transcript), and back.
// Undecodable input becomes U+FFFD (or '?' in the narrow direction).
std::string NarrowToUtf8(const char* narrow, size_t length);
std::string Utf8ToNarrow(const char* utf8, size_t length);

// UTF-16 and UTF-8, both ways; a lone surrogate or a bad byte becomes U+FFFD.
std::string Utf16ToUtf8(const WCHAR* wide, size_t length);
std::u16string Utf8ToUtf16(const char* utf8, size_t length);
