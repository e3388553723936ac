#include "platform/framework.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "platform/text.h"

namespace {

CWinApp* g_app = nullptr;
int g_argc = 0;
const char* const* g_argv = nullptr;

std::vector<void (*)()>& ExitHandlers() {
  static std::vector<void (*)()> handlers;
  return handlers;
}

// The base name of a path without its extension: "/usr/bin/keyfold" gives "keyfold".
std::string ProgramName(const char* path) {
  std::string name = path ? path : "";
  size_t slash = name.rfind('/');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot != 0) name.erase(dot);
  return name.empty() ? "keyfold" : name;
}

bool IsFlag(const char* arg) {
  if (arg[0] == '-') return true;
  if (arg[0] != '/') return false;
  // An absolute path: another "/" past the second character.
  return arg[1] == '\0' || strchr(arg + 2, '/') == nullptr;
}

}  // namespace

void CCommandLineInfo::ParseParam(const char* param, BOOL flag, BOOL) {
  if (flag) return;
  if (m_strFileName.IsEmpty()) m_strFileName = param;
}

void ParseCommandLineArgs(int argc, const char* const* argv, CCommandLineInfo& info) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    BOOL last = i == argc - 1;
    if (IsFlag(arg))
      info.ParseParam(arg + 1, TRUE, last);
    else
      info.ParseParam(arg, FALSE, last);
  }
}

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() {
  AfxRunExitHandlers();
  return 0;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info) {
  ParseCommandLineArgs(g_argc, g_argv, info);
}

CWinApp* AfxGetApp() { return g_app; }

void AfxRegisterExitHandler(void (*handler)()) {
  for (auto h : ExitHandlers())
    if (h == handler) return;
  ExitHandlers().push_back(handler);
}

void AfxRunExitHandlers() {
  std::vector<void (*)()> handlers;
  handlers.swap(ExitHandlers());
  for (auto it = handlers.rbegin(); it != handlers.rend(); ++it) (*it)();
}

int AfxWinMain(int argc, char** argv) {
  InitSystemCodePageFromLocale();
  g_argc = argc;
  g_argv = argv;
  CWinApp* app = AfxGetApp();
  SetMessageBoxTitle(app && app->m_pszAppName ? app->m_pszAppName
                                              : ProgramName(argc > 0 ? argv[0] : nullptr));
  if (app) {
    app->InitInstance();
    app->ExitInstance();
  }
  return 0;
}
