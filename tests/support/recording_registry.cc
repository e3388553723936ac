#include "tests/support/recording_registry.h"

#include <cstdio>

#include "platform/text.h"

namespace {

std::string SubkeyText(LPCSTR name) { return name ? name : ""; }

std::string ValueText(LPCSTR name) { return name && *name ? name : "default"; }

std::string TypeText(DWORD type) {
  switch (type) {
    case REG_SZ:
      return "REG_SZ";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_BINARY:
      return "REG_BINARY";
    default:
      return std::to_string(type);
  }
}

std::string Hex(REGSAM access) {
  char buffer[16];
  snprintf(buffer, sizeof buffer, "0x%x", access);
  return buffer;
}

}  // namespace

RecordingRegistry::RecordingRegistry()
    : m_previous(SetRegistryApi(this)), m_next(m_previous ? *m_previous : StoreRegistryApi()) {}

RecordingRegistry::~RecordingRegistry() { SetRegistryApi(m_previous); }

std::string RecordingRegistry::Joined() const {
  std::string out;
  for (size_t i = 0; i < m_calls.size(); ++i) {
    if (i) out += '\n';
    out += m_calls[i];
  }
  return out;
}

void RecordingRegistry::FailCall(size_t k, LONG error) { m_failAt.emplace_back(k, error); }

void RecordingRegistry::FailOperation(const char* operation, const char* name, LONG error) {
  m_rules.push_back(Rule{operation, name == nullptr, name ? name : "", error});
}

LONG RecordingRegistry::Record(const char* operation, const std::string& arguments, bool hasName,
                               const char* name) {
  ++m_count;
  m_calls.push_back(std::string(operation) + "(" + arguments + ")");
  for (const auto& [k, error] : m_failAt)
    if (k == m_count) return error;
  for (const Rule& rule : m_rules) {
    if (rule.operation != operation) continue;
    if (rule.anyName) return rule.error;
    if (hasName && lstrcmpiA(rule.name.c_str(), name ? name : "") == 0) return rule.error;
  }
  return ERROR_SUCCESS;
}

LONG RecordingRegistry::OpenKeyEx(HKEY key, LPCSTR subKey, DWORD options, REGSAM access,
                                  PHKEY result) {
  if (LONG error = Record("OpenKeyEx", SubkeyText(subKey) + ", " + Hex(access), true, subKey)) {
    if (result) *result = nullptr;
    return error;
  }
  return m_next.OpenKeyEx(key, subKey, options, access, result);
}

LONG RecordingRegistry::CreateKeyEx(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className,
                                    DWORD options, REGSAM access,
                                    const SECURITY_ATTRIBUTES* security, PHKEY result,
                                    LPDWORD disposition) {
  if (LONG error = Record("CreateKeyEx", SubkeyText(subKey) + ", " + Hex(access), true, subKey)) {
    if (result) *result = nullptr;
    return error;
  }
  return m_next.CreateKeyEx(key, subKey, reserved, className, options, access, security, result,
                            disposition);
}

LONG RecordingRegistry::CloseKey(HKEY key) {
  if (LONG error = Record("CloseKey", "", false, nullptr)) return error;
  return m_next.CloseKey(key);
}

LONG RecordingRegistry::SetValueEx(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                                   const BYTE* data, DWORD size) {
  if (LONG error =
          Record("SetValueEx", ValueText(valueName) + ", " + TypeText(type), true, valueName))
    return error;
  return m_next.SetValueEx(key, valueName, reserved, type, data, size);
}

LONG RecordingRegistry::DeleteValue(HKEY key, LPCSTR valueName) {
  if (LONG error = Record("DeleteValue", ValueText(valueName), true, valueName)) return error;
  return m_next.DeleteValue(key, valueName);
}

LONG RecordingRegistry::DeleteKey(HKEY key, LPCSTR subKey) {
  if (LONG error = Record("DeleteKey", SubkeyText(subKey), true, subKey)) return error;
  return m_next.DeleteKey(key, subKey);
}

LONG RecordingRegistry::EnumKeyEx(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength,
                                  LPDWORD reserved, LPSTR className, LPDWORD classLength,
                                  FILETIME* lastWriteTime) {
  if (LONG error = Record("EnumKeyEx", std::to_string(index), false, nullptr)) return error;
  return m_next.EnumKeyEx(key, index, name, nameLength, reserved, className, classLength,
                          lastWriteTime);
}

LONG RecordingRegistry::QueryInfoKey(HKEY key, LPSTR className, LPDWORD classLength,
                                     LPDWORD reserved, LPDWORD subKeys, LPDWORD maxSubKeyLength,
                                     LPDWORD maxClassLength, LPDWORD values,
                                     LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                                     LPDWORD securityDescriptorSize, FILETIME* lastWriteTime) {
  if (LONG error = Record("QueryInfoKey", "", false, nullptr)) return error;
  return m_next.QueryInfoKey(key, className, classLength, reserved, subKeys, maxSubKeyLength,
                             maxClassLength, values, maxValueNameLength, maxValueLength,
                             securityDescriptorSize, lastWriteTime);
}

LONG RecordingRegistry::EnumValue(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameLength,
                                  LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
  if (LONG error = Record("EnumValue", std::to_string(index), false, nullptr)) return error;
  return m_next.EnumValue(key, index, valueName, valueNameLength, reserved, type, data, dataSize);
}

LONG RecordingRegistry::QueryValueEx(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                     LPBYTE data, LPDWORD dataSize) {
  if (LONG error = Record("QueryValueEx", ValueText(valueName), true, valueName)) return error;
  return m_next.QueryValueEx(key, valueName, reserved, type, data, dataSize);
}
