#include "tools/keyfold-reg/key_walk.h"

#include <algorithm>

#include "platform/text.h"
#include "registry/key_handle.h"

namespace {

// Narrow names and data in UTF-8 take up to three bytes per UTF-16 unit the key reports.
constexpr DWORD kBytesPerUnit = 3;
// Buffers grow this many times at most when the store reports ERROR_MORE_DATA.
constexpr int kMaxGrowth = 24;

}  // namespace

OpenKey::~OpenKey() { Close(); }

LONG OpenKey::Open(HKEY parent, const std::string& subKey, REGSAM access) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(parent, subKey.c_str(), 0, access, &key);
  if (rc != ERROR_SUCCESS) return rc;
  Close();
  m_hKey = key;
  return ERROR_SUCCESS;
}

LONG OpenKey::Create(HKEY parent, const std::string& subKey) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(parent, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  Close();
  m_hKey = key;
  return ERROR_SUCCESS;
}

void OpenKey::Close() {
  if (m_hKey) RegCloseKey(m_hKey);
  m_hKey = nullptr;
}

LONG ListSubkeys(HKEY key, std::vector<std::string>* names) {
  names->clear();
  DWORD count = 0, maxLength = 0;
  LONG rc = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, &maxLength, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  std::string buffer((maxLength + 1) * kBytesPerUnit + 1, '\0');
  for (DWORD index = 0;; ++index) {
    int growth = 0;
    for (;;) {
      DWORD length = static_cast<DWORD>(buffer.size());
      rc = RegEnumKeyExA(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_MORE_DATA && ++growth < kMaxGrowth) {
        buffer.resize(buffer.size() * 2);
        continue;
      }
      if (rc == ERROR_SUCCESS) names->emplace_back(buffer.data(), length);
      break;
    }
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
  }
}

LONG ListValues(HKEY key, std::vector<RegValue>* values) {
  values->clear();
  DWORD count = 0, maxName = 0, maxData = 0;
  LONG rc = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                             &maxName, &maxData, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  std::string name((maxName + 1) * kBytesPerUnit + 1, '\0');
  std::string data(static_cast<size_t>(maxData) * 2 + 16, '\0');
  for (DWORD index = 0;; ++index) {
    RegValue value;
    int growth = 0;
    for (;;) {
      DWORD nameLength = static_cast<DWORD>(name.size());
      DWORD dataSize = static_cast<DWORD>(data.size());
      rc = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &value.type,
                         reinterpret_cast<BYTE*>(data.data()), &dataSize);
      if (rc == ERROR_MORE_DATA && ++growth < kMaxGrowth) {
        // Either the name or the data did not fit; grow both, to what was asked for if larger.
        name.resize(name.size() * 2);
        data.resize(std::max<size_t>(data.size() * 2, dataSize));
        continue;
      }
      if (rc == ERROR_SUCCESS) {
        value.name.assign(name.data(), nameLength);
        value.data.assign(data.data(), dataSize);
        values->push_back(std::move(value));
      }
      break;
    }
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
  }
}

LONG ReadValue(HKEY key, const std::string& name, RegValue* value) {
  value->name = name;
  value->data.assign(256, '\0');
  for (int growth = 0;; ++growth) {
    DWORD size = static_cast<DWORD>(value->data.size());
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &value->type,
                               reinterpret_cast<BYTE*>(value->data.data()), &size);
    if (rc == ERROR_MORE_DATA && growth < kMaxGrowth) {
      value->data.resize(std::max<size_t>(value->data.size() * 2, size));
      continue;
    }
    if (rc != ERROR_SUCCESS) return rc;
    value->data.resize(size);
    return ERROR_SUCCESS;
  }
}

LONG DeleteTree(HKEY parent, const std::string& subKey) {
  // The key handle's tree deletion, on a handle that borrows the parent.
  CKeyHandle borrowed;
  borrowed.m_hKey = parent;
  LONG rc = borrowed.DeleteKeyTree(subKey.c_str());
  borrowed.m_hKey = nullptr;
  return rc;
}

LONG DeleteKeyAt(HKEY root, const std::string& subKey) {
  if (subKey.empty()) return ERROR_ACCESS_DENIED;
  size_t last = subKey.rfind('\\');
  OpenKey parent;
  LONG rc = parent.Open(root, last == std::string::npos ? std::string() : subKey.substr(0, last),
                        KEY_READ | KEY_WRITE);
  if (rc != ERROR_SUCCESS) return rc;
  return DeleteTree(parent.get(), last == std::string::npos ? subKey : subKey.substr(last + 1));
}

void UseStoredSpelling(HKEY root, std::string* subKey) {
  if (subKey->empty()) return;
  std::string stored;
  HKEY current = root;
  size_t start = 0;
  for (;;) {
    size_t end = subKey->find('\\', start);
    if (end == std::string::npos) end = subKey->size();
    std::string name = subKey->substr(start, end - start);
    std::vector<std::string> children;
    if (ListSubkeys(current, &children) == ERROR_SUCCESS) {
      for (const std::string& child : children) {
        if (lstrcmpiA(child.c_str(), name.c_str()) == 0) {
          name = child;
          break;
        }
      }
    }
    stored += (stored.empty() ? "" : "\\") + name;
    HKEY next = nullptr;
    LONG rc = end == subKey->size() ? ERROR_NO_MORE_ITEMS
                                    : RegOpenKeyExA(current, name.c_str(), 0, KEY_READ, &next);
    if (current != root) RegCloseKey(current);
    if (rc != ERROR_SUCCESS) {
      stored += subKey->substr(end);
      break;
    }
    current = next;
    start = end + 1;
  }
  *subKey = stored;
}
