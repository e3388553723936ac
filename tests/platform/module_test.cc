#include "platform/module.h"

#include <elf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/error.h"
#include "platform/resource_format.h"
#include "tests/support/temp_dir.h"

namespace {

std::string SelfPath() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path));
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

std::string TestData(const char* name) {
  return ReadFileBytes(std::string(KEYFOLD_SOURCE_ROOT) + "/tools/resource_pack/testdata/" + name);
}

std::string Bytes(HMODULE module, HRSRC resource) {
  const char* data = static_cast<const char*>(LockResource(LoadResource(module, resource)));
  return std::string(data, SizeofResource(module, resource));
}

// The test program itself carries tools/resource_pack/testdata/test_module.manifest.
class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryExA(SelfPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module) << GetLastError();
  }
  void TearDown() override { EXPECT_TRUE(FreeLibrary(module)); }

  HMODULE module = nullptr;
};

TEST_F(ModuleTest, FindsResourcesByNumberOrNameWithoutRegardToCase) {
  struct Case {
    LPCSTR type, name;
    const char* file;
  } cases[] = {
      {"REGISTRY", MAKEINTRESOURCEA(129), "module_script.rgs"},
      {"registry", "#129", "module_script.rgs"},
      {"REGISTRY", "Named.Script", "named_script.rgs"},
      {"Registry", "NAMED.SCRIPT", "named_script.rgs"},
      {"custom.type", MAKEINTRESOURCEA(7), "neutral.bin"},
      {"#10", "#8", "german.bin"},
      {RT_RCDATA, MAKEINTRESOURCEA(9), "empty.bin"},
  };
  for (const Case& c : cases) {
    HRSRC resource = FindResourceA(module, c.name, c.type);
    ASSERT_NE(nullptr, resource) << c.file;
    EXPECT_EQ(TestData(c.file), Bytes(module, resource)) << c.file;
  }
}

TEST_F(ModuleTest, MissingTypeNameOrLanguageGiveTheirOwnCodes) {
  struct Case {
    LPCSTR type, name;
    WORD language;
    DWORD error;
  } cases[] = {
      {"NOTATYPE", MAKEINTRESOURCEA(129), LANG_NEUTRAL, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {RT_VERSION, MAKEINTRESOURCEA(1), LANG_NEUTRAL, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {"REGISTRY", MAKEINTRESOURCEA(999), LANG_NEUTRAL, ERROR_RESOURCE_NAME_NOT_FOUND},
      {"REGISTRY", "Named", LANG_NEUTRAL, ERROR_RESOURCE_NAME_NOT_FOUND},
      // A named identifier never matches a number, nor the other way round.
      {"REGISTRY", "129", LANG_NEUTRAL, ERROR_RESOURCE_NAME_NOT_FOUND},
      {RT_RCDATA, MAKEINTRESOURCEA(7), 0x40c, ERROR_RESOURCE_LANG_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(nullptr, FindResourceExA(module, c.type, c.name, c.language));
    EXPECT_EQ(c.error, GetLastError());
  }
}

TEST_F(ModuleTest, LanguagesPreferNeutralThenEnglish) {
  // 10/7 exists in German and U.S. English only.
  HRSRC chosen = FindResourceA(module, MAKEINTRESOURCEA(7), RT_RCDATA);
  ASSERT_NE(nullptr, chosen);
  EXPECT_EQ("english", Bytes(module, chosen));
  HRSRC german = FindResourceExA(module, RT_RCDATA, MAKEINTRESOURCEA(7), 0x407);
  ASSERT_NE(nullptr, german);
  EXPECT_EQ("deutsch", Bytes(module, german));
}

uint16_t Word(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}

TEST_F(ModuleTest, AnIconFileBecomesImagesAndAGroupDirectory) {
  std::string ico = TestData("two_images.ico");
  HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(128), RT_GROUP_ICON);
  ASSERT_NE(nullptr, group);
  std::string dir = Bytes(module, group);
  ASSERT_EQ(6u + 2 * 14, dir.size());
  EXPECT_EQ(0, Word(dir, 0));
  EXPECT_EQ(1, Word(dir, 2));
  EXPECT_EQ(2, Word(dir, 4));
  for (int i = 0; i < 2; ++i) {
    size_t entry = 6 + 14 * i;
    size_t icoEntry = 6 + 16 * i;
    // Width, height, colours, planes, bits and size as in the file; then the image's number.
    EXPECT_EQ(ico.substr(icoEntry, 12), dir.substr(entry, 12));
    uint16_t id = Word(dir, entry + 12);
    EXPECT_EQ(i + 1, id);
    HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(id), RT_ICON);
    ASSERT_NE(nullptr, image);
    uint32_t offset = Word(ico, icoEntry + 12) | uint32_t{Word(ico, icoEntry + 14)} << 16;
    uint32_t size = Word(ico, icoEntry + 8) | uint32_t{Word(ico, icoEntry + 10)} << 16;
    EXPECT_EQ(ico.substr(offset, size), Bytes(module, image));
  }
}

TEST_F(ModuleTest, ModuleFileNameIsTheAbsolutePath) {
  std::string self = SelfPath();
  char buffer[PATH_MAX];
  EXPECT_EQ(self.size(), GetModuleFileNameA(module, buffer, sizeof(buffer)));
  EXPECT_EQ(self, buffer);
}

TEST(ModuleFileNameTest, RunningExecutableAndBufferSizes) {
  std::string self = SelfPath();
  ASSERT_FALSE(self.empty());
  char buffer[PATH_MAX];
  DWORD fits = static_cast<DWORD>(self.size() + 1);
  EXPECT_EQ(self.size(), GetModuleFileNameA(nullptr, buffer, fits));
  EXPECT_EQ(self, buffer);
  // No room for the NUL: nothing usable, and the platform's code.
  SetLastError(0);
  EXPECT_EQ(0u, GetModuleFileNameA(nullptr, buffer, fits - 1));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_STREQ("", buffer);
}

// Where the resource section and its name sit in an ELF64 image.
struct SectionPlace {
  size_t offset = 0, size = 0, nameOffset = 0;
};

SectionPlace FindResourceSection(const std::string& elf) {
  SectionPlace place;
  Elf64_Ehdr header;
  memcpy(&header, elf.data(), sizeof(header));
  auto section = [&](size_t i) {
    Elf64_Shdr s;
    memcpy(&s, elf.data() + header.e_shoff + i * header.e_shentsize, sizeof(s));
    return s;
  };
  Elf64_Shdr names = section(header.e_shstrndx);
  for (size_t i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr s = section(i);
    if (strcmp(elf.data() + names.sh_offset + s.sh_name, RESOURCE_SECTION_NAME) == 0) {
      place.offset = s.sh_offset;
      place.size = s.sh_size;
      place.nameOffset = names.sh_offset + s.sh_name;
    }
  }
  return place;
}

void Put32(std::string* s, size_t at, uint32_t v) { memcpy(&(*s)[at], &v, 4); }

class DamagedModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir("module_test");
    self = ReadFileBytes(SelfPath());
    ASSERT_EQ(ELFCLASS64, self[EI_CLASS]);
    place = FindResourceSection(self);
    ASSERT_NE(0u, place.offset);
  }
  void TearDown() override { RemoveTree(dir); }

  // Loads `bytes` as a module; the last error tells why it failed.
  HMODULE Load(const std::string& bytes) {
    std::string path = dir + "/module";
    WriteFileBytes(path, bytes);
    SetLastError(0);
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }

  std::string dir;
  std::string self;
  SectionPlace place;
};

