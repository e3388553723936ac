// The two branches that run a script: the association script stored in the executable (/a, /r)
// and the script file named on the command line. Each shows its outcome box and returns.
#pragma once

#include "app/command_line.h"

void RunAssociationBranch(const CScriptCommandLineInfo& info);
void RunFileBranch(const CScriptCommandLineInfo& info);
