// The resources embedded in the built keyfold executable, read back the way the association
// branch reads them: as a module opened as data.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "platform/module.h"
#include "tests/support/temp_dir.h"

namespace {

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_module = LoadLibraryExA(KEYFOLD_BIN, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, m_module);
  }
  void TearDown() override {
    if (m_module) FreeLibrary(m_module);
  }

  // The bytes of a resource, or an empty string with *found false.
  std::string Bytes(LPCSTR id, LPCSTR type, bool* found = nullptr) {
    HRSRC resource = FindResourceA(m_module, id, type);
    if (found) *found = resource != nullptr;
    if (!resource) return std::string();
    const char* data = static_cast<const char*>(LockResource(LoadResource(m_module, resource)));
    return std::string(data, SizeofResource(m_module, resource));
  }

  HMODULE m_module = nullptr;
};

TEST_F(ResourcesTest, AssociationScriptIsTheFileByteForByte) {
  const char* source = KEYFOLD_SOURCE_ROOT;
  bool found = false;
  std::string script = Bytes(MAKEINTRESOURCEA(129), "REGISTRY", &found);
  ASSERT_TRUE(found);
  EXPECT_EQ(ReadFileBytes(std::string(source) + "/resources/association.rgs"), script);
  EXPECT_EQ(409u, script.size());
  size_t lineEnds = 0;
  for (size_t pos = 0; (pos = script.find("\r\n", pos)) != std::string::npos; pos += 2) ++lineEnds;
  EXPECT_EQ(31u, lineEnds);
  EXPECT_EQ(std::string::npos, script.find('\n', script.rfind("\r\n") + 2));
  EXPECT_EQ("\r\n\t\t\t", script.substr(script.size() - 5));
  EXPECT_EQ(std::string::npos, script.find('\0'));
  // The type is found by name without regard to case, and US English is its language.
  EXPECT_NE(nullptr, FindResourceA(m_module, MAKEINTRESOURCEA(129), "registry"));
  EXPECT_NE(nullptr, FindResourceExA(m_module, "REGISTRY", MAKEINTRESOURCEA(129), 0x0409));
}

TEST_F(ResourcesTest, IconGroupRefersToTwoSixteenColourImages) {
  bool found = false;
  std::string group = Bytes(MAKEINTRESOURCEA(128), RT_GROUP_ICON, &found);
  ASSERT_TRUE(found);
  ASSERT_GE(group.size(), 6u);
  auto word = [](const std::string& s, size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(s[at]) |
                                 static_cast<unsigned char>(s[at + 1]) << 8);
  };
  auto dword = [&](const std::string& s, size_t at) { return word(s, at) | word(s, at + 2) << 16; };
  EXPECT_EQ(0u, word(group, 0));
  EXPECT_EQ(1u, word(group, 2));
  ASSERT_EQ(2u, word(group, 4));
  ASSERT_EQ(6u + 2 * 14, group.size());
  unsigned sizes[2] = {32, 16};
  for (int i = 0; i < 2; ++i) {
    size_t entry = 6 + 14 * static_cast<size_t>(i);
    unsigned width = static_cast<unsigned char>(group[entry]);
    EXPECT_EQ(sizes[i], width);
    EXPECT_EQ(16u, static_cast<unsigned char>(group[entry + 2]));  // colours
    EXPECT_EQ(4u, word(group, entry + 6));                         // bits per pixel
    unsigned bytes = dword(group, entry + 8);
    unsigned id = word(group, entry + 12);
    bool imageFound = false;
    std::string image = Bytes(MAKEINTRESOURCEA(id), RT_ICON, &imageFound);
    ASSERT_TRUE(imageFound) << id;
    EXPECT_EQ(bytes, image.size());
    ASSERT_GE(image.size(), 40u);
    EXPECT_EQ(40u, dword(image, 0));
    EXPECT_EQ(width, dword(image, 4));
    EXPECT_EQ(2 * width, dword(image, 8));
    EXPECT_EQ(4u, word(image, 14));
    unsigned rowBytes = (width * 4 + 31) / 32 * 4, maskBytes = (width + 31) / 32 * 4;
    EXPECT_EQ(40u + 16 * 4 + width * (rowBytes + maskBytes), image.size());
  }
}

