// The two places a script comes from: a file, read whole and held without sharing while it runs,
// and a resource of a module file, read as data. Each loads the text, expands it and runs it.
#include <cstdio>
#include <cstring>

#include "platform/diagnostics.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "platform/module.h"
#include "platform/text.h"
#include "registrar/registrar.h"
#include "script/parser.h"

namespace {

// The largest script we load: its expanded copy starts at twice its size and must stay within
// 32-bit sizes.
constexpr uint64_t kMaxScriptSize = (uint64_t{1} << 30) - 1;

// The HRESULT for a failed platform call. A platform that failed without saying why still
// failed, so a last error of 0 gives E_FAIL rather than success.
HRESULT CodeFromLastError() {
  DWORD error = GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

const char* Shown(const char* text) { return text ? text : ""; }

// Expands `text` and runs the result; the expanded copy is freed whatever the outcome.
HRESULT ExpandAndRun(CScriptRegistrar* registrar, char* text, BOOL registerMode) {
  CScriptParser parser(registrar);
  char* expanded = nullptr;
  HRESULT hr = parser.ExpandReplacements(text, &expanded);
  // The loaded text is no longer needed once the expanded copy exists.
  HeapFreeBlock(text);
  if (FAILED(hr)) return hr;
  hr = parser.RunScriptText(expanded, registerMode);
  CoTaskMemFree(expanded);
  return hr;
}

}  // namespace

HRESULT CScriptRegistrar::RunScriptFile(LPCWSTR fileName, BOOL registerMode) {
  WideToNarrow name(fileName);
  HANDLE file =
      CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_READONLY, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    HRESULT hr = CodeFromLastError();
    ReportMessage(0, "Cannot open file: %s\n", Shown(name));
    return hr;
  }

  // The whole size, high part included, so that a huge file is refused rather than read short.
  DWORD sizeHigh = 0;
  SetLastError(0);
  DWORD sizeLow = GetFileSize(file, &sizeHigh);
  if (sizeLow == INVALID_FILE_SIZE && GetLastError() != 0) {
    HRESULT hr = CodeFromLastError();
    ReportMessage(0, "Cannot get the size of file: %s\n", Shown(name));
    CloseHandle(file);
    return hr;
  }
  uint64_t size = uint64_t{sizeHigh} << 32 | sizeLow;
  char* text = size <= kMaxScriptSize ? static_cast<char*>(HeapAllocBlock(size + 1)) : nullptr;
  if (text == nullptr) {
    if (size > kMaxScriptSize)
      ReportMessage(0, "File too large: %s\n", Shown(name));
    else
      ReportMessage(0, "Not enough memory to read file: %s\n", Shown(name));
    CloseHandle(file);
    return size <= kMaxScriptSize ? E_OUTOFMEMORY : HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
  }

  DWORD bytesRead = 0;
  if (!ReadFile(file, text, static_cast<DWORD>(size), &bytesRead, nullptr)) {
    HRESULT hr = CodeFromLastError();
    ReportMessage(0, "Read Failed on file%s\n", Shown(name));
    HeapFreeBlock(text);
    CloseHandle(file);
    return hr;
  }
  text[bytesRead] = '\0';

  // The file stays open, and closed to other openers, until the run has ended.
  HRESULT hr = ExpandAndRun(this, text, registerMode);
  CloseHandle(file);
  return hr;
}

HRESULT CScriptRegistrar::RunScriptResource(LPCWSTR modulePath, LPCSTR resourceId,
                                            LPCSTR resourceType, BOOL registerMode) {
  WideToNarrow path(modulePath);
  HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    HRESULT hr = CodeFromLastError();
    ReportMessage(0, "Failed to LoadLibrary on %s\n", Shown(path));
    return hr;
  }

  HRSRC resource = FindResourceA(module, resourceId, resourceType);
  if (resource == nullptr) {
    HRESULT hr = CodeFromLastError();
    // A type given as a number is shown in its "#n" form rather than read as text.
    char typeNumber[16];
    const char* type = resourceType;
    if (IS_INTRESOURCE(resourceType)) {
      snprintf(typeNumber, sizeof(typeNumber), "#%u",
               static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(resourceType)));
      type = typeNumber;
    }
    if (IS_INTRESOURCE(resourceId))
      ReportMessage(0, "Failed to FindResource on ID:%d TYPE:%s\n",
                    static_cast<int>(reinterpret_cast<ULONG_PTR>(resourceId)), type);
    else
      ReportMessage(0, "Failed to FindResource on ID:%s TYPE:%s\n", resourceId, type);
    FreeLibrary(module);
    return hr;
  }

  HGLOBAL data = LoadResource(module, resource);
  if (data == nullptr) {
    HRESULT hr = CodeFromLastError();
    ReportMessage(0, "Failed to LoadResource \n");
    FreeLibrary(module);
    return hr;
  }

  // Resource bytes are read-only and need not end in a NUL: run a terminated copy.
  DWORD size = SizeofResource(module, resource);
  char* text =
      size <= kMaxScriptSize ? static_cast<char*>(HeapAllocBlock(size + size_t{1})) : nullptr;
  if (text == nullptr) {
    ReportMessage(0, "Resource too large: %lu bytes\n", static_cast<unsigned long>(size));
    FreeLibrary(module);
    return E_OUTOFMEMORY;
  }
  memcpy(text, LockResource(data), size);
  text[size] = '\0';

  HRESULT hr = ExpandAndRun(this, text, registerMode);
  FreeLibrary(module);
  return hr;
}
