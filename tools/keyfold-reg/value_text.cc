#include "tools/keyfold-reg/value_text.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "registry/registry.h"

namespace {

struct TypeEntry {
  DWORD type;
  const char* name;
  bool writable;
};

const TypeEntry kTypes[] = {
    {REG_NONE, "REG_NONE", true},           {REG_SZ, "REG_SZ", true},
    {REG_EXPAND_SZ, "REG_EXPAND_SZ", true}, {REG_BINARY, "REG_BINARY", true},
    {REG_DWORD, "REG_DWORD", true},         {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN", false},
    {REG_LINK, "REG_LINK", false},          {REG_MULTI_SZ, "REG_MULTI_SZ", true},
    {REG_QWORD, "REG_QWORD", true},
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A whole unsigned number in decimal, or in hex after 0x, no larger than `max`.
bool ParseNumber(const std::string& text, unsigned long long max, unsigned long long* out) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* digits = text.c_str() + (hex ? 2 : 0);
  if (*digits == '-' || *digits == '+' || *digits == ' ') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long value = strtoull(digits, &end, hex ? 16 : 10);
  if (errno != 0 || end == digits || *end != '\0' || value > max) return false;
  *out = value;
  return true;
}

std::string HexUpper(const std::string& data) {
  std::string text;
  char byte[3];
  for (unsigned char c : data) {
    snprintf(byte, sizeof byte, "%02X", c);
    text += byte;
  }
  return text;
}

// The text of string data without the NULs that end it.
std::string StripNuls(std::string text) {
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

}  // namespace

std::string TypeName(DWORD type) {
  for (const TypeEntry& t : kTypes)
    if (t.type == type) return t.name;
  char name[32];
  snprintf(name, sizeof name, "REG_0x%x", type);
  return name;
}

bool TypeFromName(const std::string& name, DWORD* type) {
  for (const TypeEntry& t : kTypes) {
    if (t.writable && strcasecmp(name.c_str(), t.name) == 0) {
      *type = t.type;
      return true;
    }
  }
  return false;
}

bool DataFromText(DWORD type, const std::string& text, std::string* data, std::string* error) {
  data->clear();
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      if (text.find('\0') != std::string::npos) {
        *error = "string data cannot hold a NUL character";
        return false;
      }
      *data = text;
      data->push_back('\0');
      return true;
    case REG_MULTI_SZ: {
      if (text.empty()) {
        data->push_back('\0');
        return true;
      }
      size_t start = 0;
      for (;;) {
        size_t sep = text.find("\\0", start);
        std::string item = text.substr(start, sep == std::string::npos ? sep : sep - start);
        if (item.empty()) {
          *error = "REG_MULTI_SZ data cannot hold an empty string";
          return false;
        }
        *data += item;
        data->push_back('\0');
        if (sep == std::string::npos) break;
        start = sep + 2;
      }
      data->push_back('\0');
      return true;
    }
    case REG_DWORD:
    case REG_QWORD: {
      unsigned long long value = 0;
      bool dword = type == REG_DWORD;
      if (!ParseNumber(text, dword ? 0xFFFFFFFFull : ~0ull, &value)) {
        *error = "\"" + text + "\" is not a " + (dword ? "32" : "64") +
                 "-bit unsigned number (decimal, or hex after 0x)";
        return false;
      }
      for (int i = 0; i < (dword ? 4 : 8); ++i)
        data->push_back(static_cast<char>(value >> (8 * i)));
      return true;
    }
    default: {
      if (text.size() % 2 != 0) {
        *error = "hex data needs two digits for every byte";
        return false;
      }
      for (size_t i = 0; i < text.size(); i += 2) {
        int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
          *error = "\"" + text + "\" is not hex data";
          return false;
        }
        data->push_back(static_cast<char>(high * 16 + low));
      }
      return true;
    }
  }
}

std::string DataToText(DWORD type, const std::string& data) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return StripNuls(data.substr(0, data.find('\0')));
    case REG_MULTI_SZ: {
      std::string text;
      size_t start = 0;
      while (start < data.size() && data[start] != '\0') {
        size_t end = data.find('\0', start);
        if (end == std::string::npos) end = data.size();
        if (!text.empty()) text += "\\0";
        text += data.substr(start, end - start);
        start = end + 1;
      }
      return text;
    }
    case REG_DWORD:
    case REG_QWORD: {
      size_t width = type == REG_DWORD ? 4 : 8;
      if (data.size() != width) return HexUpper(data);
      unsigned long long value = 0;
      for (size_t i = 0; i < width; ++i)
        value |= static_cast<unsigned long long>(static_cast<unsigned char>(data[i])) << (8 * i);
      char text[32];
      snprintf(text, sizeof text, "0x%llx", value);
      return text;
    }
    default:
      return HexUpper(data);
  }
}
