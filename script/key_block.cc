// The key block walker: applies one "{ ... }" block of a script under a key. Register mode opens
// or creates each key, writes its values and descends; unregister mode descends first and then
// removes what the script describes and nothing the script does not describe.

#include <cstring>

#include "platform/diagnostics.h"
#include "platform/text.h"
#include "registry/key_handle.h"
#include "registry/key_queries.h"
#include "registry/registry.h"
#include "script/parser.h"

namespace {

// Room for the longest key name the registry holds in any supported code page (three bytes per
// UTF-16 unit at most) and the NUL. A longer name cannot be an existing key.
constexpr size_t SAVED_NAME_SIZE = REGISTRY_MAX_KEY_NAME * 3 + 1;
// The value name of a `Val` entry is read into an area of this size.
constexpr size_t VALUE_NAME_SIZE = 260;

bool Equals(const char* token, const char* keyword) { return lstrcmpiA(token, keyword) == 0; }

// The nested-block test: exactly the one character "{".
bool IsOpenBrace(const char* token) { return token[0] == '{' && token[1] == '\0'; }

// Looks for a backslash character by character, so that the trail byte of a double-byte
// character is never taken for one.
bool HasBackslash(const char* name) {
  for (const char* p = name; *p != '\0'; p = CharNextA(p)) {
    if (*p == '\\') return true;
  }
  return false;
}

// Lends `parentKey` to a CKeyHandle for the one call that needs it as an owner, and takes it
// back before the handle could close it.
LONG DeleteTreeUnder(HKEY parentKey, const char* name) {
  CKeyHandle borrowed;
  borrowed.m_hKey = parentKey;
  LONG result = borrowed.DeleteKeyTree(name);
  borrowed.m_hKey = nullptr;
  return result;
}

}  // namespace

HRESULT CScriptParser::ParseKeyBlock(char* buffer, HKEY parentKey, BOOL registerMode,
                                     BOOL recovery) {
  ++m_nDepth;
  HRESULT hr = WalkKeyBlock(buffer, parentKey, registerMode, recovery);
  --m_nDepth;
  // The outermost walk hands on a depth failure that an unregister walk put off.
  if (m_nDepth == 0) {
    if (SUCCEEDED(hr)) hr = m_hrDeferred;
    m_hrDeferred = S_OK;
  }
  return hr;
}

HRESULT CScriptParser::WalkNestedBlock(char* buffer, HKEY key, BOOL registerMode, BOOL recovery,
                                       const char* keyName) {
  // Each nested block is one level of recursion; the registry holds no deeper keys anyway, and
  // a script nested without bound would exhaust the stack.
  if (m_nDepth >= static_cast<int>(REGISTRY_MAX_DEPTH)) {
    ReportMessage(0, "Key nesting too deep at %s\n", keyName);
    if (registerMode) return DISP_E_EXCEPTION;
    // Unregistering: nothing can exist below the limit, so the block is read past without
    // descending, and the levels above still remove what they describe (the cleanup pass after a
    // register run that failed at the limit depends on it). The run fails all the same.
    m_hrDeferred = DISP_E_EXCEPTION;
    return SkipDeepBlock(buffer);
  }
  return ParseKeyBlock(buffer, key, registerMode, recovery);
}

HRESULT CScriptParser::SkipDeepBlock(char* buffer) {
  // A loop, not a recursion: the block may be nested without bound. An assignment is consumed
  // whole, so a data token such as '}' closes nothing.
  size_t open = 1;
  for (;;) {
    HRESULT hr = NextToken(buffer);
    if (FAILED(hr)) return hr;
    if (buffer[0] == '}') {
      if (--open == 0) return S_OK;
    } else if (buffer[0] == '=') {
      if (FAILED(hr = NextToken(buffer)) || FAILED(hr = NextToken(buffer))) return hr;
    } else if (buffer[0] == '{' && buffer[1] == '\0') {
      ++open;
    }
  }
}

