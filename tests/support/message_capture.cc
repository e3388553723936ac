#include "tests/support/message_capture.h"

#include "platform/diagnostics.h"
#include "platform/message_box.h"

MessageCapture::MessageCapture(UINT level, BOOL show)
    : m_savedLevel(g_nMessageLevel), m_savedShow(g_bShowMessages) {
  g_nMessageLevel = level;
  g_bShowMessages = show;
  SetMessageBoxSink(&boxes);
}

MessageCapture::~MessageCapture() {
  SetMessageBoxSink(nullptr);
  g_nMessageLevel = m_savedLevel;
  g_bShowMessages = m_savedShow;
}

std::string MessageCapture::Joined() const {
  std::string all;
  for (const std::string& box : boxes) all += box;
  return all;
}
