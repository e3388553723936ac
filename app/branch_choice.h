// Which of the three branches a parsed command line runs, and the usage branch itself.
#pragma once

#include "app/command_line.h"

enum class Branch { kAssociations, kUsage, kFile };

// Tested in this order: /a or /r, then /?, then an empty file name, else the file branch.
Branch ChooseBranch(const CScriptCommandLineInfo& info);

// The usage box's text, byte for byte.
extern const char kUsageText[];

// Shows the usage text in one box, whatever /s says.
void ShowUsage();
