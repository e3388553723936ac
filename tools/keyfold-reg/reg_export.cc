#include "tools/keyfold-reg/reg_export.h"

#include <cstdio>
#include <vector>

#include "platform/text.h"
#include "tools/keyfold-reg/file_io.h"
#include "tools/keyfold-reg/report.h"

namespace {

// A hex line is wrapped once it is longer than this, as regedit wraps at about 80 columns.
constexpr size_t kWrapColumn = 76;

const char kHeader[] = "Windows Registry Editor Version 5.00\n\n";

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

// String data that the quoted form carries exactly: one NUL at its end and no line break.
bool IsPlainString(const std::string& data) {
  return !data.empty() && data.back() == '\0' && data.find('\0') == data.size() - 1 &&
         !HasLineBreak(data);
}

std::string Utf16Bytes(const std::string& utf8) {
  std::u16string wide = Utf8ToUtf16(utf8.data(), utf8.size());
  std::string bytes;
  bytes.reserve(wide.size() * 2);
  for (char16_t unit : wide) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

void AppendHex(std::string prefix, const std::string& bytes, std::string* text) {
  static const char kDigits[] = "0123456789abcdef";
  std::string line = std::move(prefix);
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    line.push_back(kDigits[b >> 4]);
    line.push_back(kDigits[b & 15]);
    if (i + 1 == bytes.size()) break;
    line.push_back(',');
    if (line.size() > kWrapColumn) {
      *text += line + "\\\n";
      line = "  ";
    }
  }
  *text += line + "\n";
}

bool ExportKey(HKEY key, const KeyPath& path, std::string* text) {
  if (HasLineBreak(path.subKey)) {
    PrintError("cannot export " + path.Full() + ": a key name with a line break cannot be " +
               "written to a .reg file");
    return false;
  }
  std::vector<RegValue> values;
  LONG rc = ListValues(key, &values);
  if (rc != ERROR_SUCCESS) {
    PrintError("cannot read the values of " + path.Full() + ": " + ErrorWords(rc));
    return false;
  }
  *text += "[" + path.Full() + "]\n";
  std::string error;
  for (const RegValue& value : values) {
    if (!FormatRegValue(value, text, &error)) {
      PrintError("cannot export a value of " + path.Full() + ": " + error);
      return false;
    }
  }
  *text += "\n";

  std::vector<std::string> children;
  rc = ListSubkeys(key, &children);
  if (rc != ERROR_SUCCESS) {
    PrintError("cannot list the subkeys of " + path.Full() + ": " + ErrorWords(rc));
    return false;
  }
  for (const std::string& child : children) {
    OpenKey sub;
    rc = sub.Open(key, child, KEY_READ);
    if (rc != ERROR_SUCCESS) {
      PrintError("cannot open key " + path.Child(child).Full() + ": " + ErrorWords(rc));
      return false;
    }
    if (!ExportKey(sub.get(), path.Child(child), text)) return false;
  }
  return true;
}

}  // namespace

bool FormatRegValue(const RegValue& value, std::string* text, std::string* error) {
  if (HasLineBreak(value.name)) {
    *error = "the value name \"" + value.name + "\" holds a line break";
    return false;
  }
  std::string prefix = (value.name.empty() ? std::string("@") : Quoted(value.name)) + "=";
  if (value.type == REG_SZ && IsPlainString(value.data)) {
    *text += prefix + Quoted(value.data.substr(0, value.data.size() - 1)) + "\n";
    return true;
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD number = 0;
    for (int i = 0; i < 4; ++i)
      number |= static_cast<DWORD>(static_cast<unsigned char>(value.data[i])) << (8 * i);
    char digits[16];
    snprintf(digits, sizeof digits, "%08x", number);
    *text += prefix + "dword:" + digits + "\n";
    return true;
  }
  bool isString = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
  char type[32];
  if (value.type == REG_BINARY)
    snprintf(type, sizeof type, "hex:");
  else
    snprintf(type, sizeof type, "hex(%x):", value.type);
  AppendHex(prefix + type, isString ? Utf16Bytes(value.data) : value.data, text);
  return true;
}

bool ExportTree(const KeyPath& asked, std::string* text) {
  KeyPath path = asked;
  UseStoredSpelling(path.root, &path.subKey);
  OpenKey key;
  LONG rc = key.Open(path.root, path.subKey, KEY_READ);
  if (rc != ERROR_SUCCESS) {
    PrintError("cannot export " + path.Full() + ": " + ErrorWords(rc));
    return false;
  }
  *text = kHeader;
  return ExportKey(key.get(), path, text);
}

std::string ToUtf16Crlf(const std::string& text) {
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') crlf.push_back('\r');
    crlf.push_back(c);
  }
  return "\xFF\xFE" + Utf16Bytes(crlf);
}

bool RunExport(const Arguments& args) {
  KeyPath path;
  std::string error;
  if (!ParseKeyPath(args.key, &path, &error)) {
    PrintError(error);
    return false;
  }
  std::string text;
  if (!ExportTree(path, &text)) return false;
  if (!WriteWholeFile(args.file, args.utf16 ? ToUtf16Crlf(text) : text, args.overwrite, &error)) {
    PrintError(error);
    return false;
  }
  return true;
}
