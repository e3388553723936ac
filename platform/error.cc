#include "platform/error.h"

#include <cerrno>

namespace {
thread_local DWORD t_lastError = 0;
}  // namespace

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD error) { t_lastError = error; }

DWORD ErrorFromErrno(int errnum) {
  switch (errnum) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EWOULDBLOCK:
      return ERROR_SHARING_VIOLATION;
    case EFBIG:
    case EOVERFLOW:
      return ERROR_FILE_TOO_LARGE;
    case EPIPE:
      return ERROR_BROKEN_PIPE;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EBUSY:
      return ERROR_BUSY;
    case ENOEXEC:
      return ERROR_BAD_EXE_FORMAT;
    case ETIMEDOUT:
      return ERROR_TIMEOUT;
    case ELOOP:
      return ERROR_CANTOPEN;
    default:
      return ERROR_READ_FAULT;
  }
}

DWORD SetLastErrorFromErrno(int errnum) {
  DWORD error = ErrorFromErrno(errnum);
  SetLastError(error);
  return error;
}
