#include "tools/keyfold-reg/arguments.h"

#include <strings.h>

#include <cstring>
#include <vector>

namespace {

enum Option { kV, kVe, kVa, kS, kF, kY, kUtf16, kT, kD, kOptionCount };

struct OptionEntry {
  const char* name;
  bool takesValue;
};

const OptionEntry kOptions[kOptionCount] = {
    {"v", true},  {"ve", false},    {"va", false}, {"s", false}, {"f", false},
    {"y", false}, {"utf16", false}, {"t", true},   {"d", true},
};

struct VerbEntry {
  const char* name;
  Verb verb;
  int positionals;
  std::vector<Option> allowed;
};

const VerbEntry kVerbs[] = {
    {"query", Verb::kQuery, 1, {kV, kVe, kS}},
    {"add", Verb::kAdd, 1, {kV, kVe, kT, kD, kF}},
    {"delete", Verb::kDelete, 1, {kV, kVe, kVa, kF}},
    {"export", Verb::kExport, 2, {kY, kUtf16}},
    {"import", Verb::kImport, 1, {}},
};

bool IsHelp(const char* arg) {
  return strcmp(arg, "/?") == 0 || strcmp(arg, "-?") == 0 || strcmp(arg, "-h") == 0 ||
         strcmp(arg, "--help") == 0;
}

// The option an argument names, or -1. "-" alone and absolute paths ("/tmp/x.reg") are not
// options.
int FindOption(const char* arg) {
  if ((arg[0] != '/' && arg[0] != '-') || arg[1] == '\0') return -1;
  for (int i = 0; i < kOptionCount; ++i)
    if (strcasecmp(arg + 1, kOptions[i].name) == 0) return i;
  return -1;
}

bool LooksLikeOption(const char* arg) {
  if (arg[0] != '/' && arg[0] != '-') return false;
  if (arg[1] == '\0') return false;
  // A "/" argument with a later "/" is a path, as absolute paths are on this system.
  return arg[0] == '-' || strchr(arg + 2, '/') == nullptr;
}

}  // namespace

bool ParseArguments(int argc, const char* const* argv, Arguments* args, std::string* error) {
  *args = Arguments();
  for (int i = 0; i < argc; ++i) {
    if (IsHelp(argv[i])) {
      args->verb = Verb::kHelp;
      return true;
    }
  }
  if (argc == 0) {
    *error = "no command given (try --help)";
    return false;
  }
  const VerbEntry* verb = nullptr;
  for (const VerbEntry& v : kVerbs)
    if (strcasecmp(argv[0], v.name) == 0) verb = &v;
  if (!verb) {
    *error = std::string("unknown command \"") + argv[0] + "\" (try --help)";
    return false;
  }
  args->verb = verb->verb;

  std::vector<std::string> positionals;
  bool seen[kOptionCount] = {};
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    int option = FindOption(arg);
    if (option < 0) {
      if (LooksLikeOption(arg)) {
        *error = std::string("unknown option \"") + arg + "\" for " + verb->name;
        return false;
      }
      positionals.push_back(arg);
      continue;
    }
    bool allowed = false;
    for (Option o : verb->allowed) allowed = allowed || o == option;
    if (!allowed) {
      *error = std::string("option \"") + arg + "\" does not apply to " + verb->name;
      return false;
    }
    if (seen[option]) {
      *error = std::string("option \"") + arg + "\" is given twice";
      return false;
    }
    seen[option] = true;
    std::string value;
    if (kOptions[option].takesValue) {
      if (i + 1 >= argc) {
        *error = std::string("option \"") + arg + "\" needs a value";
        return false;
      }
      value = argv[++i];
    }
    switch (option) {
      case kV:
        args->hasValueName = true;
        args->valueName = value;
        break;
      case kVe:
        args->defaultValue = true;
        break;
      case kVa:
        args->allValues = true;
        break;
      case kS:
        args->subtree = true;
        break;
      case kF:
        args->force = true;
        break;
      case kY:
        args->overwrite = true;
        break;
      case kUtf16:
        args->utf16 = true;
        break;
      case kT:
        args->hasType = true;
        args->typeName = value;
        break;
      case kD:
        args->hasData = true;
        args->data = value;
        break;
    }
  }
  if (seen[kV] + seen[kVe] + seen[kVa] > 1) {
    *error = "only one of /v, /ve and /va may be given";
    return false;
  }
  if (verb->verb == Verb::kAdd && (seen[kT] || seen[kD]) && !seen[kV] && !seen[kVe]) {
    *error = "/t and /d need /v NAME or /ve";
    return false;
  }
  if (static_cast<int>(positionals.size()) != verb->positionals) {
    const char* what = verb->verb == Verb::kExport   ? "a key and a file"
                       : verb->verb == Verb::kImport ? "a file"
                                                     : "a key";
    *error = std::string(verb->name) + " needs " + what +
             (positionals.size() < static_cast<size_t>(verb->positionals) ? "" : ", and no more");
    return false;
  }
  if (verb->verb == Verb::kImport) {
    args->file = positionals[0];
  } else {
    args->key = positionals[0];
    if (verb->verb == Verb::kExport) args->file = positionals[1];
  }
  return true;
}

const char* UsageText() {
  return "Usage: keyfold-reg COMMAND ...\n"
         "Looks at and changes the keyfold registry store ($KEYFOLD_REGISTRY, else\n"
         "$XDG_DATA_HOME/keyfold/registry).\n"
         "\n"
         "  query KEY [/v NAME | /ve] [/s]\n"
         "      Print the key's values (/v: one value, /ve: the default value; /s: the\n"
         "      whole subtree).\n"
         "  add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
         "      Create the key and its parents, and set a value. TYPE is REG_SZ (the\n"
         "      default), REG_EXPAND_SZ, REG_MULTI_SZ (strings separated by \\0),\n"
         "      REG_DWORD, REG_QWORD (decimal or 0x hex), REG_BINARY or REG_NONE (hex\n"
         "      digits). /f replaces an existing value.\n"
         "  delete KEY [/v NAME | /ve | /va] [/f]\n"
         "      Delete a value, all values (/va), or the key and everything under it.\n"
         "      Without /f it asks first, on a terminal only.\n"
         "  export KEY FILE [/y] [/utf16]\n"
         "      Write KEY and everything under it as a .reg file (UTF-8, LF; /utf16:\n"
         "      UTF-16LE with BOM and CRLF). FILE - is standard output; /y replaces an\n"
         "      existing FILE.\n"
         "  import FILE\n"
         "      Apply a .reg file (REGEDIT4 or Version 5.00, UTF-8 or UTF-16LE) as a\n"
         "      whole: on any bad line nothing of it is applied. FILE - is standard input.\n"
         "\n"
         "KEY is ROOT\\path\\to\\key, ROOT one of HKLM, HKCU, HKCR, HKU, HKCC or their long\n"
         "names (HKEY_LOCAL_MACHINE, ...), in any case. Options start with / or -.\n"
         "Exit status: 0 on success, 1 on any failure.\n";
}