TEST_F(DamagedModuleTest, DamagedFilesAreNotModules) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"text", "HKCR { }\n"},
      {"empty", ""},
      {"cut inside the file header", self.substr(0, 40)},
      {"cut before the section headers", self.substr(0, 4096)},
      {"section headers past the end",
       [&] {
         std::string s = self;
         uint64_t far = uint64_t{1} << 40;
         memcpy(&s[offsetof(Elf64_Ehdr, e_shoff)], &far, 8);
         return s;
       }()},
      {"section magic damaged",
       [&] {
         std::string s = self;
         s[place.offset] = 'X';
         return s;
       }()},
      {"entry count too large",
       [&] {
         std::string s = self;
         Put32(&s, place.offset + 8, 0x10000000);
         return s;
       }()},
      {"data past the section",
       [&] {
         std::string s = self;
         Put32(&s, place.offset + RESOURCE_HEADER_SIZE + 20, static_cast<uint32_t>(place.size));
         return s;
       }()},
      {"name offset past the section",
       [&] {
         std::string s = self;
         Put32(&s, place.offset + RESOURCE_HEADER_SIZE + 4, 0xFFFFFF00u);
         return s;
       }()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(nullptr, Load(c.bytes)) << c.what;
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError()) << c.what;
  }
}

TEST_F(DamagedModuleTest, AModuleWithoutResourcesLoadsButFindsNothing) {
  std::string renamed = self;
  renamed[place.nameOffset + 1] = 'x';  // ".xeyfold_rsrc"
  HMODULE module = Load(renamed);
  ASSERT_NE(nullptr, module);
  EXPECT_EQ(nullptr, FindResourceA(module, MAKEINTRESOURCEA(129), "REGISTRY"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), GetLastError());
  FreeLibrary(module);
}

TEST_F(DamagedModuleTest, FilesThatCannotBeReadKeepTheirReason) {
  struct Case {
    std::string path;
    DWORD flags;
    DWORD error;
  } cases[] = {
      {dir + "/missing", LOAD_LIBRARY_AS_DATAFILE, ERROR_FILE_NOT_FOUND},
      {dir, LOAD_LIBRARY_AS_DATAFILE, ERROR_ACCESS_DENIED},
      {"/dev/null", LOAD_LIBRARY_AS_DATAFILE, ERROR_BAD_EXE_FORMAT},
      // Modules are only opened as data.
      {SelfPath(), 0, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryExA(c.path.c_str(), nullptr, c.flags)) << c.path;
    EXPECT_EQ(c.error, GetLastError()) << c.path;
  }
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_EQ(nullptr, FindResourceA(nullptr, MAKEINTRESOURCEA(1), RT_ICON));
  EXPECT_EQ(nullptr, LoadResource(nullptr, nullptr));
  EXPECT_EQ(0u, SizeofResource(nullptr, nullptr));
}

}  // namespace
