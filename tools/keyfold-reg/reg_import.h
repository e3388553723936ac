// The import command: reads a whole .reg file ("REGEDIT4" or "Windows Registry Editor Version
// 5.00"; UTF-8, or UTF-16LE with its byte order mark; LF or CRLF) into a list of changes, checks
// every line, and only then applies the changes.
#pragma once

#include <string>
#include <vector>

#include "tools/keyfold-reg/arguments.h"
#include "tools/keyfold-reg/key_path.h"

struct RegChange {
  enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = kCreateKey;
  int line = 0;  // where the change is written in the file
  KeyPath key;   // kCreateKey, kDeleteKey; values go to the key created last
  std::string name;
  DWORD type = 0;
  std::string data;  // as RegSetValueExA takes it: strings in UTF-8
};

// Parses the whole file. Returns false and sets *error to "<line>: <what is wrong>" (the line
// number alone, without the file's name) at the first bad line; *changes is then incomplete.
bool ParseRegFile(const std::string& bytes, std::vector<RegChange>* changes, std::string* error);

// Applies the changes in order. Deleting a key or value that is not there is no error. Returns
// false and sets *error, which names the file and the line, at the first change that fails; the
// caller drops the transaction so that nothing of the file stays applied.
bool ApplyRegChanges(const std::vector<RegChange>& changes, const std::string& fileName,
                     std::string* error);

// Reads, checks and applies the file named in `args`; returns false after printing the error.
bool RunImport(const Arguments& args);