HRESULT CScriptParser::ConsumeKeyBlock(char* buffer, const char* keyName) {
  BOOL wasQuiet = m_bQuiet;
  m_bQuiet = TRUE;
  // An unregister walk in recovery mode reads a block by the walker's rules and makes no
  // registry call at all.
  HRESULT hr = WalkNestedBlock(buffer, nullptr, FALSE, TRUE, keyName);
  m_bQuiet = wasQuiet;
  return hr;
}

HRESULT CScriptParser::WalkNamedValue(char* buffer, HKEY parentKey, BOOL registerMode,
                                      BOOL recovery) {
  char valueName[VALUE_NAME_SIZE];
  HRESULT hr = NextToken(valueName, sizeof(valueName));
  if (FAILED(hr)) return DISP_E_EXCEPTION;
  if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
  if (buffer[0] != '=') {
    ReportMessage(0, "Equal sign expected after %s found %s\n", valueName, buffer);
    return DISP_E_EXCEPTION;
  }
  if (registerMode) {
    CKeyHandle borrowed;
    borrowed.m_hKey = parentKey;
    hr = WriteValue(borrowed, valueName, buffer);
    borrowed.m_hKey = nullptr;
    if (FAILED(hr)) return hr;
  } else {
    if (!recovery) {
      if (!m_bQuiet) ReportMessage(1, "Deleting %s\n", valueName);
      RegDeleteValueA(parentKey, valueName);
    }
    hr = SkipValueAssignment(buffer);
    if (FAILED(hr)) return hr;
  }
  // A value has no subkeys: a block here would be applied under whatever key the walk happens
  // to hold.
  if (IsOpenBrace(buffer)) {
    ReportMessage(0, "Syntax error, unexpected { after value %s\n", valueName);
    return DISP_E_EXCEPTION;
  }
  return S_OK;
}

