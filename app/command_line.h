// The command-line record: which script to run, in which mode, or whether to install or remove
// the shell association instead. /s and /v act on the message globals at once.
#pragma once

#include "platform/framework.h"

class CScriptCommandLineInfo : public CCommandLineInfo {
 public:
  CScriptCommandLineInfo() = default;
  ~CScriptCommandLineInfo() override = default;

  // A plain argument becomes the file name while none is stored; a flag is compared as a whole,
  // without regard to case, with u ? s a r v; any other flag is ignored without a word.
  void ParseParam(const char* param, BOOL flag, BOOL last) override;

  BOOL m_bAddAssociations = 0;
  BOOL m_bRemoveAssociations = 0;
  BOOL m_bRegister = 1;
  BOOL m_bShowUsage = 0;
  BOOL m_bVerbose = 0;
};
