#include "tools/keyfold-reg/query.h"

#include <cstdio>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tools/keyfold-reg/key_path.h"
#include "tools/keyfold-reg/key_walk.h"
#include "tools/keyfold-reg/report.h"
#include "tools/keyfold-reg/value_text.h"

namespace {

std::string ValueLine(const RegValue& value) {
  return "    " + (value.name.empty() ? std::string("(Default)") : value.name) + "    " +
         TypeName(value.type) + "    " + DataToText(value.type, value.data) + "\n";
}

struct Query {
  bool oneValue = false;  // /v or /ve
  std::string valueName;
  std::string out;
  int matches = 0;
};

// Appends the block of one key: a blank line, its path and its values (or the one value asked
// for, when the key has it). With `subtree`, the blocks of every key below follow, depth first.
bool QueryKey(HKEY key, const KeyPath& path, bool subtree, Query* query) {
  if (query->oneValue) {
    // Looked up among all values so that the name prints as it is stored.
    std::vector<RegValue> values;
    LONG rc = ListValues(key, &values);
    if (rc != ERROR_SUCCESS) {
      PrintError("cannot read the values of " + path.Full() + ": " + ErrorWords(rc));
      return false;
    }
    for (const RegValue& value : values) {
      if (lstrcmpiA(value.name.c_str(), query->valueName.c_str()) == 0) {
        query->out += "\n" + path.Full() + "\n" + ValueLine(value);
        ++query->matches;
        break;
      }
    }
  } else {
    std::vector<RegValue> values;
    LONG rc = ListValues(key, &values);
    if (rc != ERROR_SUCCESS) {
      PrintError("cannot read the values of " + path.Full() + ": " + ErrorWords(rc));
      return false;
    }
    query->out += "\n" + path.Full() + "\n";
    for (const RegValue& value : values) query->out += ValueLine(value);
  }

  std::vector<std::string> children;
  LONG rc = ListSubkeys(key, &children);
  if (rc != ERROR_SUCCESS) {
    PrintError("cannot list the subkeys of " + path.Full() + ": " + ErrorWords(rc));
    return false;
  }
  if (!subtree) {
    if (!query->oneValue && !children.empty()) {
      query->out += "\n";
      for (const std::string& child : children) query->out += path.Child(child).Full() + "\n";
    }
    return true;
  }
  for (const std::string& child : children) {
    OpenKey sub;
    rc = sub.Open(key, child, KEY_READ);
    if (rc != ERROR_SUCCESS) {
      PrintError("cannot open key " + path.Child(child).Full() + ": " + ErrorWords(rc));
      return false;
    }
    if (!QueryKey(sub.get(), path.Child(child), true, query)) return false;
  }
  return true;
}

}  // namespace

bool RunQuery(const Arguments& args) {
  KeyPath path;
  std::string error;
  if (!ParseKeyPath(args.key, &path, &error)) {
    PrintError(error);
    return false;
  }
  UseStoredSpelling(path.root, &path.subKey);
  OpenKey key;
  LONG rc = key.Open(path.root, path.subKey, KEY_READ);
  if (rc != ERROR_SUCCESS) {
    PrintError("cannot open key " + path.Full() + ": " + ErrorWords(rc));
    return false;
  }
  Query query;
  query.oneValue = args.hasValueName || args.defaultValue;
  query.valueName = args.hasValueName ? args.valueName : std::string();
  if (!QueryKey(key.get(), path, args.subtree, &query)) return false;
  if (query.oneValue && query.matches == 0) {
    std::string what = args.defaultValue ? "default value" : "value \"" + args.valueName + "\"";
    PrintError("the " + what + (args.subtree ? " is in no key under " : " is not set in ") +
               path.Full());
    return false;
  }
  if (fwrite(query.out.data(), 1, query.out.size(), stdout) != query.out.size() ||
      fflush(stdout) != 0) {
    PrintError("cannot write to standard output");
    return false;
  }
  return true;
}
