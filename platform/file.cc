#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/error.h"

namespace {

// What a file HANDLE points at. The tag lets CloseHandle refuse a pointer that is not ours.
struct FileObject {
  uint32_t tag;
  int fd;
};

constexpr uint32_t kFileTag = 0x4b46464c;  // "KFFL"

// The largest count handed to one read(2); Linux moves at most about 2 GiB per call anyway.
constexpr size_t kMaxChunk = size_t{1} << 30;

FileObject* FromHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  FileObject* file = static_cast<FileObject*>(handle);
  return file->tag == kFileTag ? file : nullptr;
}

HANDLE FailWith(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode, SECURITY_ATTRIBUTES*,
                   DWORD creationDisposition, DWORD, HANDLE templateFile) {
  if (fileName == nullptr || templateFile != nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  if (fileName[0] == '\0') return FailWith(ERROR_PATH_NOT_FOUND);

  bool wantRead = (desiredAccess & GENERIC_READ) != 0;
  bool wantWrite = (desiredAccess & GENERIC_WRITE) != 0;
  int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  flags |= wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
  bool truncate = false;
  switch (creationDisposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT;
      truncate = true;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      if (!wantWrite) return FailWith(ERROR_INVALID_PARAMETER);
      truncate = true;
      break;
    default:
      return FailWith(ERROR_INVALID_PARAMETER);
  }

  // O_NONBLOCK keeps the open of a FIFO without a writer from hanging; it is cleared below.
  int fd = open(fileName, flags, 0666);
  if (fd < 0) return FailWith(ErrorFromErrno(errno));

  auto failClosed = [fd](DWORD error) {
    close(fd);
    return FailWith(error);
  };
  struct stat st;
  if (fstat(fd, &st) != 0) return failClosed(ErrorFromErrno(errno));
  // The platform refuses to open a directory as a file.
  if (S_ISDIR(st.st_mode)) return failClosed(ERROR_ACCESS_DENIED);

  // Share mode 0 admits no other opener; any other share mode admits openers that share too.
  int lockOp = (shareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB;
  while (flock(fd, lockOp) != 0) {
    if (errno == EINTR) continue;
    return failClosed(errno == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : ErrorFromErrno(errno));
  }
  // Truncate only once the lock is held, so a file another opener holds is never changed.
  if (truncate && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0)
    return failClosed(ErrorFromErrno(errno));

  int fdFlags = fcntl(fd, F_GETFL);
  if (fdFlags >= 0) fcntl(fd, F_SETFL, fdFlags & ~O_NONBLOCK);

  FileObject* file = new (std::nothrow) FileObject{kFileTag, fd};
  if (file == nullptr) return failClosed(ERROR_NOT_ENOUGH_MEMORY);
  return file;
}

DWORD GetFileSize(HANDLE handle, DWORD* sizeHigh) {
  FileObject* file = FromHandle(handle);
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  struct stat st;
  if (fstat(file->fd, &st) != 0) {
    SetLastErrorFromErrno(errno);
    return INVALID_FILE_SIZE;
  }
  if (!S_ISREG(st.st_mode)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_FILE_SIZE;
  }
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* bytesRead, void* overlapped) {
  if (bytesRead != nullptr) *bytesRead = 0;
  FileObject* file = FromHandle(handle);
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (overlapped != nullptr || (buffer == nullptr && toRead != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  char* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < toRead) {
    size_t chunk = toRead - done < kMaxChunk ? toRead - done : kMaxChunk;
    ssize_t n = read(file->fd, out + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastErrorFromErrno(errno);
      if (bytesRead != nullptr) *bytesRead = static_cast<DWORD>(done);
      return FALSE;
    }
    if (n == 0) break;  // end of file
    done += static_cast<size_t>(n);
  }
  if (bytesRead != nullptr) *bytesRead = static_cast<DWORD>(done);
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  FileObject* file = FromHandle(handle);
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // Closing the descriptor releases its flock.
  int rc = close(file->fd);
  file->tag = 0;
  delete file;
  if (rc != 0 && errno != EINTR) {
    SetLastErrorFromErrno(errno);
    return FALSE;
  }
  return TRUE;
}

DWORD GetFullPathNameA(const char* name, DWORD size, char* buffer, char** filePart) {
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (name[0] == '\0') {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  char* cwd = nullptr;
  if (name[0] != '/') {
    cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) {
      SetLastErrorFromErrno(errno);
      return 0;
    }
  }
  size_t cwdLength = cwd ? strlen(cwd) : 0;
  size_t nameLength = strlen(name);
  // "cwd/name": the folded path is never longer than this.
  char* joined = static_cast<char*>(malloc(cwdLength + 1 + nameLength + 1));
  char* folded = static_cast<char*>(malloc(cwdLength + 1 + nameLength + 2));
  if (joined == nullptr || folded == nullptr) {
    free(cwd);
    free(joined);
    free(folded);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  size_t j = 0;
  if (cwd) {
    memcpy(joined, cwd, cwdLength);
    j = cwdLength;
    joined[j++] = '/';
  }
  memcpy(joined + j, name, nameLength + 1);
  free(cwd);

  // Fold component by component: skip empty ones and ".", let ".." drop the last one kept
  // (never above the root).
  size_t out = 0;
  folded[out++] = '/';
  const char* p = joined;
  while (*p) {
    while (*p == '/') ++p;
    const char* start = p;
    while (*p && *p != '/') ++p;
    size_t length = static_cast<size_t>(p - start);
    if (length == 0 || (length == 1 && start[0] == '.')) continue;
    if (length == 2 && start[0] == '.' && start[1] == '.') {
      if (out > 1) {
        --out;  // the slash after the last component
        while (out > 1 && folded[out - 1] != '/') --out;
      }
      continue;
    }
    memcpy(folded + out, start, length);
    out += length;
    folded[out++] = '/';
  }
  // Keep a trailing slash only where the name had one.
  bool trailingSlash = nameLength > 0 && name[nameLength - 1] == '/';
  if (out > 1 && !trailingSlash) --out;
  folded[out] = '\0';
  free(joined);

  DWORD result;
  if (out + 1 > size || buffer == nullptr) {
    result = static_cast<DWORD>(out + 1);
  } else {
    memcpy(buffer, folded, out + 1);
    result = static_cast<DWORD>(out);
    if (filePart != nullptr) {
      char* lastSlash = strrchr(buffer, '/');
      *filePart = lastSlash[1] ? lastSlash + 1 : nullptr;
    }
  }
  free(folded);
  return result;
}
