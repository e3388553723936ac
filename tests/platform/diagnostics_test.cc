#include "platform/diagnostics.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/message_box.h"
#include "platform/text.h"
#include "tests/support/message_capture.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(ReportMessageTest, FiltersByLevelAndSilence) {
  struct Case {
    UINT threshold;
    BOOL show;
    UINT level;
    bool shown;
  } cases[] = {
      {0, 1, 0, true},  {0, 1, 1, false}, {0, 1, 2, false},  // default options
      {5, 1, 0, true},  {5, 1, 1, true},  {5, 1, 2, true},   // /v
      {0, 0, 0, false}, {5, 0, 0, false}, {5, 0, 2, false},  // /s, with or without /v
  };
  for (const Case& c : cases) {
    MessageCapture capture(c.threshold, c.show);
    ReportMessage(c.level, "level %u\n", c.level);
    EXPECT_EQ(c.shown ? 1u : 0u, capture.boxes.size())
        << "threshold " << c.threshold << " show " << c.show << " level " << c.level;
  }
}

TEST(ReportMessageTest, DoesNotFormatAFilteredMessage) {
  MessageCapture capture(0, 1);
  // A filtered message must not be formatted: an argument that would not survive formatting
  // (a string with no terminator) is never read.
  char unterminated[4] = {'a', 'b', 'c', 'd'};
  ReportMessage(2, "%.*s%s", 4, unterminated, unterminated + 4);
  EXPECT_TRUE(capture.boxes.empty());
}

TEST(ReportMessageTest, CutsAt511BytesKeepingATrailingLineFeed) {
  MessageCapture capture(0, 1);
  std::string exact(510, 'x');
  ReportMessage(0, "%s\n", exact.c_str());  // 511 bytes: whole, line feed last
  std::string longer(600, 'y');
  ReportMessage(0, "%s\n", longer.c_str());  // cut after its first 511 bytes
  ASSERT_EQ(2u, capture.boxes.size());
  EXPECT_EQ(exact + "\n", capture.boxes[0]);
  EXPECT_EQ(511u, capture.boxes[1].size());
  EXPECT_EQ(std::string(511, 'y'), capture.boxes[1]);
}

TEST(MessageBoxTest, TranscriptIsOneJsonLinePerBox) {
  std::string dir = MakeTempDir("keyfold-log");
  std::string log = dir + "/log.jsonl";
  setenv("KEYFOLD_MESSAGE_LOG", log.c_str(), 1);
  UINT saved = GetACP();
  SetSystemCodePage(1252);
  {
    MessageCapture capture(0, 1);
    AfxMessageBox("Script <C:\\a \"b\"\tc\xE9> ok.\n");
    AfxMessageBox("second\x01");
  }
  SetSystemCodePage(saved);
  unsetenv("KEYFOLD_MESSAGE_LOG");
  EXPECT_EQ(
      "{\"title\": \"keyfold\", \"text\": \"Script <C:\\\\a \\\"b\\\"\\tc\xC3\xA9> ok.\\n\"}\n"
      "{\"title\": \"keyfold\", \"text\": \"second\\u0001\"}\n",
      ReadFileBytes(log));
  RemoveTree(dir);
}

}  // namespace
