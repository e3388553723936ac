// Runs the built keyfold-reg as a user would, in its own process, against a store of the test's
// own: chosen arguments, standard input, and optionally an unprivileged user.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/temp_store.h"

struct RegResult {
  int status = -1;  // exit code, -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// The user that runs the program for the read-only store tests.
constexpr uid_t kNobody = 65534;

// The suites built on this fixture are named tools_..., so that `ctest -R tools` selects them.
class RegToolTest : public ::testing::Test {
 protected:
  RegToolTest() : m_dir(MakeTempDir("keyfold-reg-test")), m_store(m_dir + "/store") {}
  ~RegToolTest() override { RemoveTree(m_dir); }

  const std::string& dir() const { return m_dir; }
  const std::string& store() const { return m_store; }
  std::string Path(const std::string& name) const { return m_dir + "/" + name; }

  // Runs keyfold-reg with `args`; `input` is its standard input; a `uid` other than 0 runs it
  // as that user and group.
  RegResult Reg(const std::vector<std::string>& args, const std::string& input = "",
                uid_t uid = 0) const {
    std::string inPath = Path(".stdin"), outPath = Path(".stdout"), errPath = Path(".stderr");
    WriteFileBytes(inPath, input);
    pid_t pid = fork();
    if (pid < 0) {
      perror("fork");
      abort();
    }
    if (pid == 0) {
      int in = open(inPath.c_str(), O_RDONLY);
      int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (in < 0 || out < 0 || err < 0) _exit(126);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      setenv("KEYFOLD_REGISTRY", m_store.c_str(), 1);
      // 125: this machine cannot run the program as that user (no switch, or the build
      // directory is closed to it); the tests that need it skip.
      if (uid != 0 && (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0 ||
                       access(KEYFOLD_REG_BIN, X_OK) != 0))
        _exit(125);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(KEYFOLD_REG_BIN));
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(KEYFOLD_REG_BIN, argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    RegResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFileBytes(outPath);
    result.err = ReadFileBytes(errPath);
    return result;
  }

  // Runs a command that must succeed, and returns its standard output.
  std::string MustReg(const std::vector<std::string>& args, const std::string& input = "") const {
    RegResult r = Reg(args, input);
    EXPECT_EQ(r.status, 0) << "keyfold-reg failed: " << r.err;
    EXPECT_EQ(r.err, "");
    return r.out;
  }

  // Imports .reg text through a file, which must succeed.
  void MustImport(const std::string& text) const {
    std::string file = Path("fill.reg");
    WriteFileBytes(file, text);
    MustReg({"import", file});
  }

  // Exports the key to standard output, which must succeed.
  std::string Export(const std::string& key) const { return MustReg({"export", key, "-"}); }

 private:
  std::string m_dir;
  std::string m_store;
};

// The error a failed run printed: exactly one line.
inline bool IsOneLine(const std::string& err) {
  return !err.empty() && err.back() == '\n' && err.find('\n') == err.size() - 1;
}
