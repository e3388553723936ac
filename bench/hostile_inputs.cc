// Time and peak memory of hostile script files, each run in a child process of its own against
// a fresh store, in register mode. Prints one Markdown table row per input:
//   input | result | first message | seconds | peak RSS (MB)
// Usage: hostile_inputs [directory for the generated files, default /tmp]
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/lock.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "registrar/registrar.h"
#include "registry/store.h"

namespace {

struct Input {
  const char* name;
  std::string path;
};

bool WriteFile(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

std::string Nested(int depth) {
  std::string text = "HKCR\n{\n";
  for (int i = 0; i < depth; ++i) text += "k {\n";
  for (int i = 0; i < depth; ++i) text += "}\n";
  return text + "}\n";
}

// Runs the file in this (child) process and writes the result and first box to `out`.
void RunChild(const std::string& path, const std::string& store, int out) {
  setenv("KEYFOLD_REGISTRY", store.c_str(), 1);
  std::vector<std::string> boxes;
  SetMessageBoxSink(&boxes);
  g_bShowMessages = TRUE;
  g_nMessageLevel = 0;
  std::vector<WCHAR> wide(path.size() + 1);
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  HRESULT hr;
  {
    CScriptRegistrar registrar;
    EnterCriticalSection(&registrar.lock);
    registrar.map.Add(u"Module", wide.data());
    LeaveCriticalSection(&registrar.lock);
    hr = registrar.RunScriptFile(wide.data(), TRUE);
  }
  CommitRegistry();
  std::string first = boxes.empty() ? "" : boxes[0];
  for (char& c : first)
    if (static_cast<unsigned char>(c) < 32 || c == '|') c = ' ';
  if (first.size() > 60) first = first.substr(0, 57) + "...";
  dprintf(out, "0x%08X | %s", static_cast<unsigned>(hr), first.c_str());
  _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : "/tmp";
  dir += "/keyfold-hostile-XXXXXX";
  if (mkdtemp(dir.data()) == nullptr) return 1;

  std::vector<Input> inputs;
  auto add = [&](const char* name, const std::string& file, const std::string& bytes) {
    std::string path = dir + "/" + file;
    if (!WriteFile(path, bytes)) {
      fprintf(stderr, "cannot write %s\n", path.c_str());
      exit(1);
    }
    inputs.push_back({name, path});
  };
  {
    // 200 MB: comment lines, then one small root entry at the very end.
    std::string big;
    std::string line = "; " + std::string(97, 'c') + "\n";
    big.reserve(200u << 20);
    while (big.size() < (200u << 20)) big += line;
    big += "HKCU { 'Keyfold.Big' = s 'end' }\n";
    add("200 MB script (comments, one entry at the end)", "big.rgs", big);
  }
  add("nested 10,000 levels", "nested.rgs", Nested(10000));
  add("1 MB token", "token.rgs", "HKCR { '" + std::string(1 << 20, 'x') + "' }");
  {
    std::string roots;
    for (int i = 0; i < 100000; ++i)
      roots += "HKCU { 'Keyfold.Root" + std::to_string(i) + "' = s 'v' }\n";
    add("100,000 root entries", "roots.rgs", roots);
  }
  {
    std::string binary =
        "\x7f"
        "ELF\x02\x01\x01";
    binary += '\0';
    for (int i = 0; i < (1 << 20); ++i) binary += static_cast<char>((i * 2654435761u) >> 24);
    add("binary file (1 MB)", "binary.rgs", binary);
  }
  add("only %", "percent.rgs", "%");
  std::string fifo = dir + "/pipe.rgs";
  mkfifo(fifo.c_str(), 0600);
  inputs.push_back({"FIFO without a writer", fifo});
  inputs.push_back({"/dev/zero", "/dev/zero"});

  printf("| input | result | first message | seconds | peak RSS (MB) |\n");
  printf("|---|---|---|---|---|\n");
  for (const Input& input : inputs) {
    std::string store = dir + "/store-" + std::to_string(&input - inputs.data());
    mkdir(store.c_str(), 0700);
    int pipes[2];
    if (pipe(pipes) != 0) return 1;
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
      close(pipes[0]);
      RunChild(input.path, store, pipes[1]);
    }
    close(pipes[1]);
    std::string report;
    char buffer[512];
    ssize_t n;
    while ((n = read(pipes[0], buffer, sizeof buffer)) > 0) report.append(buffer, n);
    close(pipes[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status)) report = "crashed (status " + std::to_string(status) + ")";
    printf("| %s | %s | %.2f | %.1f |\n", input.name, report.c_str(), seconds,
           usage.ru_maxrss / 1024.0);
    fflush(stdout);
  }
  std::string cleanup = "rm -rf '" + dir + "'";
  return system(cleanup.c_str()) == 0 ? 0 : 1;
}
