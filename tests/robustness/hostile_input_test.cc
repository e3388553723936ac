// Hostile script files, each with the clean outcome it must have: a failure with its message
// (or a bounded success), no hang, and a store that is unchanged where the run failed before
// writing and sound in every case. The heavy versions (hundreds of megabytes, a hundred
// thousand root entries) are measured by bench/hostile_inputs.cc instead.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/error.h"
#include "tests/robustness/robust_support.h"
#include "tests/support/message_capture.h"
#include "tests/support/temp_store.h"

namespace {

std::string Nested(int depth) {
  std::string text = "HKCR\n{\n";
  for (int i = 0; i < depth; ++i) text += "k {\n";
  for (int i = 0; i < depth; ++i) text += "}\n";
  return text + "}\n";
}

struct HostileCase {
  const char* name;
  std::string bytes;         // the file's content
  HRESULT expected;          // the result in both modes
  std::string firstMessage;  // the first box the run shows; "" for none
  bool storeUnchanged;       // true: the run fails before writing anything
};

std::vector<HostileCase> Cases() {
  std::string bigToken = "HKCR { '" + std::string(1 << 20, 'x') + "' }";
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 131 + 7) % 255 + 1);
  binary =
      "\x7f"
      "ELF\x02\x01\x01" +
      std::string(1, '\0') + binary;
  return {
      {"OnlyPercent", "%", DISP_E_EXCEPTION, "Error no closing % found\n", true},
      {"OneMegabyteToken", bigToken, DISP_E_EXCEPTION,
       "NextToken : Token too long " + std::string(200, 'x'), true},
      // The text ends at the first NUL: what is left is the root name "\x7fELF\x02\x01\x01".
      {"BinaryFile", binary, DISP_E_EXCEPTION,
       "HKeyFromString failed on \x7f"
       "ELF\x02\x01\x01\n",
       true},
      {"EmptyFile", "", S_OK, "", true},
  };
}

TEST(HostileInput, EachFileEndsWithItsCleanOutcome) {
  for (const HostileCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    for (bool registerMode : {true, false}) {
      TempStore store;
      std::string path = store.path() + "/hostile.rgs";
      WriteFileBytes(path, c.bytes);
      robust::Snapshot before = robust::TakeSnapshot();
      MessageCapture capture;
      HRESULT hr = robust::RunFile(path, registerMode);
      EXPECT_EQ(c.expected, hr) << registerMode;
      if (!c.firstMessage.empty()) {
        ASSERT_FALSE(capture.boxes.empty());
        EXPECT_EQ(c.firstMessage, capture.boxes[0].substr(0, c.firstMessage.size()));
      }
      robust::Snapshot after = robust::TakeSnapshot();
      if (c.storeUnchanged) {
        EXPECT_EQ(before, after);
      }
      EXPECT_TRUE(robust::UnexpectedResidue(before, after, c.bytes).empty());
      EXPECT_EQ("", robust::CheckHives(store.path()));
    }
  }
}

// A script nested deeper than the registry can hold is refused at the registry's depth limit
// instead of exhausting the stack. Unregistering it from a fresh store changes nothing.
TEST(HostileInput, DeepNestingIsRefused) {
  TempStore store;
  std::string path = store.path() + "/deep.rgs";
  WriteFileBytes(path, Nested(10000));
  robust::Snapshot before = robust::TakeSnapshot();
  MessageCapture capture;
  EXPECT_EQ(DISP_E_EXCEPTION, robust::RunFile(path, false));
  EXPECT_EQ(std::vector<std::string>{"Key nesting too deep at k\n"}, capture.boxes);
  EXPECT_EQ(before, robust::TakeSnapshot());
  EXPECT_EQ("", robust::CheckHives(store.path()));
}

// Registering the same script creates keys down to the store's depth limit and fails there
// ("Unable to create key k"); the cleanup pass reads the part beyond the walker's depth limit
// without descending and removes every key the register pass made.
TEST(HostileInput, DeepNestingIsCleanedUpAfterRegistering) {
  TempStore store;
  std::string path = store.path() + "/deep.rgs";
  WriteFileBytes(path, Nested(10000));
  robust::Snapshot before = robust::TakeSnapshot();
  MessageCapture capture;
  EXPECT_EQ(DISP_E_EXCEPTION, robust::RunFile(path, true));
  ASSERT_LE(2u, capture.boxes.size()) << capture.Joined();
  EXPECT_EQ("Unable to create key k\n", capture.boxes[0]);
  EXPECT_EQ("Failed to register, cleaning up!\n", capture.boxes[1]);
  EXPECT_EQ(before, robust::TakeSnapshot());
}

// Files that have no size: a FIFO with no writer and a character device that never ends. Both
// are refused at once instead of being read for ever.
TEST(HostileInput, FilesWithoutASizeAreRefused) {
  TempStore store;
  std::string fifo = store.path() + "/pipe.rgs";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  for (const std::string& path : {fifo, std::string("/dev/zero")}) {
    SCOPED_TRACE(path);
    MessageCapture capture;
    HRESULT hr = robust::RunFile(path, true);
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), hr);
    EXPECT_EQ(std::vector<std::string>{"Cannot get the size of file: " + path + "\n"},
              capture.boxes);
  }
}

}  // namespace
