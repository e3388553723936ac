#include "tests/support/temp_dir.h"

#include <ftw.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

std::string MakeTempDir(const char* prefix) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    perror("mkdtemp");
    abort();
  }
  return pattern;
}

void RemoveTree(const std::string& path) {
  nftw(
      path.c_str(),
      [](const char* p, const struct stat*, int, struct FTW*) { return remove(p) == 0 ? 0 : 0; },
      16, FTW_DEPTH | FTW_PHYS);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
