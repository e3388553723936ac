// keyfold-resource-pack: writes a module's resource section from a manifest at build time.
//
//   keyfold-resource-pack MANIFEST SECTION.bin EMBED.cc DEPFILE
//
// SECTION.bin receives the section bytes (layout in platform/resource_format.h), EMBED.cc a
// source file that places them in the ELF section ".keyfold_rsrc" of whatever links it, and
// DEPFILE the files the section was made from. The manifest format is described in
// resources/README.md.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/module.h"
#include "platform/resource_format.h"

namespace {

// A type or identifier: a number, or a name.
struct Id {
  bool isName = false;
  uint32_t number = 0;
  std::string name;
};

struct Resource {
  Id type;
  Id id;
  uint32_t language = 0;
  std::string bytes;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  fprintf(stderr, "keyfold-resource-pack: %s: %s\n", where.c_str(), what.c_str());
  exit(1);
}

bool ParseNumber(const std::string& text, uint32_t max, uint32_t* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  unsigned long v = strtoul(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || text[0] == '-' || v > max) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

// A number from 1 to 65535 (also written "#n"), or a name of printable ASCII without blanks.
Id ParseId(const std::string& text, const std::string& where) {
  Id id;
  std::string digits = !text.empty() && text[0] == '#' ? text.substr(1) : text;
  if (!digits.empty() && digits[0] >= '0' && digits[0] <= '9') {
    if (!ParseNumber(digits, 0xFFFF, &id.number) || id.number == 0)
      Fail(where, "'" + text + "' is not a number from 1 to 65535");
    return id;
  }
  for (char c : text)
    if (c <= ' ' || c > '~') Fail(where, "a name must be printable ASCII: '" + text + "'");
  id.isName = true;
  id.name = text;
  return id;
}

std::string ReadWhole(const std::string& path, const std::string& where) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(where, "cannot read " + path + ": " + strerror(errno));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

uint16_t Get16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}
uint32_t Get32(const std::string& s, size_t at) {
  return Get16(s, at) | static_cast<uint32_t>(Get16(s, at + 2)) << 16;
}
void Put16(std::string* s, uint32_t v) {
  s->push_back(static_cast<char>(v & 0xFF));
  s->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string* s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
void Set32(std::string* s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// An .ico file becomes what a resource compiler makes of it: one RT_ICON per image, numbered
// from *nextIconId on, and one RT_GROUP_ICON directory that refers to them by number.
void AddIcon(const std::string& ico, const Id& group, uint32_t language, uint32_t* nextIconId,
             std::vector<Resource>* out, const std::string& where) {
  if (ico.size() < 6 || Get16(ico, 0) != 0 || Get16(ico, 2) != 1) Fail(where, "not an icon file");
  uint16_t count = Get16(ico, 4);
  if (count == 0 || ico.size() < 6 + 16u * count) Fail(where, "icon directory is cut short");
  Resource dir;
  dir.type.number = 14;
  dir.id = group;
  dir.language = language;
  Put16(&dir.bytes, 0);
  Put16(&dir.bytes, 1);
  Put16(&dir.bytes, count);
  for (uint16_t i = 0; i < count; ++i) {
    size_t e = 6 + 16u * i;
    uint32_t size = Get32(ico, e + 8);
    uint32_t offset = Get32(ico, e + 12);
    if (offset > ico.size() || size > ico.size() - offset) Fail(where, "icon image out of range");
    if (*nextIconId > 0xFFFF) Fail(where, "too many icon images");
    Resource image;
    image.type.number = 3;
    image.id.number = (*nextIconId)++;
    image.language = language;
    image.bytes = ico.substr(offset, size);
    dir.bytes.append(ico, e, 12);  // width, height, colours, reserved, planes, bits, size
    Put16(&dir.bytes, image.id.number);
    out->push_back(image);
  }
  out->push_back(dir);
}

std::vector<std::string> Words(const std::string& line, size_t max) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size() && words.size() + 1 < max) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  size_t end = line.size();
  while (end > i && (line[end - 1] == ' ' || line[end - 1] == '\t' || line[end - 1] == '\r')) --end;
  if (end > i) words.push_back(line.substr(i, end - i));  // the rest: a file name, blanks kept
  return words;
}

std::string Section(const std::vector<Resource>& resources) {
  std::string names, data;
  size_t headerSize = RESOURCE_HEADER_SIZE + RESOURCE_ENTRY_SIZE * resources.size();
  std::string out(RESOURCE_MAGIC, sizeof(RESOURCE_MAGIC));
  Put32(&out, static_cast<uint32_t>(resources.size()));
  Put32(&out, 0);
  std::vector<size_t> nameFields;
  for (const Resource& r : resources) {
    for (const Id* id : {&r.type, &r.id}) {
      Put32(&out, id->isName ? 0 : id->number);
      nameFields.push_back(out.size());
      Put32(&out, 0);
      if (id->isName) names += id->name + '\0';
    }
    // Fields 3 and 1 are fixed up below once the names' place is known.
    Put32(&out, r.language);
    Put32(&out, 0);
    Put32(&out, static_cast<uint32_t>(r.bytes.size()));
  }
  // Names follow the entries, then the data, each resource's bytes aligned to 8.
  size_t nameAt = headerSize;
  size_t field = 0;
  for (const Resource& r : resources) {
    for (const Id* id : {&r.type, &r.id}) {
      if (id->isName) {
        Set32(&out, nameFields[field], static_cast<uint32_t>(nameAt));
        nameAt += id->name.size() + 1;
      }
      ++field;
    }
  }
  out += names;
  for (size_t i = 0; i < resources.size(); ++i) {
    while (out.size() % 8) out.push_back('\0');
    if (out.size() > 0xFFFFFFFFu - resources[i].bytes.size()) Fail("section", "too large");
    Set32(&out, RESOURCE_HEADER_SIZE + RESOURCE_ENTRY_SIZE * i + 20,
          static_cast<uint32_t>(out.size()));
    out += resources[i].bytes;
  }
  return out;
}

// Makes a path usable in a depfile (blanks and '#' escaped) or a C string literal.
std::string DepEscape(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == ' ' || c == '#' || c == '\\') out.push_back('\\');
    if (c == '$') out.push_back('$');
    out.push_back(c);
  }
  return out;
}
std::string CEscape(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || fclose(f) != 0)
    Fail(path, std::string("cannot write: ") + strerror(errno));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: keyfold-resource-pack MANIFEST SECTION.bin EMBED.cc DEPFILE\n");
    return 2;
  }
  std::string manifest = argv[1];
  std::string base = manifest.find('/') == std::string::npos
                         ? std::string(".")
                         : manifest.substr(0, manifest.rfind('/'));
  std::ifstream in(manifest);
  if (!in) Fail(manifest, std::string("cannot read: ") + strerror(errno));

  std::vector<Resource> resources;
  std::vector<std::string> inputs{manifest};
  uint32_t nextIconId = 1;
  std::string line;
  for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
    std::string where = manifest + ":" + std::to_string(lineNumber);
    std::vector<std::string> w = Words(line, 5);
    if (w.empty() || w[0][0] == '#') continue;
    bool icon = w[0] == "icon";
    if (!icon && w[0] != "raw") Fail(where, "expected 'raw' or 'icon', found '" + w[0] + "'");
    size_t wanted = icon ? 4 : 5;
    if (icon) w = Words(line, 4);
    if (w.size() != wanted) Fail(where, "expected " + std::to_string(wanted) + " fields");
    uint32_t language = 0;
    if (!ParseNumber(w[wanted - 2], 0xFFFF, &language))
      Fail(where, "bad language " + w[wanted - 2]);
    std::string file = w[wanted - 1][0] == '/' ? w[wanted - 1] : base + "/" + w[wanted - 1];
    inputs.push_back(file);
    std::string bytes = ReadWhole(file, where);
    if (icon) {
      AddIcon(bytes, ParseId(w[1], where), language, &nextIconId, &resources, where);
    } else {
      Resource r;
      r.type = ParseId(w[1], where);
      r.id = ParseId(w[2], where);
      r.language = language;
      r.bytes = std::move(bytes);
      resources.push_back(std::move(r));
    }
  }

  std::string sectionPath = argv[2];
  WriteFile(sectionPath, Section(resources));
  std::string embed = std::string("// Generated by keyfold-resource-pack from ") + manifest +
                      ".\n__asm__(\".pushsection " + RESOURCE_SECTION_NAME +
                      ",\\\"\\\",@progbits\\n\"\n        \".incbin \\\"" +
                      CEscape(CEscape(sectionPath)) + "\\\"\\n\"\n        \".popsection\\n\");\n";
  WriteFile(argv[3], embed);
  std::string deps = DepEscape(sectionPath) + ":";
  for (const std::string& input : inputs) deps += " " + DepEscape(input);
  WriteFile(argv[4], deps + "\n");
  return 0;
}
