// The modal message box. On a terminal nobody can press OK, so a box is printed to standard
// output as a framed block and the call returns at once. When KEYFOLD_MESSAGE_LOG names a file,
// every box is also appended there as one JSON line: {"title": "...", "text": "..."}.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr int IDOK = 1;

// Shows `text` (narrow, system code page) titled with the application's name; returns IDOK.
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);

// The title every box carries: the program file's base name without directory and extension.
const std::string& MessageBoxTitle();
void SetMessageBoxTitle(const std::string& title);

// Test seam: while a sink is set, boxes are appended to it (text only) instead of being printed.
// The transcript file is still written. Pass null to print again.
void SetMessageBoxSink(std::vector<std::string>* sink);

// One transcript line for a box: the JSON object, with the text converted to UTF-8 and escaped.
std::string TranscriptLine(const std::string& title, const char* text);
