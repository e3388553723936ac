// Runs one of the built programs as a user would: its own process, chosen arguments, working
// directory and environment additions; collects its exit status, output and the message boxes
// it wrote to its KEYFOLD_MESSAGE_LOG transcript.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ProgramResult {
  int exitStatus = -1;             // the exit code, or -1 when the program did not exit normally
  std::string output;              // standard output and standard error together
  std::vector<std::string> boxes;  // the texts of the transcript's boxes, decoded from UTF-8
  std::vector<std::string> titles;
};

struct ProgramRun {
  std::string program;
  std::vector<std::string> args;
  std::string workingDirectory;                          // empty: the test's own
  std::vector<std::pair<std::string, std::string>> env;  // set on top of the test's environment
  std::string transcript;  // KEYFOLD_MESSAGE_LOG for the run; empty: none
};

// Runs the program to its end and returns what it did. Aborts the test program when it cannot
// start a process at all.
ProgramResult RunProgram(const ProgramRun& run);

// Decodes a transcript file: one {"title": ..., "text": ...} object per line.
void ReadTranscript(const std::string& path, std::vector<std::string>* titles,
                    std::vector<std::string>* texts);
