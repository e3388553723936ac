#include "tools/keyfold-reg/edit.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/keyfold-reg/key_path.h"
#include "tools/keyfold-reg/key_walk.h"
#include "tools/keyfold-reg/report.h"
#include "tools/keyfold-reg/value_text.h"

namespace {

// Asks the person at the terminal; without one, says that /f is needed and declines.
bool Confirm(const std::string& question) {
  if (!isatty(STDIN_FILENO)) {
    PrintError(question + " Not asked without a terminal: give /f to go ahead.");
    return false;
  }
  fprintf(stderr, "%s (Yes/No) ", question.c_str());
  fflush(stderr);
  char answer[64] = {};
  if (!fgets(answer, sizeof answer, stdin) || (answer[0] != 'y' && answer[0] != 'Y')) {
    PrintError("nothing changed");
    return false;
  }
  return true;
}

std::string ValueLabel(const std::string& name) {
  return name.empty() ? std::string("the default value") : "value \"" + name + "\"";
}

}  // namespace

bool RunAdd(const Arguments& args) {
  KeyPath path;
  std::string error;
  if (!ParseKeyPath(args.key, &path, &error)) {
    PrintError(error);
    return false;
  }
  bool setValue = args.hasValueName || args.defaultValue;
  DWORD type = REG_SZ;
  std::string data;
  if (setValue) {
    if (args.hasType && !TypeFromName(args.typeName, &type)) {
      PrintError("\"" + args.typeName +
                 "\" is not a type add can write (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, "
                 "REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE)");
      return false;
    }
    if (!DataFromText(type, args.data, &data, &error)) {
      PrintError("bad data for " + TypeName(type) + ": " + error);
      return false;
    }
  }
  OpenKey key;
  LONG rc = key.Create(path.root, path.subKey);
  if (rc != ERROR_SUCCESS) {
    PrintError("cannot create key " + path.Full() + ": " + ErrorWords(rc));
    return false;
  }
  if (!setValue) return true;

  std::string name = args.hasValueName ? args.valueName : std::string();
  RegValue existing;
  if (!args.force && ReadValue(key.get(), name, &existing) == ERROR_SUCCESS &&
      !Confirm(ValueLabel(name) + " of " + path.Full() + " exists; replace it?"))
    return false;
  rc = RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                      static_cast<DWORD>(data.size()));
  if (rc != ERROR_SUCCESS) {
    PrintError("cannot set " + ValueLabel(name) + " of " + path.Full() + ": " + ErrorWords(rc));
    return false;
  }
  return true;
}

bool RunDelete(const Arguments& args) {
  KeyPath path;
  std::string error;
  if (!ParseKeyPath(args.key, &path, &error)) {
    PrintError(error);
    return false;
  }
  bool values = args.hasValueName || args.defaultValue || args.allValues;
  if (!values && path.subKey.empty()) {
    PrintError("cannot delete the root key " + path.rootName);
    return false;
  }
  OpenKey key;
  LONG rc = key.Open(path.root, path.subKey, KEY_READ | KEY_WRITE);
  if (rc != ERROR_SUCCESS) {
    PrintError("cannot open key " + path.Full() + ": " + ErrorWords(rc));
    return false;
  }

  if (args.allValues) {
    std::vector<RegValue> list;
    rc = ListValues(key.get(), &list);
    if (rc != ERROR_SUCCESS) {
      PrintError("cannot read the values of " + path.Full() + ": " + ErrorWords(rc));
      return false;
    }
    if (list.empty()) return true;
    if (!args.force && !Confirm("Delete all values of " + path.Full() + "?")) return false;
    for (const RegValue& value : list) {
      rc = RegDeleteValueA(key.get(), value.name.c_str());
      if (rc != ERROR_SUCCESS) {
        PrintError("cannot delete " + ValueLabel(value.name) + " of " + path.Full() + ": " +
                   ErrorWords(rc));
        return false;
      }
    }
    return true;
  }

  if (values) {
    std::string name = args.hasValueName ? args.valueName : std::string();
    RegValue existing;
    rc = ReadValue(key.get(), name, &existing);
    if (rc != ERROR_SUCCESS) {
      PrintError("cannot delete " + ValueLabel(name) + " of " + path.Full() + ": " +
                 ErrorWords(rc));
      return false;
    }
    if (!args.force && !Confirm("Delete " + ValueLabel(name) + " of " + path.Full() + "?"))
      return false;
    rc = RegDeleteValueA(key.get(), name.c_str());
    if (rc != ERROR_SUCCESS) {
      PrintError("cannot delete " + ValueLabel(name) + " of " + path.Full() + ": " +
                 ErrorWords(rc));
      return false;
    }
    return true;
  }

  key.Close();
  if (!args.force && !Confirm("Delete " + path.Full() + " and everything under it?")) return false;
  rc = DeleteKeyAt(path.root, path.subKey);
  if (rc != ERROR_SUCCESS) {
    PrintError("cannot delete key " + path.Full() + ": " + ErrorWords(rc));
    return false;
  }
  return true;
}
