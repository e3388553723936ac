#include "platform/text.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/error.h"

namespace {

UINT g_codePage = 1252;

bool IsSupportedCodePage(UINT cp) {
  return cp == 1252 || cp == 65001 || cp == 932 || cp == 936 || cp == 949 || cp == 950;
}

UINT Resolve(UINT codePage) { return codePage == CP_ACP ? g_codePage : codePage; }

const char* IconvName(UINT cp) {
  switch (cp) {
    case 932:
      return "CP932";
    case 936:
      return "CP936";
    case 949:
      return "CP949";
    case 950:
      return "CP950";
    default:
      return "CP1252";
  }
}

bool IsLeadByteIn(UINT cp, BYTE ch) {
  switch (cp) {
    case 932:
      return (ch >= 0x81 && ch <= 0x9F) || (ch >= 0xE0 && ch <= 0xFC);
    case 936:
    case 949:
    case 950:
      return ch >= 0x81 && ch <= 0xFE;
    default:
      return false;
  }
}

// One cached converter per direction and code page, per thread: opening an iconv descriptor
// costs far more than a conversion.
struct Converter {
  UINT cp = 0;
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
};

iconv_t GetConverter(UINT cp, bool toWide) {
  thread_local Converter toWideCache[6];
  thread_local Converter toNarrowCache[6];
  Converter* cache = toWide ? toWideCache : toNarrowCache;
  for (int i = 0; i < 6; ++i) {
    if (cache[i].cp == cp) {
      iconv(cache[i].cd, nullptr, nullptr, nullptr, nullptr);
      return cache[i].cd;
    }
  }
  for (int i = 0; i < 6; ++i) {
    if (cache[i].cp == 0) {
      iconv_t cd =
          toWide ? iconv_open("UTF-16LE", IconvName(cp)) : iconv_open(IconvName(cp), "UTF-16LE");
      if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
      cache[i].cp = cp;
      cache[i].cd = cd;
      return cd;
    }
  }
  return reinterpret_cast<iconv_t>(-1);
}

void AppendUtf16(std::u16string* out, uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out->push_back(static_cast<char16_t>(cp));
  }
}

void AppendUtf8(std::string* out, uint32_t cp) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at s (n bytes left); returns its length, or 1 with U+FFFD for a
// byte that starts no valid sequence.
size_t DecodeUtf8(const unsigned char* s, size_t n, uint32_t* cp) {
  unsigned char c = s[0];
  if (c < 0x80) {
    *cp = c;
    return 1;
  }
  size_t len = 0;
  uint32_t value = 0;
  uint32_t min = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2, value = c & 0x1F, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3, value = c & 0x0F, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4, value = c & 0x07, min = 0x10000;
  } else {
    *cp = 0xFFFD;
    return 1;
  }
  if (len > n) {
    *cp = 0xFFFD;
    return 1;
  }
  for (size_t i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) {
      *cp = 0xFFFD;
      return 1;
    }
    value = (value << 6) | (s[i] & 0x3F);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    *cp = 0xFFFD;
    return 1;
  }
  *cp = value;
  return len;
}

std::u16string Utf8Decode(const char* src, size_t n) {
  std::u16string out;
  out.reserve(n);
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  size_t i = 0;
  while (i < n) {
    uint32_t cp;
    i += DecodeUtf8(s + i, n - i, &cp);
    AppendUtf16(&out, cp);
  }
  return out;
}

