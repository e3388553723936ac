// The script runner: reads each root entry (a root key name and a block), walks the block under
// that root key, and after a failed registration takes the failed block back with one
// unregister pass over it.

#include "registrar/runner.h"

#include "platform/diagnostics.h"
#include "platform/text.h"
#include "script/parser.h"

const RootKeyRow RootKeyTable[14] = {
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKU", HKEY_USERS},
    {"HKPD", HKEY_PERFORMANCE_DATA},
    {"HKDD", HKEY_DYN_DATA},
    {"HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

HKEY HKeyFromString(const char* name) {
  for (const RootKeyRow& row : RootKeyTable) {
    if (lstrcmpiA(name, row.name) == 0) return row.key;
  }
  return nullptr;
}

HRESULT CScriptParser::RunScriptText(char* text, BOOL registerMode) {
  char buffer[TOKEN_BUFFER_SIZE];
  m_pchCur = text;
  if (*m_pchCur == '\0') return S_OK;

  HRESULT hr = S_OK;
  for (;;) {
    hr = NextToken(buffer);
    if (FAILED(hr)) return hr;
    HKEY root = HKeyFromString(buffer);
    if (root == nullptr) {
      ReportMessage(0, "HKeyFromString failed on %s\n", buffer);
      return DISP_E_EXCEPTION;
    }
    hr = NextToken(buffer);
    if (FAILED(hr)) return hr;
    // Only the first byte counts: any token that begins with "{" opens the block.
    if (buffer[0] != '{') {
      ReportMessage(0, "Syntax error, expecting a {, found a %s\n", buffer);
      return DISP_E_EXCEPTION;
    }

    if (registerMode) {
      char* blockStart = m_pchCur;
      hr = ParseKeyBlock(buffer, root, TRUE, FALSE);
      if (FAILED(hr)) {
        ReportMessage(0, "Failed to register, cleaning up!\n");
        m_pchCur = blockStart;
        ParseKeyBlock(buffer, root, FALSE, FALSE);
        return hr;
      }
    } else {
      hr = ParseKeyBlock(buffer, root, FALSE, FALSE);
      if (FAILED(hr)) return hr;
    }

    SkipBlanks();
    if (*m_pchCur == '\0') return hr;
  }
}
