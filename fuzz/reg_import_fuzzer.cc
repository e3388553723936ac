// keyfold-reg import of arbitrary bytes: the .reg parser, and applying what it accepts to a
// store in a temporary directory (dropped after each input).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tools/keyfold-reg/reg_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSetUp();
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<RegChange> changes;
  std::string error;
  if (ParseRegFile(bytes, &changes, &error)) {
    ApplyRegChanges(changes, "fuzz.reg", &error);
  } else if (error.empty()) {
    abort();  // a refusal must say why
  }
  EndInput();
  return 0;
}
