#include "app/command_line.h"

#include "platform/diagnostics.h"
#include "platform/text.h"

void CScriptCommandLineInfo::ParseParam(const char* param, BOOL flag, BOOL last) {
  if (!flag) {
    CCommandLineInfo::ParseParam(param, flag, last);
    return;
  }
  if (lstrcmpiA(param, "u") == 0) {
    m_bRegister = 0;
  } else if (lstrcmpiA(param, "?") == 0) {
    m_bShowUsage = 1;
  } else if (lstrcmpiA(param, "s") == 0) {
    g_bShowMessages = 0;
  } else if (lstrcmpiA(param, "a") == 0) {
    m_bAddAssociations = 1;
  } else if (lstrcmpiA(param, "r") == 0) {
    m_bRemoveAssociations = 1;
  } else if (lstrcmpiA(param, "v") == 0) {
    g_nMessageLevel = 5;
    m_bVerbose = 1;
  }
}
