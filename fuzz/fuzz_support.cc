#include "fuzz/fuzz_support.h"

#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/message_box.h"
#include "registry/store.h"

namespace {
std::vector<std::string> g_boxes;
}  // namespace

const WCHAR kFuzzModulePath[] = u"/opt/o''k/\u65e5\u672c/keyfold";

void FuzzSetUp() {
  static bool done = false;
  if (done) return;
  done = true;
  char pattern[] = "/tmp/keyfold-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    perror("mkdtemp");
    abort();
  }
  setenv("KEYFOLD_REGISTRY", pattern, 1);
  g_bShowMessages = TRUE;
  g_nMessageLevel = 2;
  SetMessageBoxSink(&g_boxes);
}

void EndInput() {
  AbandonRegistryStore();
  g_boxes.clear();
}
