// A growable narrow text in a task-allocator block, for the replacement pass.
#pragma once

#include "platform/types.h"

class CTextBuilder {
 public:
  CTextBuilder() = default;
  // Frees the text unless it was handed out with Detach.
  ~CTextBuilder();
  CTextBuilder(const CTextBuilder&) = delete;
  CTextBuilder& operator=(const CTextBuilder&) = delete;

  // Allocates the first block of `size` bytes. E_OUTOFMEMORY when it cannot be had.
  HRESULT Start(int size);
  // Appends the whole character at `p`: its byte, and the trail byte after a lead byte of the
  // system code page (a lead byte directly before the NUL is appended alone). Grows by doubling
  // as often as needed; E_OUTOFMEMORY, the text kept as it was, when growth fails.
  HRESULT AppendChar(const char* p);
  // Appends one byte (the terminator included) with the same growth.
  HRESULT AppendByte(char ch);
  // Hands the text to the caller, who frees it with CoTaskMemFree.
  char* Detach();

  int length = 0;
  int capacity = 0;
  char* text = nullptr;

 private:
  HRESULT Reserve(int extra);
};
