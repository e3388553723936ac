#include "platform/memory.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/error.h"
#include "platform/types.h"

namespace {

TEST(MemoryTest, FailsExactlyTheChosenAllocation) {
  FailAllocationAt(2);
  void* first = CoTaskMemAlloc(16);
  void* second = HeapAllocBlock(16);
  void* third = CoTaskMemAlloc(16);
  EXPECT_NE(nullptr, first);
  EXPECT_EQ(nullptr, second);
  EXPECT_NE(nullptr, third);
  FailAllocationAt(0);
  CoTaskMemFree(first);
  CoTaskMemFree(third);
}

TEST(MemoryTest, FailedReallocationKeepsTheBlock) {
  char* block = static_cast<char*>(CoTaskMemAlloc(4));
  ASSERT_NE(nullptr, block);
  block[0] = 'k';
  FailAllocationAt(1);
  EXPECT_EQ(nullptr, CoTaskMemRealloc(block, 1 << 20));
  FailAllocationAt(0);
  EXPECT_EQ('k', block[0]);
  char* grown = static_cast<char*>(CoTaskMemRealloc(block, 1 << 20));
  ASSERT_NE(nullptr, grown);
  EXPECT_EQ('k', grown[0]);
  CoTaskMemFree(grown);
  CoTaskMemFree(nullptr);  // freeing a null block does nothing
}

TEST(MemoryTest, CountsEveryAllocation) {
  long before = AllocationCount();
  void* a = CoTaskMemAlloc(1);
  void* b = HeapReallocBlock(nullptr, 1);
  EXPECT_EQ(before + 2, AllocationCount());
  CoTaskMemFree(a);
  HeapFreeBlock(b);
}

TEST(ErrorTest, ResultsAndErrnoTable) {
  EXPECT_EQ(S_OK, HRESULT_FROM_WIN32(0));
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(static_cast<HRESULT>(0x80070020), HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(static_cast<HRESULT>(0x8007FFFF), HRESULT_FROM_WIN32(0x1234FFFF));
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
  struct Case {
    int errnum;
    DWORD error;
  } cases[] = {{ENOENT, 2}, {ENOTDIR, 3},        {EACCES, 5}, {EPERM, 5}, {EROFS, 5},
               {EISDIR, 5}, {ENAMETOOLONG, 206}, {ENOMEM, 8}, {0, 0}};
  for (const Case& c : cases) EXPECT_EQ(c.error, ErrorFromErrno(c.errnum)) << c.errnum;
  EXPECT_NE(0u, ErrorFromErrno(EXDEV));
  SetLastErrorFromErrno(ENOENT);
  EXPECT_EQ(2u, GetLastError());
}

}  // namespace