// Decodes narrow text of a code page other than UTF-8 with iconv. A byte that does not decode
// becomes U+FFFD, except in 1252, where the five bytes it leaves undefined stand for the C1
// controls of the same value, as on the original platform.
std::u16string IconvDecode(UINT cp, const char* src, size_t n) {
  std::u16string out;
  out.reserve(n);
  iconv_t cd = GetConverter(cp, true);
  char16_t chunk[512];
  char* in = const_cast<char*>(src);
  size_t inLeft = n;
  while (inLeft > 0) {
    char* outPtr = reinterpret_cast<char*>(chunk);
    size_t outLeft = sizeof(chunk);
    size_t rc = cd == reinterpret_cast<iconv_t>(-1) ? static_cast<size_t>(-1)
                                                    : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    int err = errno;
    out.append(chunk, (sizeof(chunk) - outLeft) / 2);
    if (rc == static_cast<size_t>(-1) && (cd == reinterpret_cast<iconv_t>(-1) || err != E2BIG)) {
      BYTE b = static_cast<BYTE>(*in);
      out.push_back(cp == 1252 || b < 0x80 ? b : 0xFFFD);
      ++in;
      --inLeft;
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

std::u16string Decode(UINT cp, const char* src, size_t n) {
  return cp == CP_UTF8 ? Utf8Decode(src, n) : IconvDecode(cp, src, n);
}

std::string Utf8Encode(const WCHAR* src, size_t n) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = src[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (src[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(&out, c);
  }
  return out;
}

std::string IconvEncode(UINT cp, const WCHAR* src, size_t n, bool* usedDefault) {
  std::string out;
  out.reserve(n * 2);
  iconv_t cd = GetConverter(cp, false);
  char chunk[1024];
  char* in = reinterpret_cast<char*>(const_cast<WCHAR*>(src));
  size_t inLeft = n * 2;
  while (inLeft > 0) {
    char* outPtr = chunk;
    size_t outLeft = sizeof(chunk);
    size_t rc = cd == reinterpret_cast<iconv_t>(-1) ? static_cast<size_t>(-1)
                                                    : iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    int err = errno;
    out.append(chunk, sizeof(chunk) - outLeft);
    if (rc == static_cast<size_t>(-1) && (cd == reinterpret_cast<iconv_t>(-1) || err != E2BIG)) {
      char16_t c;
      memcpy(&c, in, 2);
      size_t skip = 2;
      if (c >= 0xD800 && c <= 0xDBFF && inLeft >= 4) skip = 4;
      if (cp == 1252 && (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D)) {
        out.push_back(static_cast<char>(c));
      } else if (cd == reinterpret_cast<iconv_t>(-1) && c < 0x80) {
        out.push_back(static_cast<char>(c));
      } else {
        out.push_back('?');
        *usedDefault = true;
      }
      in += skip;
      inLeft = inLeft > skip ? inLeft - skip : 0;
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

bool AllAscii(const char* s, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(s[i]) >= 0x80) return false;
  return true;
}

bool AllAscii(const WCHAR* s, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (s[i] >= 0x80) return false;
  return true;
}

locale_t FoldLocale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

uint32_t Fold(uint32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  locale_t loc = FoldLocale();
  return loc ? static_cast<uint32_t>(towlower_l(static_cast<wint_t>(c), loc)) : c;
}

}  // namespace

UINT GetACP() { return g_codePage; }

bool SetSystemCodePage(UINT codePage) {
  if (!IsSupportedCodePage(codePage)) return false;
  g_codePage = codePage;
  return true;
}

UINT CodePageFromCodeset(const char* codeset) {
  std::string name;
  for (const char* p = codeset ? codeset : ""; *p; ++p) {
    if (*p == '-' || *p == '_') continue;
    name.push_back(static_cast<char>(*p >= 'a' && *p <= 'z' ? *p - 32 : *p));
  }
  if (name == "UTF8") return 65001;
  if (name == "SHIFTJIS" || name == "SJIS" || name == "CP932" || name == "WINDOWS31J" ||
      name == "MSKANJI")
    return 932;
  if (name == "GBK" || name == "GB2312" || name == "CP936" || name == "EUCCN") return 936;
  if (name == "BIG5" || name == "CP950" || name == "BIG5HKSCS") return 950;
  if (name == "EUCKR" || name == "CP949" || name == "UHC") return 949;
  return 1252;
}

void InitSystemCodePageFromLocale() {
  setlocale(LC_ALL, "");
  // Only the character set matters to us; numbers keep the C conventions.
  setlocale(LC_NUMERIC, "C");
  g_codePage = CodePageFromCodeset(nl_langinfo(CODESET));
}

UINT MaxBytesPerWideChar(UINT codePage) {
  UINT cp = Resolve(codePage);
  if (cp == CP_UTF8) return 3;
  if (cp == 1252) return 1;
  return 2;
}

BOOL IsDBCSLeadByte(BYTE ch) { return IsLeadByteIn(g_codePage, ch) ? TRUE : FALSE; }

char* CharNextA(const char* p) {
  if (*p == '\0') return const_cast<char*>(p);
  if (IsLeadByteIn(g_codePage, static_cast<BYTE>(*p)) && p[1] != '\0')
    return const_cast<char*>(p + 2);
  return const_cast<char*>(p + 1);
}

int lstrcmpiA(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  for (;; ++x, ++y) {
    if (*x >= 0x80 || *y >= 0x80) break;
    int cx = Fold(*x), cy = Fold(*y);
    if (cx != cy) return cx < cy ? -1 : 1;
    if (*x == 0) return 0;
  }
  // Non-ASCII text: compare the folded UTF-16 units of both whole strings.
  std::u16string wa = Decode(g_codePage, a, strlen(a));
  std::u16string wb = Decode(g_codePage, b, strlen(b));
  size_t n = wa.size() < wb.size() ? wa.size() : wb.size();
  for (size_t i = 0; i < n; ++i) {
    uint32_t ca = Fold(wa[i]), cb = Fold(wb[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (wa.size() == wb.size()) return 0;
  return wa.size() < wb.size() ? -1 : 1;
}

char* lstrcpynA(char* dst, const char* src, int max) {
  if (max <= 0) return dst;
  int i = 0;
  while (src[i] != '\0') {
    int step = (IsLeadByteIn(g_codePage, static_cast<BYTE>(src[i])) && src[i + 1] != '\0') ? 2 : 1;
    if (i + step > max - 1) break;
    for (int k = 0; k < step; ++k) dst[i + k] = src[i + k];
    i += step;
  }
  dst[i] = '\0';
  return dst;
}

int lstrlenA(const char* s) { return s ? static_cast<int>(strlen(s)) : 0; }

int lstrlenW(const WCHAR* s) {
  if (!s) return 0;
  int n = 0;
  while (s[n]) ++n;
  return n;
}

int MultiByteToWideChar(UINT codePage, DWORD, const char* src, int srcLength, WCHAR* dst,
                        int dstLength) {
  UINT cp = Resolve(codePage);
  if (!src || srcLength < -1 || srcLength == 0 || dstLength < 0 || (dstLength > 0 && !dst) ||
      !IsSupportedCodePage(cp)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = srcLength == -1 ? strlen(src) + 1 : static_cast<size_t>(srcLength);
  if (AllAscii(src, n)) {
    if (dstLength == 0) return static_cast<int>(n);
    if (n > static_cast<size_t>(dstLength)) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    for (size_t i = 0; i < n; ++i) dst[i] = static_cast<unsigned char>(src[i]);
    return static_cast<int>(n);
  }
  std::u16string wide = Decode(cp, src, n);
  if (dstLength == 0) return static_cast<int>(wide.size());
  if (wide.size() > static_cast<size_t>(dstLength)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(dst, wide.data(), wide.size() * sizeof(WCHAR));
  return static_cast<int>(wide.size());
}

int WideCharToMultiByte(UINT codePage, DWORD, const WCHAR* src, int srcLength, char* dst,
                        int dstLength, const char* defaultChar, BOOL* usedDefault) {
  UINT cp = Resolve(codePage);
  if (!src || srcLength < -1 || srcLength == 0 || dstLength < 0 || (dstLength > 0 && !dst) ||
      !IsSupportedCodePage(cp) || (cp == CP_UTF8 && (defaultChar || usedDefault))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n =
      srcLength == -1 ? static_cast<size_t>(lstrlenW(src)) + 1 : static_cast<size_t>(srcLength);
  if (usedDefault) *usedDefault = FALSE;
  if (AllAscii(src, n)) {
    if (dstLength == 0) return static_cast<int>(n);
    if (n > static_cast<size_t>(dstLength)) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    for (size_t i = 0; i < n; ++i) dst[i] = static_cast<char>(src[i]);
    return static_cast<int>(n);
  }
  bool defaulted = false;
  std::string narrow = cp == CP_UTF8 ? Utf8Encode(src, n) : IconvEncode(cp, src, n, &defaulted);
  if (usedDefault && defaulted) *usedDefault = TRUE;
  if (dstLength == 0) return static_cast<int>(narrow.size());
  if (narrow.size() > static_cast<size_t>(dstLength)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(dst, narrow.data(), narrow.size());
  return static_cast<int>(narrow.size());
}

WideToNarrow::WideToNarrow(const WCHAR* wide) {
  if (!wide) return;
  size_t size = (static_cast<size_t>(lstrlenW(wide)) + 1) * MaxBytesPerWideChar(CP_ACP);
  char* buffer = m_inline;
  if (size > sizeof(m_inline)) {
    m_heap = static_cast<char*>(malloc(size));
    if (!m_heap) {
      m_inline[0] = '\0';
      m_psz = m_inline;
      return;
    }
    buffer = m_heap;
  }
  buffer[0] = '\0';
  if (WideCharToMultiByte(CP_ACP, 0, wide, -1, buffer, static_cast<int>(size), nullptr, nullptr) ==
      0)
    buffer[0] = '\0';
  m_psz = buffer;
}

WideToNarrow::~WideToNarrow() { free(m_heap); }

std::string NarrowToUtf8(const char* narrow, size_t length) {
  if (g_codePage == CP_UTF8) {
    std::u16string wide = Utf8Decode(narrow, length);
    return Utf8Encode(wide.data(), wide.size());
  }
  if (AllAscii(narrow, length)) return std::string(narrow, length);
  std::u16string wide = Decode(g_codePage, narrow, length);
  return Utf8Encode(wide.data(), wide.size());
}

std::string Utf8ToNarrow(const char* utf8, size_t length) {
  if (AllAscii(utf8, length)) return std::string(utf8, length);
  std::u16string wide = Utf8Decode(utf8, length);
  if (g_codePage == CP_UTF8) return Utf8Encode(wide.data(), wide.size());
  bool defaulted = false;
  return IconvEncode(g_codePage, wide.data(), wide.size(), &defaulted);
}

std::string Utf16ToUtf8(const WCHAR* wide, size_t length) { return Utf8Encode(wide, length); }

std::u16string Utf8ToUtf16(const char* utf8, size_t length) { return Utf8Decode(utf8, length); }
