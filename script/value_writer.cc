// The value writer: parses "= T D" after a key name or a value name and writes one registry
// value, or reads past the assignment without touching the registry.

#include "script/value_writer.h"

#include <cstring>

#include "platform/diagnostics.h"
#include "platform/text.h"
#include "registry/key_handle.h"
#include "registry/registry.h"
#include "script/number_text.h"
#include "script/parser.h"

const ValueTypeRow ValueTypeTable[3] = {{"S", VT_BSTR}, {"D", VT_UI4}, {"B", VT_UI1}};

const ValueTypeRow* FindValueType(const char* typeToken) {
  for (const ValueTypeRow& row : ValueTypeTable) {
    if (lstrcmpiA(typeToken, row.letter) == 0) return &row;
  }
  return nullptr;
}

namespace {

// The value of one hexadecimal digit, or -1.
int HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

}  // namespace

HRESULT CScriptParser::WriteValue(CKeyHandle& key, const char* valueName, char* buffer) {
  char type[TOKEN_BUFFER_SIZE];
  char data[TOKEN_BUFFER_SIZE];
  if (FAILED(NextToken(type))) return DISP_E_EXCEPTION;
  const ValueTypeRow* row = FindValueType(type);
  if (row == nullptr) {
    ReportMessage(0, "%s Type not supported\n", type);
    return DISP_E_EXCEPTION;
  }
  HRESULT hr = NextToken(data);
  if (FAILED(hr)) return hr;

  // Messages name the unnamed default value "default".
  const char* shownName = valueName != nullptr ? valueName : "default";
  switch (row->typeCode) {
    case VT_BSTR: {
      DWORD size = static_cast<DWORD>(strlen(data)) + 1;
      RegSetValueExA(key.m_hKey, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), size);
      ReportMessage(2, "Setting Value %s at %s\n", data, shownName);
      break;
    }
    case VT_UI4: {
      // A token of at most TOKEN_BUFFER_SIZE - 1 bytes never needs more wide characters than
      // that, plus the NUL.
      WCHAR wide[TOKEN_BUFFER_SIZE];
      ULONG number = 0;
      if (MultiByteToWideChar(CP_ACP, 0, data, -1, wide, TOKEN_BUFFER_SIZE) == 0 ||
          FAILED(VarUI4FromStr(wide, 0, 0, &number))) {
        // Writing some other number than the script names would store a wrong value.
        ReportMessage(0, "Invalid number %s\n", data);
        return DISP_E_EXCEPTION;
      }
      DWORD dword = number;
      RegSetValueExA(key.m_hKey, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword),
                     sizeof(dword));
      ReportMessage(2, "Setting Value %d at %s\n", static_cast<int>(dword), shownName);
      break;
    }
    case VT_UI1: {
      size_t length = strlen(data);
      if (length % 2 != 0) {
        ReportMessage(0, "Binary Data does not fall on BYTE boundries\n");
        return E_FAIL;
      }
      BYTE bytes[TOKEN_BUFFER_SIZE / 2] = {};
      for (size_t i = 0; i < length; ++i) {
        int digit = HexDigit(data[i]);
        if (digit < 0) {
          ReportMessage(0, "Bogus value %c passed as binary Hex value\n", data[i]);
          digit = 0;
        }
        bytes[i / 2] |= static_cast<BYTE>(i % 2 == 0 ? digit << 4 : digit);
      }
      RegSetValueExA(key.m_hKey, valueName, 0, REG_BINARY, bytes, static_cast<DWORD>(length / 2));
      break;
    }
  }
  return NextToken(buffer);
}

HRESULT CScriptParser::SkipValueAssignment(char* buffer) {
  if (buffer[0] != '=') return S_OK;
  HRESULT hr = NextToken(buffer);
  if (FAILED(hr)) return hr;
  char data[TOKEN_BUFFER_SIZE];
  hr = NextToken(data);
  if (FAILED(hr)) return hr;
  return NextToken(buffer);
}
