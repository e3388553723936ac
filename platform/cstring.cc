#include "platform/cstring.h"

#include <cstdarg>
#include <cstdio>

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int needed = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (needed < 0) {
    m_text.clear();
  } else {
    m_text.resize(static_cast<size_t>(needed) + 1);
    vsnprintf(m_text.data(), m_text.size(), format, args);
    m_text.resize(static_cast<size_t>(needed));
  }
  va_end(args);
}
