// The command line: a verb, its key or file arguments and its options. Options start with "/"
// or "-" and are matched in any case.
#pragma once

#include <string>

enum class Verb { kHelp, kQuery, kAdd, kDelete, kExport, kImport };

struct Arguments {
  Verb verb = Verb::kHelp;
  std::string key;            // query, add, delete, export
  std::string file;           // export, import; "-" is standard output or input
  bool hasValueName = false;  // /v NAME
  std::string valueName;
  bool defaultValue = false;  // /ve
  bool allValues = false;     // /va
  bool subtree = false;       // /s
  bool force = false;         // /f
  bool overwrite = false;     // /y
  bool utf16 = false;         // /utf16
  bool hasType = false;       // /t TYPE
  std::string typeName;
  bool hasData = false;  // /d DATA
  std::string data;
};

// Parses the arguments after the program name. Returns false and sets *error (one line, in
// words) for an unknown verb or option, a missing or extra argument, or options that exclude
// each other. /?, -?, -h and --help anywhere give Verb::kHelp.
bool ParseArguments(int argc, const char* const* argv, Arguments* args, std::string* error);

// The usage text printed for --help.
const char* UsageText();
