#include "tools/keyfold-reg/reg_import.h"

#include <strings.h>

#include <cstring>

#include "platform/text.h"
#include "tools/keyfold-reg/file_io.h"
#include "tools/keyfold-reg/key_walk.h"
#include "tools/keyfold-reg/report.h"

namespace {

const char kHeader5[] = "Windows Registry Editor Version 5.00";
const char kHeader4[] = "REGEDIT4";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimLeft(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

std::string TrimRight(std::string s) {
  while (!s.empty() && IsBlank(s.back())) s.pop_back();
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t extra = 0;
    unsigned int cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    static const unsigned int kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

// Little-endian UTF-16 bytes as UTF-8; false for an odd count.
bool Utf16LeToUtf8(const std::string& bytes, size_t start, std::string* out) {
  if ((bytes.size() - start) % 2 != 0) return false;
  std::u16string wide;
  wide.reserve((bytes.size() - start) / 2);
  for (size_t i = start; i < bytes.size(); i += 2)
    wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         static_cast<unsigned char>(bytes[i + 1]) << 8));
  *out = Utf16ToUtf8(wide.data(), wide.size());
  return true;
}

// The cursor over one logical line's text after the value name.
class LineReader {
 public:
  explicit LineReader(const std::string& text) : m_text(text) {}

  void SkipBlanks() {
    while (m_pos < m_text.size() && IsBlank(m_text[m_pos])) ++m_pos;
  }
  bool AtEnd() const { return m_pos >= m_text.size(); }
  char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
  void Advance(size_t n = 1) { m_pos += n; }
  bool TakePrefix(const char* prefix) {
    size_t n = strlen(prefix);
    if (m_text.size() - m_pos < n || strncasecmp(m_text.c_str() + m_pos, prefix, n) != 0)
      return false;
    m_pos += n;
    return true;
  }
  // Nothing but blanks and an optional ';' comment is left.
  bool OnlyCommentLeft() {
    SkipBlanks();
    return AtEnd() || Peek() == ';';
  }
  // A quoted string with \\ and \" escapes, the cursor on its opening quote.
  bool Quoted(std::string* out, std::string* error) {
    out->clear();
    Advance();
    while (!AtEnd()) {
      char c = m_text[m_pos++];
      if (c == '"') return true;
      if (c == '\\') {
        if (AtEnd()) break;
        char next = m_text[m_pos++];
        if (next != '\\' && next != '"') {
          *error = std::string("unknown escape \"\\") + next + "\" in a quoted string (only \\\\ " +
                   "and \\\" are allowed)";
          return false;
        }
        c = next;
      }
      out->push_back(c);
    }
    *error = "a quoted string has no closing quote";
    return false;
  }

