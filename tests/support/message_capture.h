// Captures every message box shown while the object lives, with the two message filters set
// for the test and restored afterwards.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

class MessageCapture {
 public:
  explicit MessageCapture(UINT level = 0, BOOL show = 1);
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  // All box texts so far, joined in order; handy for comparing whole sequences.
  std::string Joined() const;

  std::vector<std::string> boxes;

 private:
  UINT m_savedLevel;
  BOOL m_savedShow;
};
