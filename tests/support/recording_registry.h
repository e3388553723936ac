// A registry wrapper for tests: while it lives it is the operations table every Reg* function
// calls. It records each call as one readable line, can make chosen calls fail, and forwards
// every other call to the table it replaced (normally the store).
//
// Line format, one per call, in call order (names are the narrow bytes as passed; a null or
// empty value name shows as "default", a null subkey name as ""; access masks in lower-case hex):
//   OpenKeyEx(<subkey>, 0x<access>)      CreateKeyEx(<subkey>, 0x<access>)
//   CloseKey()                          SetValueEx(<value>, <REG_SZ|REG_DWORD|REG_BINARY|n>)
//   DeleteValue(<value>)                DeleteKey(<subkey>)
//   EnumKeyEx(<index>)                  QueryInfoKey()
//   EnumValue(<index>)                  QueryValueEx(<value>)
// A call made to fail is recorded like any other; it is not forwarded, returns the chosen error
// and, for OpenKeyEx and CreateKeyEx, sets the out handle to null.
#pragma once

#include <string>
#include <vector>

#include "registry/registry_api.h"

class RecordingRegistry : public RegistryApi {
 public:
  // Installs itself; the destructor puts back the table it replaced.
  RecordingRegistry();
  ~RecordingRegistry() override;
  RecordingRegistry(const RecordingRegistry&) = delete;
  RecordingRegistry& operator=(const RecordingRegistry&) = delete;

  // Every call recorded so far, and the same joined with "\n" (no trailing line feed).
  const std::vector<std::string>& calls() const { return m_calls; }
  std::string Joined() const;
  // Forgets the recorded lines (the call counter used by FailCall keeps counting).
  void ClearCalls() { m_calls.clear(); }

  // Makes the k-th call made through this wrapper fail with `error` (k counts from 1, over all
  // operations, since construction).
  void FailCall(size_t k, LONG error);
  // Makes every call of `operation` (the line's name, e.g. "OpenKeyEx") fail with `error` when
  // its name argument equals `name` without regard to case; a null `name` matches every call of
  // that operation. For operations without a name argument only a null `name` matches.
  void FailOperation(const char* operation, const char* name, LONG error);
  // Number of calls made through this wrapper since construction.
  size_t callCount() const { return m_count; }

  LONG OpenKeyEx(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) override;
  LONG CreateKeyEx(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                   REGSAM access, const SECURITY_ATTRIBUTES* security, PHKEY result,
                   LPDWORD disposition) override;
  LONG CloseKey(HKEY key) override;
  LONG SetValueEx(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                  DWORD size) override;
  LONG DeleteValue(HKEY key, LPCSTR valueName) override;
  LONG DeleteKey(HKEY key, LPCSTR subKey) override;
  LONG EnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                 LPSTR className, LPDWORD classLength, FILETIME* lastWriteTime) override;
  LONG QueryInfoKey(HKEY key, LPSTR className, LPDWORD classLength, LPDWORD reserved,
                    LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                    LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                    LPDWORD securityDescriptorSize, FILETIME* lastWriteTime) override;
  LONG EnumValue(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength, LPDWORD reserved,
                 LPDWORD type, LPBYTE data, LPDWORD dataSize) override;
  LONG QueryValueEx(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                    LPDWORD dataSize) override;

 private:
  struct Rule {
    std::string operation;
    bool anyName;
    std::string name;
    LONG error;
  };

  // Records the line and returns the injected error for this call, or 0 to forward it.
  LONG Record(const char* operation, const std::string& arguments, bool hasName, const char* name);

  RegistryApi* m_previous;
  RegistryApi& m_next;
  std::vector<std::string> m_calls;
  std::vector<Rule> m_rules;
  std::vector<std::pair<size_t, LONG>> m_failAt;
  size_t m_count = 0;
};