HRESULT CScriptParser::WalkKeyBlock(char* buffer, HKEY parentKey, BOOL registerMode,
                                    BOOL recovery) {
  CKeyHandle key;
  char savedName[SAVED_NAME_SIZE];
  const BOOL entryRecovery = recovery;
  HRESULT hr;

  if (!m_bQuiet) ReportMessage(2, "Num Els = %d\n", 2);
  if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;

  while (buffer[0] != '}') {
    BOOL deleteKey = TRUE;
    BOOL force = FALSE;

    const bool isDelete = Equals(buffer, "Delete");
    if (isDelete || Equals(buffer, "ForceRemove")) {
      if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
      if (registerMode) {
        if (HasBackslash(buffer)) {
          ReportMessage(0, "Compound keys not supported %s", buffer);
          return DISP_E_EXCEPTION;
        }
        // A missing key, or a tree that goes only part of the way, is no error here.
        if (MayForceRemove(buffer)) DeleteTreeUnder(parentKey, buffer);
        if (isDelete) {
          // The key is removed, not filled: its assignment and block are read past.
          lstrcpynA(savedName, buffer, static_cast<int>(sizeof(savedName)));
          if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
          hr = SkipValueAssignment(buffer);
          if (FAILED(hr)) return hr;
          if (IsOpenBrace(buffer)) {
            hr = ConsumeKeyBlock(buffer, savedName);
            if (FAILED(hr)) return hr;
            if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
          }
          continue;
        }
      } else {
        force = TRUE;
      }
    }

    if (Equals(buffer, "NoRemove")) {
      deleteKey = FALSE;
      if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
    }

    if (Equals(buffer, "Val")) {
      hr = WalkNamedValue(buffer, parentKey, registerMode, recovery);
      if (FAILED(hr)) return hr;
      continue;
    }

    if (HasBackslash(buffer)) {
      ReportMessage(0, "Compound keys not supported %s\n", buffer);
      return DISP_E_EXCEPTION;
    }
    // The token buffer is overwritten before the key is done with; messages and deletions name
    // the key by this copy.
    const bool nameFits = strlen(buffer) < sizeof(savedName);
    lstrcpynA(savedName, buffer, static_cast<int>(sizeof(savedName)));

    if (registerMode) {
      if (key.Open(parentKey, buffer, KEY_ALL_ACCESS) != ERROR_SUCCESS &&
          key.Open(parentKey, buffer, KEY_READ) != ERROR_SUCCESS) {
        if (!m_bQuiet) ReportMessage(2, "Creating key %s\n", buffer);
        if (key.Create(parentKey, buffer, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                       nullptr) != ERROR_SUCCESS) {
          ReportMessage(0, "Unable to create key %s\n", buffer);
          return DISP_E_EXCEPTION;
        }
      }
      if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
      if (buffer[0] == '=') {
        hr = WriteValue(key, nullptr, buffer);
        if (FAILED(hr)) return hr;
      }
      if (IsOpenBrace(buffer)) {
        hr = WalkNestedBlock(buffer, key.m_hKey, TRUE, FALSE, savedName);
        if (FAILED(hr)) return hr;
        if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
      }
      continue;
    }

    // Unregister mode. A key that cannot be opened, or a name no key can have, puts the rest of
    // this entry into recovery mode: it is read, and nothing in the registry is touched.
    if (!recovery) {
      if (!nameFits || key.Open(parentKey, buffer, KEY_READ) != ERROR_SUCCESS) recovery = TRUE;
    }

    bool tokenRead = false;  // whether buffer already holds the token after the entry
    bool removable = !recovery && !KeyHasSubkeys(key.m_hKey) && !KeyHasNamedValues(key.m_hKey);
    if (!removable) {
      if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
      hr = SkipValueAssignment(buffer);
      if (FAILED(hr)) return hr;
      tokenRead = true;
      if (IsOpenBrace(buffer)) {
        hr = WalkNestedBlock(buffer, recovery ? nullptr : key.m_hKey, FALSE, recovery, savedName);
        if (FAILED(hr)) return hr;
        if (recovery) {
          recovery = entryRecovery;
          if (!m_bQuiet) ReportMessage(1, "Ending Recovery Mode\n");
          if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
          hr = SkipValueAssignment(buffer);
          if (FAILED(hr)) return hr;
          continue;
        }
        // buffer holds the nested block's closing token.
        tokenRead = false;
      } else if (recovery) {
        recovery = entryRecovery;
        if (!m_bQuiet) ReportMessage(1, "Ending Recovery Mode\n");
        continue;
      }

      if (KeyHasSubkeys(key.m_hKey)) {
        if (force && MayForceRemove(savedName)) {
          if (!m_bQuiet) ReportMessage(1, "Deleting non-empty subkey %s by force\n", savedName);
          DeleteTreeUnder(parentKey, savedName);
        }
        // The key stays open until the next key replaces it or the walk ends.
        if (!tokenRead && FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
        continue;
      }
      // No subkey: the key goes unless it holds a value the script does not describe.
      if (!force && KeyHasNamedValues(key.m_hKey)) deleteKey = FALSE;
    }

    if (key.Close() != ERROR_SUCCESS) {
      ReportMessage(0, "Key Close Failed\n");
      return DISP_E_EXCEPTION;
    }
    if (deleteKey) {
      if (!m_bQuiet) ReportMessage(1, "Deleting Key %s\n", savedName);
      RegDeleteKeyA(parentKey, savedName);
    }

    if (removable) {
      if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
      hr = SkipValueAssignment(buffer);
      if (FAILED(hr)) return hr;
      if (IsOpenBrace(buffer)) {
        // The key had nothing the block could describe: read the block in recovery mode.
        hr = WalkNestedBlock(buffer, nullptr, FALSE, TRUE, savedName);
        if (FAILED(hr)) return hr;
        if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
        hr = SkipValueAssignment(buffer);
        if (FAILED(hr)) return hr;
      }
    } else if (!tokenRead) {
      // After a nested block, as in register mode, only the next token is read.
      if (FAILED(NextToken(buffer))) return DISP_E_EXCEPTION;
    }
  }
  return S_OK;
}