 private:
  const std::string& m_text;
  size_t m_pos = 0;
};

bool ParseHexBytes(LineReader& in, std::string* out, std::string* error) {
  out->clear();
  in.SkipBlanks();
  if (in.OnlyCommentLeft()) return true;
  for (;;) {
    in.SkipBlanks();
    int high = HexDigit(in.Peek());
    if (high < 0) {
      *error = "expected a hex byte";
      return false;
    }
    in.Advance();
    int value = high;
    int low = HexDigit(in.Peek());
    if (low >= 0) {
      in.Advance();
      value = high * 16 + low;
    }
    out->push_back(static_cast<char>(value));
    in.SkipBlanks();
    if (in.Peek() == ',') {
      in.Advance();
      continue;
    }
    if (in.OnlyCommentLeft()) return true;
    *error = "expected \",\" between hex bytes";
    return false;
  }
}

// The data after "=" of a value line into *change.
bool ParseValueData(LineReader& in, bool unicode, RegChange* change, std::string* error) {
  in.SkipBlanks();
  if (in.Peek() == '"') {
    std::string text;
    if (!in.Quoted(&text, error)) return false;
    change->kind = RegChange::kSetValue;
    change->type = REG_SZ;
    change->data = text + '\0';
  } else if (in.Peek() == '-') {
    in.Advance();
    change->kind = RegChange::kDeleteValue;
  } else if (in.TakePrefix("dword:")) {
    DWORD number = 0;
    int digits = 0;
    for (int d; (d = HexDigit(in.Peek())) >= 0; in.Advance(), ++digits)
      number = number << 4 | static_cast<DWORD>(d);
    if (digits == 0 || digits > 8) {
      *error = "dword: needs one to eight hex digits";
      return false;
    }
    change->kind = RegChange::kSetValue;
    change->type = REG_DWORD;
    change->data.clear();
    for (int i = 0; i < 4; ++i) change->data.push_back(static_cast<char>(number >> (8 * i)));
  } else if (in.TakePrefix("hex")) {
    DWORD type = REG_BINARY;
    if (in.Peek() == '(') {
      in.Advance();
      type = 0;
      int digits = 0;
      for (int d; (d = HexDigit(in.Peek())) >= 0; in.Advance(), ++digits)
        type = type << 4 | static_cast<DWORD>(d);
      if (digits == 0 || digits > 8 || in.Peek() != ')') {
        *error = "hex(N): needs a type number of one to eight hex digits";
        return false;
      }
      in.Advance();
    }
    if (in.Peek() != ':') {
      *error = "expected \":\" after hex";
      return false;
    }
    in.Advance();
    std::string bytes;
    if (!ParseHexBytes(in, &bytes, error)) return false;
    bool isString = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    // Version 5.00 files hold string types as UTF-16LE; REGEDIT4 files as narrow text.
    if (isString && unicode) {
      if (!Utf16LeToUtf8(bytes, 0, &change->data)) {
        *error = "string data in hex form needs an even number of bytes";
        return false;
      }
    } else {
      change->data = bytes;
    }
    change->kind = RegChange::kSetValue;
    change->type = type;
  } else {
    *error = "expected \"...\", dword:, hex:, hex(N): or - after \"=\"";
    return false;
  }
  if (!in.OnlyCommentLeft()) {
    *error = "unexpected text after the value's data";
    return false;
  }
  return true;
}

bool ParseValueLine(const std::string& text, bool unicode, RegChange* change, std::string* error) {
  LineReader in(text);
  if (in.Peek() == '@') {
    in.Advance();
    change->name.clear();
  } else if (!in.Quoted(&change->name, error)) {
    return false;
  } else if (change->name.empty()) {
    // An empty quoted name is the default value, as @ is.
  }
  in.SkipBlanks();
  if (in.Peek() != '=') {
    *error = "expected \"=\" after the value name";
    return false;
  }
  in.Advance();
  return ParseValueData(in, unicode, change, error);
}

bool ParseKeyLine(const std::string& text, RegChange* change, std::string* error) {
  if (text.size() < 2 || text.back() != ']') {
    *error = "a key line must end with \"]\"";
    return false;
  }
  std::string inner = text.substr(1, text.size() - 2);
  change->kind = RegChange::kCreateKey;
  if (!inner.empty() && inner[0] == '-') {
    change->kind = RegChange::kDeleteKey;
    inner.erase(0, 1);
  }
  if (!ParseKeyPath(inner, &change->key, error)) return false;
  if (change->kind == RegChange::kDeleteKey && change->key.subKey.empty()) {
    *error = "a root key cannot be deleted";
    return false;
  }
  return true;
}

std::string LineError(int line, const std::string& what) {
  return "line " + std::to_string(line) + ": " + what;
}

}  // namespace

