// The replacement pass over arbitrary text in the code pages 1252, 65001 and 932 (chosen by the
// first byte), with "Module" set to a value holding quotes, percent signs, backslashes and
// double-byte characters.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/lock.h"
#include "platform/memory.h"
#include "platform/text.h"
#include "registrar/registrar.h"
#include "script/parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSetUp();
  if (size == 0) return 0;
  static const UINT kCodePages[] = {1252, 65001, 932};
  UINT codePage = kCodePages[data[0] % 3];
  if (!SetSystemCodePage(codePage)) abort();
  std::vector<char> text(data + 1, data + size);
  text.push_back('\0');

  CScriptRegistrar registrar;
  EnterCriticalSection(&registrar.lock);
  registrar.map.Add(u"Module", kFuzzModulePath);
  registrar.map.Add(u"Other", u"%Module%\\\\;'{}");
  LeaveCriticalSection(&registrar.lock);

  CScriptParser parser(&registrar);
  char* expanded = nullptr;
  HRESULT hr = parser.ExpandReplacements(text.data(), &expanded);
  if (FAILED(hr)) {
    if (expanded != nullptr) abort();
  } else {
    if (expanded == nullptr) abort();
    size_t length = strlen(expanded);
    // Text without percent signs and backslashes is copied as it is, in every code page
    // (neither byte is ever a lead byte).
    if (strpbrk(text.data(), "%\\") == nullptr && strcmp(expanded, text.data()) != 0) abort();
    // Only replacements make text longer.
    if (strchr(text.data(), '%') == nullptr && length > strlen(text.data())) abort();
    CoTaskMemFree(expanded);
  }
  EndInput();
  return 0;
}
