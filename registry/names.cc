#include "registry/names.h"

#include <locale.h>
#include <wctype.h>

#include "platform/text.h"

namespace {

bool IsAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

locale_t FoldingLocale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

}  // namespace

std::string NameToUtf8(const char* narrow, size_t length) { return NarrowToUtf8(narrow, length); }

std::string NameFromUtf8(const std::string& utf8) { return Utf8ToNarrow(utf8.data(), utf8.size()); }

std::string FoldName(const std::string& utf8) {
  if (IsAscii(utf8)) {
    std::string folded = utf8;
    for (char& c : folded)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return folded;
  }
  std::u16string wide = Utf8ToUtf16(utf8.data(), utf8.size());
  locale_t loc = FoldingLocale();
  for (char16_t& c : wide) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    if (c < 0x80) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char16_t>(c + 32);
    } else if (loc) {
      wint_t lower = towlower_l(static_cast<wint_t>(c), loc);
      if (lower <= 0xFFFF && (lower < 0xD800 || lower > 0xDFFF)) c = static_cast<char16_t>(lower);
    }
  }
  return Utf16ToUtf8(wide.data(), wide.size());
}

size_t NameLengthInUnits(const std::string& utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) == 0x80) continue;  // continuation byte
    units += c >= 0xF0 ? 2 : 1;        // four-byte sequences are surrogate pairs
  }
  return units;
}
