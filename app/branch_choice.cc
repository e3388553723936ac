#include "app/branch_choice.h"

#include "platform/message_box.h"

const char kUsageText[] =
    "No registry script specified.\n"
    "\n"
    "Usage: Keyfold [[/u] [/s] [/v] filename] [/a] [/r]\n"
    "/u   -  Unregister Script\n"
    "/s   -  Silent; no message boxes\n"
    "/v   -  Verbose mode\n"
    "/a   -  Add associations - filename ignored\n"
    "/r   -  Remove associations - filename ignored\n";

Branch ChooseBranch(const CScriptCommandLineInfo& info) {
  if (info.m_bAddAssociations || info.m_bRemoveAssociations) return Branch::kAssociations;
  if (info.m_bShowUsage) return Branch::kUsage;
  if (info.m_strFileName.IsEmpty()) return Branch::kUsage;
  return Branch::kFile;
}

void ShowUsage() { AfxMessageBox(kUsageText, MB_OK); }
