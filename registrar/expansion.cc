// The replacement pass: copies a script, replacing %name% by the map's value, "%%" by "%" and
// "\\" by "\", before the script runs.
#include <climits>
#include <cstring>

#include "platform/diagnostics.h"
#include "platform/text.h"
#include "registrar/registrar.h"
#include "registrar/text_builder.h"
#include "script/parser.h"

namespace {

// A replacement name holds 1 to 31 bytes; the buffer adds the terminator.
constexpr int kNameBufferSize = 32;

// The value for `name` from the registrar's map, looked up under its lock. Reports the first
// of the two not-found messages while the lock is still held, as the map's users expect.
LPCWSTR LookupUnderLock(CScriptRegistrar* registrar, const char* name) {
  if (registrar == nullptr) {
    ReportMessage(0, "Map Entry not found\n");
    return nullptr;
  }
  EnterCriticalSection(&registrar->lock);
  LPCWSTR value = registrar->map.Lookup(name);
  if (value == nullptr) ReportMessage(0, "Map Entry not found\n");
  LeaveCriticalSection(&registrar->lock);
  return value;
}

}  // namespace

HRESULT CScriptParser::ExpandReplacements(const char* text, char** expanded) {
  *expanded = nullptr;
  size_t inputLength = strlen(text);
  // The builder's sizes are 32-bit; an input whose doubled size does not fit is refused.
  if (inputLength > INT_MAX / 2) return E_OUTOFMEMORY;
  CTextBuilder out;
  if (FAILED(out.Start(static_cast<int>(2 * inputLength)))) return E_OUTOFMEMORY;

  HRESULT hr = S_OK;
  m_pchCur = const_cast<char*>(text);
  while (*m_pchCur != '\0' && SUCCEEDED(hr)) {
    if (*m_pchCur == '%') {
      NextChar();
      if (*m_pchCur == '%') {
        hr = out.AppendByte('%');
        NextChar();
        continue;
      }
      const char* name = m_pchCur;
      const char* close = name;
      while (*close != '\0' && *close != '%') close = CharNextA(close);
      if (*close == '\0') {
        ReportMessage(0, "Error no closing %% found\n");
        return DISP_E_EXCEPTION;
      }
      size_t nameLength = static_cast<size_t>(close - name);
      if (nameLength >= kNameBufferSize) {
        ReportMessage(0, "Replaceable key too long %s\n", name);
        return E_FAIL;
      }
      char nameBuffer[kNameBufferSize];
      memcpy(nameBuffer, name, nameLength);
      nameBuffer[nameLength] = '\0';
      LPCWSTR value = LookupUnderLock(m_pRegistrar, nameBuffer);
      if (value == nullptr) {
        ReportMessage(0, "<%s> Not found in map\n", nameBuffer);
        return DISP_E_EXCEPTION;
      }
      // The value is copied as it is: nothing in it is expanded again.
      WideToNarrow narrow(value);
      for (const char* v = narrow; *v != '\0' && SUCCEEDED(hr); v = CharNextA(v))
        hr = out.AppendChar(v);
      m_pchCur = const_cast<char*>(close);
      NextChar();
    } else if (*m_pchCur == '\\') {
      hr = out.AppendByte('\\');
      NextChar();
      if (*m_pchCur == '\0') break;
      if (*m_pchCur == '\\') {
        NextChar();  // two backslashes yield one
      } else {
        if (SUCCEEDED(hr)) hr = out.AppendChar(m_pchCur);
        NextChar();
      }
    } else {
      hr = out.AppendChar(m_pchCur);
      NextChar();
    }
  }
  if (SUCCEEDED(hr)) hr = out.AppendByte('\0');
  if (FAILED(hr)) return hr;  // the builder frees the partial text
  *expanded = out.Detach();
  return S_OK;
}
