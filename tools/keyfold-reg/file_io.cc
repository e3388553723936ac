#include "tools/keyfold-reg/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

std::string Reason(int errnum) { return strerror(errnum); }

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  bytes->clear();
  int fd = path == "-" ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + Reason(errno);
    return false;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = "cannot read " + path + ": " + Reason(errno);
      if (fd != STDIN_FILENO) close(fd);
      return false;
    }
    if (n == 0) break;
    bytes->append(buffer, static_cast<size_t>(n));
  }
  if (fd != STDIN_FILENO) close(fd);
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, bool overwrite,
                    std::string* error) {
  if (path == "-") {
    if (!WriteAll(STDOUT_FILENO, bytes)) {
      *error = "cannot write to standard output: " + Reason(errno);
      return false;
    }
    return true;
  }
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) {
    if (!overwrite) {
      *error = path + " exists; give /y to replace it";
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      *error = path + " is not a regular file";
      return false;
    }
  }
  std::string temp = path + ".keyfold-XXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot write " + path + ": " + Reason(errno);
    return false;
  }
  mode_t mask = umask(0);
  umask(mask);
  bool ok = fchmod(fd, 0666 & ~mask) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
  int saved = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    *error = "cannot write " + path + ": " + Reason(saved);
  }
  return ok;
}
