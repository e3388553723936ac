// Files: open, size, read and close with the platform's names and results, and making a path
// absolute. Every failure sets the last error to a platform error code.
#pragma once

#include "platform/types.h"

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;

// Access rights.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
// Share modes: 0 lets no other opener in while the file is open.
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
// Creation dispositions.
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
// Attributes (accepted; they change nothing here).
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// Opens a file; INVALID_HANDLE_VALUE on failure. Share mode 0 takes an exclusive lock (flock)
// on the file, any other share mode a shared one, so an opener that conflicts with a holder gets
// ERROR_SHARING_VIOLATION. A directory gives ERROR_ACCESS_DENIED. Opening never blocks (a FIFO
// without a writer opens at once). Close the handle with CloseHandle.
HANDLE CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                   SECURITY_ATTRIBUTES* securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

// The size of a regular file: the low 32 bits, the high 32 bits in *sizeHigh when given. A
// handle that is not a regular file (a FIFO, a device) has no size: INVALID_FILE_SIZE with the
// last error ERROR_NOT_SUPPORTED. On success the last error is set to 0, so a caller can tell
// a size of INVALID_FILE_SIZE from a failure.
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);

// Reads up to `toRead` bytes (fewer only at the end of the file); the count read goes to
// *bytesRead. FALSE on failure with the last error set; `overlapped` must be null.
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* bytesRead, void* overlapped);

// Closes a handle from CreateFileA and releases its lock. FALSE (ERROR_INVALID_HANDLE) for null
// or INVALID_HANDLE_VALUE.
BOOL CloseHandle(HANDLE handle);

// Makes `name` absolute against the current directory and folds "." and ".." and repeated
// slashes textually, without touching the file system; a trailing slash is kept. When the result
// and its NUL fit in `size` bytes it is written to `buffer` and its length is returned, and
// *filePart (when given) points at its last component (null when it ends in a slash). Otherwise
// nothing is written and the size needed, NUL included, is returned. 0 on failure (an empty
// name: ERROR_INVALID_NAME). Paths have no length limit.
DWORD GetFullPathNameA(const char* name, DWORD size, char* buffer, char** filePart);
