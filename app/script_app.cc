#include "app/script_app.h"

#include "app/branch_choice.h"
#include "app/branches.h"
#include "app/command_line.h"

BOOL CScriptApp::InitInstance() {
  CScriptCommandLineInfo info;
  ParseCommandLine(info);
  switch (ChooseBranch(info)) {
    case Branch::kAssociations:
      RunAssociationBranch(info);
      break;
    case Branch::kUsage:
      ShowUsage();
      break;
    case Branch::kFile:
      RunFileBranch(info);
      break;
  }
  return FALSE;
}
