// Module files and their resources. A module is an ELF file (executable or object) whose
// resources sit in a section of our own, ".keyfold_rsrc", written at build time by the resource
// packer (tools/resource_pack). Modules are only ever opened as data: nothing in them is run.
// Every failure sets the last error to a platform error code.
#pragma once

#include "platform/types.h"

struct ModuleObject;
struct ResourceRecord;
typedef ModuleObject* HMODULE;
typedef const ResourceRecord* HRSRC;
typedef const void* HGLOBAL;

constexpr DWORD LOAD_LIBRARY_AS_DATAFILE = 0x2;

// The name of the ELF section that holds a module's resources.
constexpr const char RESOURCE_SECTION_NAME[] = ".keyfold_rsrc";

// Integer resource identifiers and types travel in a name pointer below 65536.
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<ULONG_PTR>(p) >> 16) == 0)

// Resource types the packer knows by number.
#define RT_ICON MAKEINTRESOURCEA(3)
#define RT_RCDATA MAKEINTRESOURCEA(10)
#define RT_GROUP_ICON MAKEINTRESOURCEA(14)
#define RT_VERSION MAKEINTRESOURCEA(16)

// Language identifiers: 0 is neutral; FindResourceA prefers it, then U.S. English, then any.
constexpr WORD LANG_NEUTRAL = 0;
constexpr WORD LANG_ENGLISH_US = 0x409;

// Reads the module file at `fileName` as data and its resource section. `file` must be null and
// `flags` LOAD_LIBRARY_AS_DATAFILE (else ERROR_INVALID_PARAMETER). Null on failure: the errno
// mapping for a file that cannot be read (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED for a
// directory), ERROR_BAD_EXE_FORMAT for a file that is not ELF or whose headers or resource
// section are damaged. A module without a resource section loads; its lookups then fail with
// ERROR_RESOURCE_DATA_NOT_FOUND. Release it with FreeLibrary.
HMODULE LoadLibraryExA(const char* fileName, HANDLE file, DWORD flags);

// Releases a module and every resource handle and byte pointer it gave out. FALSE
// (ERROR_INVALID_HANDLE) for null.
BOOL FreeLibrary(HMODULE module);

// Finds a resource by identifier and type, each MAKEINTRESOURCEA(n), "#n" or a name compared
// without regard to case. Null on failure: ERROR_RESOURCE_DATA_NOT_FOUND when the module has no
// resources, ERROR_RESOURCE_TYPE_NOT_FOUND when it has none of the type,
// ERROR_RESOURCE_NAME_NOT_FOUND when the type lacks the identifier.
HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
// As FindResourceA for one language; ERROR_RESOURCE_LANG_NOT_FOUND when the identifier exists
// only in other languages. LANG_NEUTRAL picks as FindResourceA does.
HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language);

// The resource's bytes, read-only and valid until FreeLibrary; null (ERROR_INVALID_HANDLE) for a
// null module or resource.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
const void* LockResource(HGLOBAL data);
// The resource's size in bytes; 0 (ERROR_INVALID_HANDLE) for a null module or resource.
DWORD SizeofResource(HMODULE module, HRSRC resource);

// The path of a module: with a null module the real path of the running executable (from
// /proc/self/exe), otherwise the absolute path the module was loaded from. Returns its length
// without the NUL; 0 with ERROR_INSUFFICIENT_BUFFER when the path and its NUL do not fit in
// `size` bytes (the buffer then holds an empty string when size > 0).
DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size);
