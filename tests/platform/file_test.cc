#include "platform/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/error.h"
#include "tests/support/temp_dir.h"

namespace {

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = MakeTempDir("file_test"); }
  void TearDown() override { RemoveTree(dir); }

  HANDLE Open(const std::string& path, DWORD share) {
    return CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_READONLY, nullptr);
  }

  std::string dir;
};

TEST_F(FileTest, ReadsTheWholeFileAndItsSize) {
  std::string path = dir + "/script.rgs";
  WriteFileBytes(path, std::string("HKCR\0{}", 7));
  HANDLE file = Open(path, 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD high = 99;
  EXPECT_EQ(7u, GetFileSize(file, &high));
  EXPECT_EQ(0u, high);
  char buffer[16] = {};
  DWORD read = 0;
  // Asking for more than the file holds reads to its end.
  ASSERT_TRUE(ReadFile(file, buffer, sizeof(buffer), &read, nullptr));
  EXPECT_EQ(7u, read);
  EXPECT_EQ(0, memcmp(buffer, "HKCR\0{}", 7));
  ASSERT_TRUE(ReadFile(file, buffer, sizeof(buffer), &read, nullptr));
  EXPECT_EQ(0u, read);
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileTest, SizeAbove4GiBHasItsHighPart) {
  std::string path = dir + "/sparse";
  int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ftruncate(fd, (off_t{5} << 30) + 3));
  close(fd);
  HANDLE file = Open(path, 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD high = 0;
  EXPECT_EQ((1u << 30) + 3, GetFileSize(file, &high));
  EXPECT_EQ(1u, high);
  CloseHandle(file);
}

TEST_F(FileTest, OpenFailuresGiveThePlatformCodes) {
  WriteFileBytes(dir + "/plain", "x");
  struct Case {
    std::string path;
    DWORD error;
  } cases[] = {
      {dir + "/missing.rgs", ERROR_FILE_NOT_FOUND},
      {dir + "/plain/below", ERROR_PATH_NOT_FOUND},
      {dir, ERROR_ACCESS_DENIED},  // a directory is not opened as a file
      {"", ERROR_PATH_NOT_FOUND},
      {dir + "/" + std::string(5000, 'n'), ERROR_FILENAME_EXCED_RANGE},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(c.path, 0)) << c.path;
    EXPECT_EQ(c.error, GetLastError()) << c.path;
  }
}

TEST_F(FileTest, ShareModeDecidesWhoElseMayOpen) {
  std::string path = dir + "/locked.rgs";
  WriteFileBytes(path, "x");
  struct Case {
    DWORD first, second;
    bool secondOpens;
  } cases[] = {
      {0, 0, false},
      {0, FILE_SHARE_READ, false},
      {FILE_SHARE_READ, 0, false},
      {FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
  };
  for (const Case& c : cases) {
    HANDLE first = Open(path, c.first);
    ASSERT_NE(INVALID_HANDLE_VALUE, first);
    SetLastError(0);
    HANDLE second = Open(path, c.second);
    if (c.secondOpens) {
      EXPECT_NE(INVALID_HANDLE_VALUE, second);
      CloseHandle(second);
    } else {
      EXPECT_EQ(INVALID_HANDLE_VALUE, second);
      EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    }
    CloseHandle(first);
  }
  // Closing releases the file.
  HANDLE again = Open(path, 0);
  EXPECT_NE(INVALID_HANDLE_VALUE, again);
  CloseHandle(again);
}

TEST_F(FileTest, AnotherProcessCannotOpenAFileHeldWithoutSharing) {
  std::string path = dir + "/held.rgs";
  WriteFileBytes(path, "x");
  HANDLE file = Open(path, 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child's own open must meet the parent's lock.
    int fd = open(path.c_str(), O_RDONLY);
    HANDLE mine = Open(path, 0);
    _exit(mine == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION && fd >= 0 ? 0
                                                                                               : 1);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  CloseHandle(file);
}

TEST_F(FileTest, FilesWithoutASizeOpenAtOnceAndReportNoSize) {
  std::string fifo = dir + "/fifo";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  for (const std::string& path : {fifo, std::string("/dev/zero")}) {
    // A FIFO without a writer would hang an ordinary open.
    HANDLE file = Open(path, FILE_SHARE_READ);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD high = 0;
    EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(file, &high)) << path;
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError()) << path;
    CloseHandle(file);
  }
}

TEST_F(FileTest, BadHandlesAreRefused) {
  char buffer[4];
  DWORD read = 7;
  for (HANDLE bad : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
    SetLastError(0);
    EXPECT_FALSE(ReadFile(bad, buffer, sizeof(buffer), &read, nullptr));
    EXPECT_EQ(0u, read);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(bad, nullptr));
    EXPECT_FALSE(CloseHandle(bad));
  }
}

class FullPathTest : public ::testing::Test {
 protected:
  std::string Full(const std::string& name) {
    char buffer[8192];
    DWORD length = GetFullPathNameA(name.c_str(), sizeof(buffer), buffer, nullptr);
    EXPECT_EQ(strlen(buffer), length) << name;
    return buffer;
  }
  std::string Cwd() {
    char cwd[4096];
    return getcwd(cwd, sizeof(cwd));
  }
};

TEST_F(FullPathTest, FoldsDotsAndSlashesTextually) {
  std::string cwd = Cwd();
  std::string parent = cwd.substr(0, cwd.rfind('/'));
  if (parent.empty()) parent = "/";
  struct Case {
    std::string name, expected;
  } cases[] = {
      {"/a/b/../c", "/a/c"},
      {"/a/./b//c", "/a/b/c"},
      {"/a/b/", "/a/b/"},
      {"/a/b/..", "/a"},
      {"/a/..", "/"},
      {"/../../x", "/x"},
      {"/", "/"},
      {"/no/such/dir/../file", "/no/such/file"},  // nothing is looked up
      {"script.rgs", cwd + "/script.rgs"},
      {"./x/../y.rgs", cwd + "/y.rgs"},
      {"..", parent},
      {".", cwd},
      {"it's here.rgs", cwd + "/it's here.rgs"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, Full(c.name)) << c.name;
}

TEST_F(FullPathTest, LongPathsAndBufferSizes) {
  std::string longName = "/" + std::string(300, 'a') + "/" + std::string(300, 'b');
  EXPECT_EQ(longName, Full(longName));

  std::string name = "/tmp/file.rgs";
  DWORD needed = static_cast<DWORD>(name.size() + 1);
  char buffer[64];
  char* filePart = nullptr;
  // Too small by one: the size needed, NUL included, and nothing written.
  memset(buffer, 'z', sizeof(buffer));
  EXPECT_EQ(needed, GetFullPathNameA(name.c_str(), needed - 1, buffer, &filePart));
  EXPECT_EQ('z', buffer[0]);
  EXPECT_EQ(needed, GetFullPathNameA(name.c_str(), 0, nullptr, nullptr));
  // Exactly fitting: the length, and the last component.
  EXPECT_EQ(needed - 1, GetFullPathNameA(name.c_str(), needed, buffer, &filePart));
  EXPECT_STREQ("/tmp/file.rgs", buffer);
  EXPECT_STREQ("file.rgs", filePart);
  GetFullPathNameA("/tmp/dir/", sizeof(buffer), buffer, &filePart);
  EXPECT_EQ(nullptr, filePart);

  SetLastError(0);
  EXPECT_EQ(0u, GetFullPathNameA("", sizeof(buffer), buffer, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
}

}  // namespace
