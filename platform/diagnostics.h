// The one diagnostic function of every layer, with its two filters. It lives at the bottom of
// the program so that every layer, down to the key queries, can report through it.
#pragma once

#include "platform/types.h"

// 0 after /s: nothing is reported at all.
extern BOOL g_bShowMessages;
// Messages above this level are dropped; /v raises it from 0 to 5.
extern UINT g_nMessageLevel;

// A reported text holds at most MESSAGE_BUFFER_SIZE - 1 bytes; longer ones are cut.
constexpr size_t MESSAGE_BUFFER_SIZE = 512;

// Formats and shows one message box, unless the level is above g_nMessageLevel or messages are
// off; a filtered message is not formatted. Script text must only reach it as an argument.
void ReportMessage(UINT level, const char* format, ...) __attribute__((format(printf, 2, 3)));
