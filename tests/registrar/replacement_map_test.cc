#include <gtest/gtest.h>

#include <string>

#include "platform/memory.h"
#include "platform/text.h"
#include "registrar/registrar.h"

namespace {

std::u16string W(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string Found(const CReplacementMap& map, const char* key) {
  LPCWSTR value = map.Lookup(key);
  return value ? std::u16string(value) : u"<null>";
}

TEST(ReplacementMapTest, LookupIgnoresCaseAndTakesTheFirstOfDuplicates) {
  CReplacementMap map;
  EXPECT_EQ(u"<null>", Found(map, "Module"));
  ASSERT_EQ(S_OK, map.Add(u"Module", u"/first"));
  ASSERT_EQ(S_OK, map.Add(u"MODULE", u"/second"));
  ASSERT_EQ(S_OK, map.Add(u"", u""));
  struct Case {
    const char* key;
    std::u16string value;
  } cases[] = {
      {"Module", u"/first"}, {"module", u"/first"},  {"MODULE", u"/first"}, {"", u""},
      {"Modul", u"<null>"},  {"Module ", u"<null>"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.value, Found(map, c.key)) << c.key;
  EXPECT_EQ(3, map.count);
}

TEST(ReplacementMapTest, TheEleventhAddDoublesTheArrayAndClearKeepsIt) {
  CReplacementMap map;
  EXPECT_EQ(10, map.capacity);
  for (int i = 0; i < 11; ++i)
    ASSERT_EQ(S_OK,
              map.Add(W("n" + std::to_string(i)).c_str(), W("v" + std::to_string(i)).c_str()));
  EXPECT_EQ(11, map.count);
  EXPECT_EQ(20, map.capacity);
  for (int i = 0; i < 11; ++i)
    EXPECT_EQ(W("v" + std::to_string(i)), Found(map, ("N" + std::to_string(i)).c_str()));

  ReplacementEntry** array = map.entries;
  EXPECT_EQ(S_OK, map.Clear());
  EXPECT_EQ(0, map.count);
  EXPECT_EQ(20, map.capacity);
  EXPECT_EQ(array, map.entries);
  EXPECT_EQ(u"<null>", Found(map, "n0"));
  EXPECT_EQ(S_OK, map.Clear());  // clearing an empty map is harmless
  ASSERT_EQ(S_OK, map.Add(u"Module", u"/again"));
  EXPECT_EQ(array, map.entries);
  EXPECT_EQ(u"/again", Found(map, "module"));
}

TEST(ReplacementMapTest, StringsAreCopiesOfTheCallersText) {
  CReplacementMap map;
  std::u16string name = u"Module", value = u"/path";
  ASSERT_EQ(S_OK, map.Add(name.c_str(), value.c_str()));
  name[0] = u'X';
  value[1] = u'X';
  EXPECT_EQ(u"/path", Found(map, "Module"));
}

// Every allocation of an Add, failed in turn, leaves the map exactly as it was: the record, the
// name copy, the value copy and (on the eleventh Add) the array growth.
TEST(ReplacementMapTest, EachFailedAllocationLeavesTheMapUnchanged) {
  for (int filled : {0, 10}) {
    for (long failAt = 1; failAt <= (filled == 10 ? 4 : 3); ++failAt) {
      CReplacementMap map;
      for (int i = 0; i < filled; ++i) ASSERT_EQ(S_OK, map.Add(u"n", W(std::to_string(i)).c_str()));
      ReplacementEntry** array = map.entries;
      int capacity = map.capacity;
      FailAllocationAt(failAt);
      HRESULT hr = map.Add(u"Module", u"/path");
      FailAllocationAt(0);
      EXPECT_EQ(E_OUTOFMEMORY, hr) << filled << " " << failAt;
      EXPECT_EQ(filled, map.count);
      EXPECT_EQ(capacity, map.capacity);
      EXPECT_EQ(array, map.entries);
      EXPECT_EQ(u"<null>", Found(map, "Module"));
      // Nothing was left half-done: the next Add works.
      EXPECT_EQ(S_OK, map.Add(u"Module", u"/path"));
      EXPECT_EQ(u"/path", Found(map, "Module"));
    }
  }
}

TEST(ReplacementMapTest, AMapWithoutItsArrayRefusesEveryAdd) {
  FailAllocationAt(1);
  CReplacementMap map;
  FailAllocationAt(0);
  EXPECT_EQ(nullptr, map.entries);
  EXPECT_EQ(E_OUTOFMEMORY, map.Add(u"Module", u"/path"));
  EXPECT_EQ(0, map.count);
  EXPECT_EQ(u"<null>", Found(map, "Module"));
  EXPECT_EQ(S_OK, map.Clear());
}

TEST(ScriptRegistrarTest, TeardownFreesEveryEntryAndTheLockWorks) {
  // The sanitizer build reports anything the teardown leaves behind.
  CScriptRegistrar registrar;
  EnterCriticalSection(&registrar.lock);
  EXPECT_EQ(S_OK, registrar.map.Add(u"Module", u"/a/b.rgs"));
  EXPECT_EQ(S_OK, registrar.map.Add(u"Other", u"x"));
  LeaveCriticalSection(&registrar.lock);
  EXPECT_EQ(u"/a/b.rgs", Found(registrar.map, "MODULE"));
}

}  // namespace
