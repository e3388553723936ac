// The application object: its start-up routine is the whole run of the program.
#pragma once

#include "platform/framework.h"

class CScriptApp : public CWinApp {
 public:
  CScriptApp() : CWinApp(nullptr) {}
  ~CScriptApp() override = default;

  // Parses the command line, runs one branch (associations, script file or usage) to its end
  // and returns 0, so the framework ends the process.
  BOOL InitInstance() override;
};
