// The layout of a module's resource section, shared by the build-time packer that writes it and
// the module reader. All numbers are 32-bit little-endian; offsets count from the section start.
//
//   header   magic "KFRSRC\0\1" (8 bytes), entry count, 0
//   entries  count records of RESOURCE_ENTRY_SIZE bytes:
//            type id, type name offset, id, id name offset, language, data offset, data size
//   names    NUL-terminated narrow names; a name offset of 0 means the integer field is used
//   data     the resources' bytes
#pragma once

#include <cstddef>

constexpr char RESOURCE_MAGIC[8] = {'K', 'F', 'R', 'S', 'R', 'C', '\0', '\1'};
constexpr size_t RESOURCE_HEADER_SIZE = 16;
constexpr size_t RESOURCE_ENTRY_SIZE = 28;
