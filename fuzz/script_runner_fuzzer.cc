// Arbitrary bytes as a script: the tokenizer alone, then the replacement pass and the runner in
// register mode and in unregister mode, against a store in a temporary directory.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/lock.h"
#include "platform/memory.h"
#include "registrar/registrar.h"
#include "script/parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSetUp();
  // The text ends at its first NUL, as a loaded script does.
  std::vector<char> text(data, data + size);
  text.push_back('\0');

  // Every token of the raw text, until the first failure. Each read must consume something.
  {
    CScriptParser parser;
    parser.m_pchCur = text.data();
    char buffer[TOKEN_BUFFER_SIZE];
    while (true) {
      const char* before = parser.m_pchCur;
      if (FAILED(parser.NextToken(buffer))) break;
      if (parser.m_pchCur == before) abort();  // a token read that moved nothing would loop
      if (strlen(buffer) > TOKEN_BUFFER_SIZE - 1) abort();
    }
  }

  CScriptRegistrar registrar;
  EnterCriticalSection(&registrar.lock);
  registrar.map.Add(u"Module", kFuzzModulePath);
  LeaveCriticalSection(&registrar.lock);
  for (BOOL registerMode : {TRUE, FALSE}) {
    CScriptParser parser(&registrar);
    char* expanded = nullptr;
    HRESULT hr = parser.ExpandReplacements(text.data(), &expanded);
    if (FAILED(hr)) {
      if (expanded != nullptr) abort();  // a failed pass hands out nothing
      break;
    }
    parser.RunScriptText(expanded, registerMode);
    CoTaskMemFree(expanded);
  }
  EndInput();
  return 0;
}
