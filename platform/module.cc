#include "platform/module.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/resource_format.h"
#include "platform/text.h"

// One resource as found in the section: integer or named type and identifier, and its bytes.
struct ResourceRecord {
  DWORD typeId;
  const char* typeName;  // null for an integer type
  DWORD nameId;
  const char* name;  // null for an integer identifier
  WORD language;
  const BYTE* bytes;
  DWORD size;
};

struct ModuleObject {
  char* path;
  BYTE* section;  // the whole resource section, or null when the module has none
  size_t sectionSize;
  ResourceRecord* records;
  DWORD count;
};

namespace {

// The sizes we accept for a resource section read into memory.
constexpr uint64_t kMaxSectionSize = uint64_t{1} << 30;

uint32_t Le32(const BYTE* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Reads ELF fields in the file's own byte order.
struct ElfReader {
  bool big;
  uint64_t Get(const BYTE* p, int bytes) const {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
      int index = big ? i : bytes - 1 - i;
      v = v << 8 | p[index];
    }
    return v;
  }
};

// Reads exactly `size` bytes at `offset`; false at a short read or an error (errno set).
bool ReadAt(int fd, uint64_t offset, void* buffer, size_t size) {
  BYTE* out = static_cast<BYTE*>(buffer);
  size_t done = 0;
  while (done < size) {
    ssize_t n = pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = 0;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

struct SectionHeader {
  uint64_t name, type, offset, size, link;
};

// The resource section's place in the file: found (true with *offset/*size set), absent (true
// with *size = ~0), or damaged headers (false).
bool FindSection(int fd, uint64_t fileSize, uint64_t* offset, uint64_t* size) {
  *size = ~uint64_t{0};
  BYTE ident[64];
  if (fileSize < 52 || !ReadAt(fd, 0, ident, fileSize < 64 ? 52 : 64)) return false;
  if (memcmp(ident,
             "\x7f"
             "ELF",
             4) != 0)
    return false;
  bool is64 = ident[4] == 2;
  if (ident[4] != 1 && ident[4] != 2) return false;
  if (ident[5] != 1 && ident[5] != 2) return false;
  if (is64 && fileSize < 64) return false;
  ElfReader r{ident[5] == 2};
  uint64_t shoff = is64 ? r.Get(ident + 40, 8) : r.Get(ident + 32, 4);
  uint64_t shentsize = r.Get(ident + (is64 ? 58 : 46), 2);
  uint64_t shnum = r.Get(ident + (is64 ? 60 : 48), 2);
  uint64_t shstrndx = r.Get(ident + (is64 ? 62 : 50), 2);
  if (shoff == 0) return true;  // no section headers, so no resources
  uint64_t minEntry = is64 ? 64 : 40;
  if (shentsize < minEntry || shoff > fileSize) return false;

  auto readHeader = [&](uint64_t index, SectionHeader* h) {
    BYTE raw[64];
    uint64_t at = shoff + index * shentsize;
    if (at > fileSize || fileSize - at < minEntry || !ReadAt(fd, at, raw, minEntry)) return false;
    if (is64) {
      *h = {r.Get(raw, 4), r.Get(raw + 4, 4), r.Get(raw + 24, 8), r.Get(raw + 32, 8),
            r.Get(raw + 40, 4)};
    } else {
      *h = {r.Get(raw, 4), r.Get(raw + 4, 4), r.Get(raw + 16, 4), r.Get(raw + 20, 4),
            r.Get(raw + 24, 4)};
    }
    return true;
  };

  // Many sections: the real count and string table index sit in section 0.
  SectionHeader first;
  if (shnum == 0 || shstrndx == 0xFFFF) {
    if (!readHeader(0, &first)) return false;
    if (shnum == 0) shnum = first.size;
    if (shstrndx == 0xFFFF) shstrndx = first.link;
  }
  if (shnum == 0) return true;
  if (shnum > (fileSize - shoff) / shentsize || shstrndx >= shnum) return false;

  SectionHeader names;
  if (!readHeader(shstrndx, &names)) return false;
  if (names.offset > fileSize || names.size > fileSize - names.offset) return false;
  const size_t wanted = sizeof(RESOURCE_SECTION_NAME);  // with its NUL
  for (uint64_t i = 0; i < shnum; ++i) {
    SectionHeader h;
    if (!readHeader(i, &h)) return false;
    if (h.name >= names.size || names.size - h.name < wanted) continue;
    char candidate[sizeof(RESOURCE_SECTION_NAME)];
    if (!ReadAt(fd, names.offset + h.name, candidate, wanted)) return false;
    if (memcmp(candidate, RESOURCE_SECTION_NAME, wanted) != 0) continue;
    const uint64_t kNoBits = 8;
    if (h.type == kNoBits || h.offset > fileSize || h.size > fileSize - h.offset) return false;
    *offset = h.offset;
    *size = h.size;
    return true;
  }
  return true;
}

// A name inside the section: NUL-terminated before the section's end.
const char* NameAt(const BYTE* section, size_t size, uint32_t offset) {
  if (offset < RESOURCE_HEADER_SIZE || offset >= size) return nullptr;
  if (memchr(section + offset, '\0', size - offset) == nullptr) return nullptr;
  return reinterpret_cast<const char*>(section + offset);
}

// Checks the section and builds its records; false when it is damaged.
bool ParseSection(ModuleObject* module) {
  const BYTE* s = module->section;
  size_t size = module->sectionSize;
  if (size < RESOURCE_HEADER_SIZE || memcmp(s, RESOURCE_MAGIC, sizeof(RESOURCE_MAGIC)) != 0)
    return false;
  uint32_t count = Le32(s + 8);
  if (count > (size - RESOURCE_HEADER_SIZE) / RESOURCE_ENTRY_SIZE) return false;
  module->records = static_cast<ResourceRecord*>(calloc(count ? count : 1, sizeof(ResourceRecord)));
  if (module->records == nullptr) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const BYTE* e = s + RESOURCE_HEADER_SIZE + i * RESOURCE_ENTRY_SIZE;
    ResourceRecord& rec = module->records[i];
    rec.typeId = Le32(e);
    uint32_t typeName = Le32(e + 4);
    rec.nameId = Le32(e + 8);
    uint32_t name = Le32(e + 12);
    rec.language = static_cast<WORD>(Le32(e + 16));
    uint32_t dataOffset = Le32(e + 20);
    rec.size = Le32(e + 24);
    if (typeName != 0 && (rec.typeName = NameAt(s, size, typeName)) == nullptr) return false;
    if (name != 0 && (rec.name = NameAt(s, size, name)) == nullptr) return false;
    if (dataOffset > size || rec.size > size - dataOffset) return false;
    rec.bytes = s + dataOffset;
  }
  module->count = count;
  return true;
}

void DestroyModule(ModuleObject* module) {
  free(module->path);
  free(module->section);
  free(module->records);
  delete module;
}

HMODULE FailLoad(ModuleObject* module, int fd, DWORD error) {
  if (fd >= 0) close(fd);
  if (module) DestroyModule(module);
  SetLastError(error);
  return nullptr;
}

// An identifier or type as the caller gave it: MAKEINTRESOURCEA(n), "#n", or a name.
struct Key {
  bool isName;
  DWORD id;
  const char* name;
};

Key KeyFrom(LPCSTR p) {
  if (IS_INTRESOURCE(p))
    return {false, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(p)), nullptr};
  if (p[0] == '#' && p[1] != '\0') {
    DWORD value = 0;
    const char* q = p + 1;
    while (*q >= '0' && *q <= '9' && value <= 0xFFFF) value = value * 10 + (*q++ - '0');
    if (*q == '\0' && value <= 0xFFFF) return {false, value, nullptr};
  }
  return {true, 0, p};
}

bool Matches(const Key& key, DWORD id, const char* name) {
  if (key.isName) return name != nullptr && lstrcmpiA(key.name, name) == 0;
  return name == nullptr && key.id == id;
}

// Looks up type, then identifier, then language (LANG_NEUTRAL: neutral, then U.S. English,
// then the first one stored).
HRSRC Find(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
  if (module == nullptr || type == nullptr || name == nullptr) {
    SetLastError(module == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (module->section == nullptr) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  Key typeKey = KeyFrom(type);
  Key nameKey = KeyFrom(name);
  bool typeSeen = false;
  const ResourceRecord* first = nullptr;
  const ResourceRecord* english = nullptr;
  for (DWORD i = 0; i < module->count; ++i) {
    const ResourceRecord& rec = module->records[i];
    if (!Matches(typeKey, rec.typeId, rec.typeName)) continue;
    typeSeen = true;
    if (!Matches(nameKey, rec.nameId, rec.name)) continue;
    if (rec.language == language) return &rec;
    if (language != LANG_NEUTRAL) continue;
    if (first == nullptr) first = &rec;
    if (english == nullptr && rec.language == LANG_ENGLISH_US) english = &rec;
  }
  if (english != nullptr) return english;
  if (first != nullptr) return first;
  if (!typeSeen) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  } else {
    // The identifier may exist in another language.
    bool nameSeen = false;
    for (DWORD i = 0; i < module->count && !nameSeen; ++i) {
      const ResourceRecord& rec = module->records[i];
      nameSeen =
          Matches(typeKey, rec.typeId, rec.typeName) && Matches(nameKey, rec.nameId, rec.name);
    }
    SetLastError(nameSeen ? ERROR_RESOURCE_LANG_NOT_FOUND : ERROR_RESOURCE_NAME_NOT_FOUND);
  }
  return nullptr;
}

}  // namespace

HMODULE LoadLibraryExA(const char* fileName, HANDLE file, DWORD flags) {
  if (fileName == nullptr || file != nullptr || flags != LOAD_LIBRARY_AS_DATAFILE)
    return FailLoad(nullptr, -1, ERROR_INVALID_PARAMETER);
  if (fileName[0] == '\0') return FailLoad(nullptr, -1, ERROR_MOD_NOT_FOUND);

  ModuleObject* module = new (std::nothrow) ModuleObject{};
  if (module == nullptr) return FailLoad(nullptr, -1, ERROR_NOT_ENOUGH_MEMORY);
  DWORD needed = GetFullPathNameA(fileName, 0, nullptr, nullptr);
  if (needed == 0) return FailLoad(module, -1, GetLastError());
  module->path = static_cast<char*>(malloc(needed));
  if (module->path == nullptr) return FailLoad(module, -1, ERROR_NOT_ENOUGH_MEMORY);
  GetFullPathNameA(fileName, needed, module->path, nullptr);

  // O_NONBLOCK: a FIFO must not hang the open; it is refused below as not a module.
  int fd = open(fileName, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return FailLoad(module, -1, ErrorFromErrno(errno));
  struct stat st;
  if (fstat(fd, &st) != 0) return FailLoad(module, fd, ErrorFromErrno(errno));
  if (S_ISDIR(st.st_mode)) return FailLoad(module, fd, ERROR_ACCESS_DENIED);
  if (!S_ISREG(st.st_mode)) return FailLoad(module, fd, ERROR_BAD_EXE_FORMAT);

  uint64_t offset = 0, size = 0;
  errno = 0;
  if (!FindSection(fd, static_cast<uint64_t>(st.st_size), &offset, &size))
    return FailLoad(module, fd, errno ? ErrorFromErrno(errno) : ERROR_BAD_EXE_FORMAT);
  if (size != ~uint64_t{0}) {
    if (size > kMaxSectionSize) return FailLoad(module, fd, ERROR_BAD_EXE_FORMAT);
    module->sectionSize = static_cast<size_t>(size);
    module->section = static_cast<BYTE*>(malloc(size ? size : 1));
    if (module->section == nullptr) return FailLoad(module, fd, ERROR_NOT_ENOUGH_MEMORY);
    errno = 0;
    if (!ReadAt(fd, offset, module->section, module->sectionSize))
      return FailLoad(module, fd, errno ? ErrorFromErrno(errno) : ERROR_BAD_EXE_FORMAT);
    if (!ParseSection(module)) return FailLoad(module, fd, ERROR_BAD_EXE_FORMAT);
  }
  close(fd);
  return module;
}

BOOL FreeLibrary(HMODULE module) {
  if (module == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DestroyModule(module);
  return TRUE;
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  return Find(module, type, name, LANG_NEUTRAL);
}

HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
  return Find(module, type, name, language);
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  if (module == nullptr || resource == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return resource->bytes;
}

const void* LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  if (module == nullptr || resource == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return resource->size;
}

DWORD GetModuleFileNameA(HMODULE module, char* buffer, DWORD size) {
  if (buffer == nullptr && size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t length;
  if (module == nullptr) {
    ssize_t n = size ? readlink("/proc/self/exe", buffer, size) : 0;
    if (n < 0) {
      SetLastErrorFromErrno(errno);
      if (size) buffer[0] = '\0';
      return 0;
    }
    length = static_cast<size_t>(n);
    if (length < size) {
      buffer[length] = '\0';
      return static_cast<DWORD>(length);
    }
  } else {
    length = strlen(module->path);
    if (length < size) {
      memcpy(buffer, module->path, length + 1);
      return static_cast<DWORD>(length);
    }
  }
  if (size) buffer[0] = '\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return 0;
}
