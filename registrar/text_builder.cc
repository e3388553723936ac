#include "registrar/text_builder.h"

#include <climits>

#include "platform/memory.h"
#include "platform/text.h"

CTextBuilder::~CTextBuilder() { CoTaskMemFree(text); }

HRESULT CTextBuilder::Start(int size) {
  CoTaskMemFree(text);
  length = 0;
  capacity = 0;
  text = static_cast<char*>(CoTaskMemAlloc(static_cast<size_t>(size)));
  if (text == nullptr) return E_OUTOFMEMORY;
  capacity = size;
  return S_OK;
}

HRESULT CTextBuilder::Reserve(int extra) {
  if (length + extra <= capacity) return S_OK;
  // An empty input starts with no room; give it a little before doubling.
  long long wanted = capacity > 0 ? capacity : 16;
  while (wanted < static_cast<long long>(length) + extra) wanted *= 2;
  if (wanted > INT_MAX) return E_OUTOFMEMORY;
  char* grown = static_cast<char*>(CoTaskMemRealloc(text, static_cast<size_t>(wanted)));
  if (grown == nullptr) return E_OUTOFMEMORY;
  text = grown;
  capacity = static_cast<int>(wanted);
  return S_OK;
}

HRESULT CTextBuilder::AppendChar(const char* p) {
  int bytes = IsDBCSLeadByte(static_cast<BYTE>(p[0])) && p[1] != '\0' ? 2 : 1;
  HRESULT hr = Reserve(bytes);
  if (FAILED(hr)) return hr;
  text[length++] = p[0];
  if (bytes == 2) text[length++] = p[1];
  return S_OK;
}

HRESULT CTextBuilder::AppendByte(char ch) {
  HRESULT hr = Reserve(1);
  if (FAILED(hr)) return hr;
  text[length++] = ch;
  return S_OK;
}

char* CTextBuilder::Detach() {
  char* result = text;
  text = nullptr;
  length = 0;
  capacity = 0;
  return result;
}
