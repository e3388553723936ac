#include "tests/support/program_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

// Decodes the JSON string that starts at line[*pos] (on its opening quote).
std::string DecodeJsonString(const std::string& line, size_t* pos) {
  std::string out;
  size_t i = *pos + 1;
  while (i < line.size() && line[i] != '"') {
    char c = line[i++];
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    char e = line[i++];
    switch (e) {
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'u':
        out.push_back(static_cast<char>(strtol(line.substr(i, 4).c_str(), nullptr, 16)));
        i += 4;
        break;
      default:
        out.push_back(e);
    }
  }
  *pos = i + 1;
  return out;
}

std::string FieldOf(const std::string& line, const char* name) {
  std::string key = std::string("\"") + name + "\": ";
  size_t pos = line.find(key);
  if (pos == std::string::npos) return std::string();
  pos += key.size();
  return DecodeJsonString(line, &pos);
}

}  // namespace

void ReadTranscript(const std::string& path, std::vector<std::string>* titles,
                    std::vector<std::string>* texts) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    titles->push_back(FieldOf(line, "title"));
    texts->push_back(FieldOf(line, "text"));
  }
}

ProgramResult RunProgram(const ProgramRun& run) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    perror("pipe");
    abort();
  }
  if (!run.transcript.empty()) remove(run.transcript.c_str());
  fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    perror("fork");
    abort();
  }
  if (pid == 0) {
    dup2(pipeFds[1], 1);
    dup2(pipeFds[1], 2);
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (!run.workingDirectory.empty() && chdir(run.workingDirectory.c_str()) != 0) _exit(126);
    for (const auto& [name, value] : run.env) setenv(name.c_str(), value.c_str(), 1);
    if (run.transcript.empty())
      unsetenv("KEYFOLD_MESSAGE_LOG");
    else
      setenv("KEYFOLD_MESSAGE_LOG", run.transcript.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(run.program.c_str()));
    for (const std::string& a : run.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(run.program.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  ProgramResult result;
  char buffer[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof(buffer))) > 0)
    result.output.append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (!run.transcript.empty()) ReadTranscript(run.transcript, &result.titles, &result.boxes);
  return result;
}