bool ParseRegFile(const std::string& bytes, std::vector<RegChange>* changes, std::string* error) {
  changes->clear();
  std::string text;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    if (!Utf16LeToUtf8(bytes, 2, &text)) {
      *error = "the UTF-16 text has an odd number of bytes";
      return false;
    }
  } else if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    *error = "UTF-16 big-endian files are not supported; use UTF-8 or UTF-16LE";
    return false;
  } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text = bytes.substr(3);
  } else {
    text = bytes;
  }

  std::vector<std::string> lines;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  while (!lines.empty() && TrimRight(lines.back()).empty()) lines.pop_back();

  bool unicode = false;
  bool header = false;
  bool inKey = false;  // a key section whose values we may set
  for (size_t i = 0; i < lines.size(); ++i) {
    int number = static_cast<int>(i) + 1;
    if (lines[i].find('\0') != std::string::npos) {
      *error = LineError(number, "the line holds a NUL character");
      return false;
    }
    if (!IsValidUtf8(lines[i])) {
      *error = LineError(number, "the line is not valid UTF-8");
      return false;
    }
    std::string line = TrimRight(TrimLeft(lines[i]));
    if (!header) {
      if (line.empty()) continue;
      if (line == kHeader5) {
        unicode = true;
      } else if (line != kHeader4) {
        *error = LineError(number, std::string("expected \"") + kHeader5 + "\" or \"" + kHeader4 +
                                       "\" as the first line");
        return false;
      }
      header = true;
      continue;
    }
    if (line.empty() || line[0] == ';') continue;
    RegChange change;
    change.line = number;
    if (line[0] == '[') {
      if (!ParseKeyLine(line, &change, error)) {
        *error = LineError(number, *error);
        return false;
      }
      inKey = change.kind == RegChange::kCreateKey;
      changes->push_back(std::move(change));
      continue;
    }
    if (line[0] != '"' && line[0] != '@') {
      *error = LineError(number, "expected a [key], a \"name\"= or @= line, or a ; comment");
      return false;
    }
    // A line ending in a backslash goes on in the next line.
    while (!line.empty() && line.back() == '\\' && i + 1 < lines.size()) {
      line.pop_back();
      ++i;
      if (!IsValidUtf8(lines[i]) || lines[i].find('\0') != std::string::npos) {
        *error = LineError(static_cast<int>(i) + 1, "the line is not valid UTF-8");
        return false;
      }
      line += TrimRight(TrimLeft(lines[i]));
    }
    if (!inKey) {
      *error = LineError(number, "a value line must follow a [key] line");
      return false;
    }
    if (!ParseValueLine(line, unicode, &change, error)) {
      *error = LineError(number, *error);
      return false;
    }
    changes->push_back(std::move(change));
  }
  if (!header) {
    *error = LineError(1, "the file is empty; expected \"" + std::string(kHeader5) + "\"");
    return false;
  }
  return true;
}

bool ApplyRegChanges(const std::vector<RegChange>& changes, const std::string& fileName,
                     std::string* error) {
  OpenKey current;
  KeyPath currentPath;
  for (const RegChange& change : changes) {
    std::string where = fileName + ", line " + std::to_string(change.line) + ": ";
    std::string label =
        change.name.empty() ? std::string("the default value") : "value \"" + change.name + "\"";
    LONG rc = ERROR_SUCCESS;
    switch (change.kind) {
      case RegChange::kCreateKey:
        currentPath = change.key;
        rc = current.Create(change.key.root, change.key.subKey);
        if (rc != ERROR_SUCCESS) {
          *error = where + "cannot create key " + change.key.Full() + ": " + ErrorWords(rc);
          return false;
        }
        break;
      case RegChange::kDeleteKey: {
        current.Close();
        OpenKey probe;
        rc = probe.Open(change.key.root, change.key.subKey, KEY_READ);
        if (rc == ERROR_FILE_NOT_FOUND) break;
        probe.Close();
        if (rc == ERROR_SUCCESS) rc = DeleteKeyAt(change.key.root, change.key.subKey);
        if (rc != ERROR_SUCCESS) {
          *error = where + "cannot delete key " + change.key.Full() + ": " + ErrorWords(rc);
          return false;
        }
        break;
      }
      case RegChange::kSetValue:
        rc = RegSetValueExA(current.get(), change.name.c_str(), 0, change.type,
                            reinterpret_cast<const BYTE*>(change.data.data()),
                            static_cast<DWORD>(change.data.size()));
        if (rc != ERROR_SUCCESS) {
          *error =
              where + "cannot set " + label + " of " + currentPath.Full() + ": " + ErrorWords(rc);
          return false;
        }
        break;
      case RegChange::kDeleteValue:
        rc = RegDeleteValueA(current.get(), change.name.c_str());
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
          *error = where + "cannot delete " + label + " of " + currentPath.Full() + ": " +
                   ErrorWords(rc);
          return false;
        }
        break;
    }
  }
  return true;
}

bool RunImport(const Arguments& args) {
  std::string bytes, error;
  std::string fileName = args.file == "-" ? std::string("standard input") : args.file;
  if (!ReadWholeFile(args.file, &bytes, &error)) {
    PrintError(error);
    return false;
  }
  std::vector<RegChange> changes;
  if (!ParseRegFile(bytes, &changes, &error)) {
    PrintError(fileName + ", " + error + "; nothing was imported");
    return false;
  }
  if (!ApplyRegChanges(changes, fileName, &error)) {
    PrintError(error + "; nothing was imported");
    return false;
  }
  return true;
}
