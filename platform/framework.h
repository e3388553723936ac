// The application framework: one global application object whose start-up routine does the
// whole run, the command-line record with its per-parameter hook, and the exit routine.
#pragma once

#include "platform/cstring.h"
#include "platform/types.h"

// The command-line record. The parser hands it every argument after the program's name.
class CCommandLineInfo {
 public:
  CCommandLineInfo() = default;
  virtual ~CCommandLineInfo() = default;

  // `param` is the argument, without its leading "/" or "-" when `flag` is set; `last` is set for
  // the final argument. The default stores the first non-empty plain argument as the file name.
  virtual void ParseParam(const char* param, BOOL flag, BOOL last);

  CString m_strFileName;
};

// Splits the arguments the way the framework hands them to ParseParam: an argument starting with
// "/" or "-" is a flag and loses that character, except an argument starting with "/" that holds
// another "/" later than directly after the first (an absolute path), which is a plain argument.
void ParseCommandLineArgs(int argc, const char* const* argv, CCommandLineInfo& info);

class CWinApp {
 public:
  // Constructs the one application object; a null name means the program file's base name.
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The start-up routine; returning 0 ends the process without a message loop.
  virtual BOOL InitInstance();
  // The exit routine: runs every handler registered with AfxRegisterExitHandler, latest first.
  virtual int ExitInstance();

  // Parses the process's arguments into `info` (see ParseCommandLineArgs).
  void ParseCommandLine(CCommandLineInfo& info);

  const char* m_pszAppName = nullptr;
};

// The application object, or null before it is constructed.
CWinApp* AfxGetApp();

// Registers work for the exit routine (the registry commits its transaction there). Handlers run
// once each; registering the same handler twice keeps one.
void AfxRegisterExitHandler(void (*handler)());
// Runs and forgets the registered handlers, latest first. The exit routine calls this.
void AfxRunExitHandlers();

// What main does: initialise the platform, run the start-up routine, run the exit routine,
// return 0.
int AfxWinMain(int argc, char** argv);
