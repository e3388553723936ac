// The two branches that run a script: the association script stored in the executable (/a, /r)
// and the script file named on the command line. Each shows its outcome box and returns.
#pragma once

#include <string>

#include "app/command_line.h"
#include "platform/types.h"

// Runs the association script (resource 129 of type "REGISTRY" in the program's own file) in
// register mode when /a was given, else in unregister mode, with "Module" set to the program's
// path. Shows "Keyfold extensions installed", "Keyfold extensions removed" or "Failed", also
// under /s.
void RunAssociationBranch(const CScriptCommandLineInfo& info);

// Runs the named script file, with "Module" set to its full path, in the mode of /u. Unless /s,
// shows "Script <path> added to|removed from registry successfully." or
// "Errors in running script <path>.".
void RunFileBranch(const CScriptCommandLineInfo& info);

// Copies `source` to `destination`, writing every single quote twice, and terminates it. The
// destination holds at least 2 * lstrlenW(source) + 1 characters.
void QuoteSingleQuotes(WCHAR* destination, const WCHAR* source);

// The absolute form of `name` (current directory, "." and ".." folded), however long.
std::string FullPathOf(const char* name);
// The real path of the running program, however long.
std::string ProgramPath();
