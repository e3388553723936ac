#include "platform/diagnostics.h"

#include <cstdarg>
#include <cstdio>

#include "platform/message_box.h"

BOOL g_bShowMessages = 1;
UINT g_nMessageLevel = 0;

void ReportMessage(UINT level, const char* format, ...) {
  if (level > g_nMessageLevel) return;
  if (!g_bShowMessages) return;
  char buffer[MESSAGE_BUFFER_SIZE];
  va_list args;
  va_start(args, format);
  if (vsnprintf(buffer, sizeof(buffer), format, args) < 0) buffer[0] = '\0';
  va_end(args);
  AfxMessageBox(buffer, MB_OK);
}
