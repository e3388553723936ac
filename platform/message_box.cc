#include "platform/message_box.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/text.h"

namespace {

std::string g_title = "keyfold";
std::vector<std::string>* g_sink = nullptr;

void AppendJsonString(std::string* out, const std::string& utf8) {
  out->push_back('"');
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        *out += "\\\"";
        break;
      case '\\':
        *out += "\\\\";
        break;
      case '\n':
        *out += "\\n";
        break;
      case '\r':
        *out += "\\r";
        break;
      case '\t':
        *out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          snprintf(buf, sizeof(buf), "\\u%04x", c);
          *out += buf;
        } else {
          out->push_back(static_cast<char>(c));
        }
    }
  }
  out->push_back('"');
}

// Appends the line with one write on a file opened for appending, so boxes of concurrent runs
// never interleave within a line.
void AppendToTranscript(const std::string& line) {
  const char* path = getenv("KEYFOLD_MESSAGE_LOG");
  if (!path || !*path) return;
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    fprintf(stderr, "keyfold: cannot write the message log %s: %s\n", path, strerror(errno));
    return;
  }
  size_t done = 0;
  while (done < line.size()) {
    ssize_t n = write(fd, line.data() + done, line.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fprintf(stderr, "keyfold: cannot write the message log %s: %s\n", path, strerror(errno));
      break;
    }
    done += static_cast<size_t>(n);
  }
  close(fd);
}

}  // namespace

std::string TranscriptLine(const std::string& title, const char* text) {
  std::string line = "{\"title\": ";
  AppendJsonString(&line, title);
  line += ", \"text\": ";
  AppendJsonString(&line, NarrowToUtf8(text, strlen(text)));
  line += "}\n";
  return line;
}

int AfxMessageBox(const char* text, UINT, UINT) {
  if (!text) text = "";
  AppendToTranscript(TranscriptLine(g_title, text));
  if (g_sink) {
    g_sink->push_back(text);
    return IDOK;
  }
  std::string shown = NarrowToUtf8(text, strlen(text));
  std::string block = "+--- " + g_title + " ---\n" + shown;
  if (shown.empty() || shown.back() != '\n') block += "\n";
  block += "+--- [OK]\n";
  fwrite(block.data(), 1, block.size(), stdout);
  fflush(stdout);
  return IDOK;
}

const std::string& MessageBoxTitle() { return g_title; }

void SetMessageBoxTitle(const std::string& title) { g_title = title; }

void SetMessageBoxSink(std::vector<std::string>* sink) { g_sink = sink; }