// Walks a version resource: every node's key path and, for text nodes, its value.
void WalkVersion(const std::string& data, size_t at, size_t end, const std::string& path,
                 std::map<std::string, std::string>* texts, std::string* fixed) {
  while (at + 6 <= end) {
    auto word = [&](size_t p) {
      return static_cast<size_t>(static_cast<unsigned char>(data[p]) |
                                 static_cast<unsigned char>(data[p + 1]) << 8);
    };
    size_t length = word(at), valueLength = word(at + 2), type = word(at + 4);
    if (length == 0 || at + length > end) return;
    std::string key;
    size_t p = at + 6;
    while (p + 1 < at + length && (data[p] || data[p + 1])) {
      key.push_back(data[p]);
      p += 2;
    }
    p = (p + 2 + 3) & ~size_t{3};
    std::string name = path.empty() ? key : path + "/" + key;
    size_t valueBytes = type == 1 ? valueLength * 2 : valueLength;
    if (type == 1 && valueLength > 0) {
      std::string value;
      for (size_t v = p; v + 1 < p + valueBytes && (data[v] || data[v + 1]); v += 2)
        value.push_back(data[v]);
      (*texts)[name] = value;
    } else if (type == 0 && valueLength > 0) {
      (*texts)[name] = "<binary>";
      if (fixed && path.empty()) *fixed = data.substr(p, valueLength);
      if (key == "Translation") (*texts)[name] = data.substr(p, valueLength);
    }
    size_t children = (p + valueBytes + 3) & ~size_t{3};
    WalkVersion(data, children, at + length, name, texts, nullptr);
    at = (at + length + 3) & ~size_t{3};
  }
}

TEST_F(ResourcesTest, VersionResourceHoldsTheVersionAndItsTexts) {
  bool found = false;
  std::string version = Bytes(MAKEINTRESOURCEA(1), RT_VERSION, &found);
  ASSERT_TRUE(found);
  std::map<std::string, std::string> texts;
  std::string fixed;
  WalkVersion(version, 0, version.size(), "", &texts, &fixed);
  ASSERT_EQ(52u, fixed.size());
  uint32_t f[13];
  memcpy(f, fixed.data(), sizeof(f));
  EXPECT_EQ(0xFEEF04BDu, f[0]);
  EXPECT_EQ(0x00010000u, f[2]);  // file version 1.0
  EXPECT_EQ(0x00030001u, f[3]);  // .3.1
  EXPECT_EQ(0x00010000u, f[4]);  // product version
  EXPECT_EQ(0x00030001u, f[5]);
  EXPECT_EQ(0u, f[7]);    // no file flags
  EXPECT_EQ(0x4u, f[8]);  // 32-bit Windows
  EXPECT_EQ(0x1u, f[9]);  // an application
  const std::string table = "VS_VERSION_INFO/StringFileInfo/040904b0/";
  EXPECT_EQ("1.00.03", texts[table + "FileVersion"]);
  EXPECT_EQ("1, 0, 3, 1", texts[table + "ProductVersion"]);
  EXPECT_FALSE(texts[table + "FileDescription"].empty());
  for (const char* empty : {"LegalTrademarks", "PrivateBuild", "SpecialBuild"}) {
    ASSERT_EQ(1u, texts.count(table + empty)) << empty;
    EXPECT_EQ("", texts[table + empty]) << empty;
  }
  for (const char* named : {"CompanyName", "ProductName", "InternalName", "OriginalFilename",
                            "LegalCopyright", "Comments"})
    EXPECT_FALSE(texts[table + named].empty()) << named;
  EXPECT_EQ(std::string("\x09\x04\xB0\x04", 4), texts["VS_VERSION_INFO/VarFileInfo/Translation"]);
}

}  // namespace
