#include "tools/keyfold-reg/key_path.h"

#include <strings.h>

namespace {

struct RootName {
  const char* shortName;
  const char* longName;
  HKEY key;
};

const RootName kRoots[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKU", "HKEY_USERS", HKEY_USERS},
    {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
};

}  // namespace

KeyPath KeyPath::Child(const std::string& name) const {
  KeyPath child = *this;
  child.subKey = subKey.empty() ? name : subKey + "\\" + name;
  return child;
}

bool ParseKeyPath(const std::string& text, KeyPath* path, std::string* error) {
  size_t slash = text.find('\\');
  std::string root = text.substr(0, slash);
  const RootName* found = nullptr;
  for (const RootName& r : kRoots) {
    if (strcasecmp(root.c_str(), r.shortName) == 0 || strcasecmp(root.c_str(), r.longName) == 0) {
      found = &r;
      break;
    }
  }
  if (!found) {
    *error = root.empty()
                 ? "the key path \"" + text + "\" has no root key"
                 : "\"" + root + "\" is not a root key (use HKLM, HKCU, HKCR, HKU or HKCC)";
    return false;
  }
  std::string rest = slash == std::string::npos ? std::string() : text.substr(slash + 1);
  if (!rest.empty() && rest.back() == '\\') rest.pop_back();
  if (!rest.empty() &&
      (rest.front() == '\\' || rest.find("\\\\") != std::string::npos || rest.back() == '\\')) {
    *error = "the key path \"" + text + "\" has an empty key name";
    return false;
  }
  path->root = found->key;
  path->rootName = found->longName;
  path->subKey = rest;
  return true;
}
