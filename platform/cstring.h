// The framework's growable narrow string with printf-style formatting and no length limit.
#pragma once

#include <string>

class CString {
 public:
  CString() = default;
  CString(const char* text) : m_text(text ? text : "") {}  // NOLINT: converts like the original

  // Replaces the contents with the formatted text, however long it is.
  void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

  const char* GetString() const { return m_text.c_str(); }
  operator const char*() const { return m_text.c_str(); }
  int GetLength() const { return static_cast<int>(m_text.size()); }
  bool IsEmpty() const { return m_text.empty(); }
  void Empty() { m_text.clear(); }
  CString& operator=(const char* text) {
    m_text = text ? text : "";
    return *this;
  }

 private:
  std::string m_text;
};
