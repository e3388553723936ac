#include "tools/keyfold-reg/report.h"

#include <cstdio>

#include "platform/error.h"

std::string ErrorWords(LONG error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "not found";
    case ERROR_ACCESS_DENIED:
      return "access denied";
    case ERROR_INVALID_HANDLE:
      return "invalid handle";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return "out of memory";
    case ERROR_INVALID_PARAMETER:
      return "invalid parameter";
    case ERROR_FILENAME_EXCED_RANGE:
      return "name too long";
    case ERROR_KEY_DELETED:
      return "the key has been deleted";
    case ERROR_BUSY:
    case ERROR_TIMEOUT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return "the store is busy";
    case ERROR_BADDB:
    case ERROR_REGISTRY_CORRUPT:
      return "the store is damaged";
    case ERROR_CANTOPEN:
      return "cannot open the store";
    case ERROR_CANTREAD:
      return "cannot read the store";
    case ERROR_CANTWRITE:
    case ERROR_REGISTRY_IO_FAILED:
      return "cannot write the store";
    case ERROR_DISK_FULL:
      return "disk full";
    default:
      return "error " + std::to_string(error);
  }
}

void PrintError(const std::string& text) { fprintf(stderr, "keyfold-reg: %s\n", text.c_str()); }
