// keyfold-reg: looks at and changes the registry store from the command line. One run is one
// registry transaction: committed when the command succeeds, dropped when it fails, so a
// failed command leaves the store as it was.
#include <cstdio>
#include <string>

#include "platform/text.h"
#include "registry/store.h"
#include "tools/keyfold-reg/arguments.h"
#include "tools/keyfold-reg/edit.h"
#include "tools/keyfold-reg/query.h"
#include "tools/keyfold-reg/reg_export.h"
#include "tools/keyfold-reg/reg_import.h"
#include "tools/keyfold-reg/report.h"

namespace {

bool Run(const Arguments& args) {
  switch (args.verb) {
    case Verb::kHelp:
      fputs(UsageText(), stdout);
      return fflush(stdout) == 0;
    case Verb::kQuery:
      return RunQuery(args);
    case Verb::kAdd:
      return RunAdd(args);
    case Verb::kDelete:
      return RunDelete(args);
    case Verb::kExport:
      return RunExport(args);
    case Verb::kImport:
      return RunImport(args);
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  InitSystemCodePageFromLocale();
  // Names and data pass through the narrow operations as UTF-8, whatever the locale.
  SetSystemCodePage(CP_UTF8);

  Arguments args;
  std::string error;
  if (!ParseArguments(argc - 1, argv + 1, &args, &error)) {
    PrintError(error);
    return 1;
  }
  if (!Run(args)) {
    AbandonRegistryStore();
    return 1;
  }
  LONG rc = CommitRegistry();
  if (rc != 0) {
    PrintError("cannot save the changes to the store: " + ErrorWords(rc));
    AbandonRegistryStore();
    return 1;
  }
  CloseRegistryStore();
  return 0;
}
