#include "app/branches.h"

#include <string>
#include <vector>

#include "platform/cstring.h"
#include "platform/diagnostics.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/lock.h"
#include "platform/message_box.h"
#include "platform/module.h"
#include "platform/text.h"
#include "registrar/registrar.h"
#include "registry/store.h"

namespace {

const WCHAR kModuleName[] = u"Module";
const WCHAR kRegistryType[] = u"REGISTRY";
constexpr WORD kAssociationScriptId = 129;

// The narrow path as wide text of the system code page, sized for its length and terminator.
std::vector<WCHAR> ToWide(const std::string& narrow) {
  std::vector<WCHAR> wide(narrow.size() + 1, u'\0');
  if (MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, wide.data(),
                          static_cast<int>(wide.size())) == 0)
    wide[0] = u'\0';
  return wide;
}

// Gives the registrar its one replacement, "Module", with the path's single quotes doubled. The
// result is not examined: a script that needs %Module% reports its absence itself.
void AddModuleReplacement(CScriptRegistrar& registrar, const WCHAR* path) {
  std::vector<WCHAR> quoted(2 * static_cast<size_t>(lstrlenW(path)) + 1);
  QuoteSingleQuotes(quoted.data(), path);
  EnterCriticalSection(&registrar.lock);
  registrar.map.Add(kModuleName, quoted.data());
  LeaveCriticalSection(&registrar.lock);
}

// Commits what the run wrote before its outcome is shown, so that a run whose changes cannot be
// saved is not reported as a success.
HRESULT SaveRun(HRESULT hr) {
  LONG error = CommitRegistry();
  if (error == ERROR_SUCCESS) return hr;
  ReportMessage(0, "Cannot save the registry changes (error %ld)\n", static_cast<long>(error));
  return FAILED(hr) ? hr : HRESULT_FROM_WIN32(static_cast<DWORD>(error));
}

}  // namespace

void QuoteSingleQuotes(WCHAR* destination, const WCHAR* source) {
  for (; *source; ++source) {
    if (*source == u'\'') *destination++ = u'\'';
    *destination++ = *source;
  }
  *destination = u'\0';
}

std::string FullPathOf(const char* name) {
  DWORD needed = GetFullPathNameA(name, 0, nullptr, nullptr);
  if (needed == 0) return name;
  std::string full(needed, '\0');
  DWORD length = GetFullPathNameA(name, needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return name;
  full.resize(length);
  return full;
}

std::string ProgramPath() {
  std::string path(4096, '\0');
  for (;;) {
    DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length > 0) {
      path.resize(length);
      return path;
    }
    if (path.size() >= (1u << 20)) return std::string();
    path.resize(path.size() * 2);
  }
}

void RunAssociationBranch(const CScriptCommandLineInfo& info) {
  CScriptRegistrar registrar;
  std::vector<WCHAR> path = ToWide(ProgramPath());
  AddModuleReplacement(registrar, path.data());
  BOOL registerMode = info.m_bAddAssociations ? TRUE : FALSE;
  WideToNarrow type(kRegistryType);
  HRESULT hr = SaveRun(registrar.RunScriptResource(
      path.data(), MAKEINTRESOURCEA(kAssociationScriptId), type, registerMode));
  const char* outcome = "Failed";
  if (SUCCEEDED(hr))
    outcome = registerMode ? "Keyfold extensions installed" : "Keyfold extensions removed";
  AfxMessageBox(outcome, MB_OK);
}

void RunFileBranch(const CScriptCommandLineInfo& info) {
  CScriptRegistrar registrar;
  std::string fullPath = FullPathOf(info.m_strFileName);
  std::vector<WCHAR> path = ToWide(fullPath);
  AddModuleReplacement(registrar, path.data());
  HRESULT hr = SaveRun(registrar.RunScriptFile(path.data(), info.m_bRegister));
  if (!g_bShowMessages) return;
  CString outcome;
  if (SUCCEEDED(hr))
    outcome.Format("Script <%s> %s registry successfully.", fullPath.c_str(),
                   info.m_bRegister ? "added to" : "removed from");
  else
    outcome.Format("Errors in running script <%s>.", fullPath.c_str());
  AfxMessageBox(outcome, MB_OK);
}
