#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix/posix.h"

namespace os {

namespace {
void WriteAll(int fd, const char* s, std::size_t n) {
  while (n > 0) {
    ssize_t k = ::write(fd, s, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return;
    s += k;
    n -= static_cast<std::size_t>(k);
  }
}
}  // namespace

// There is no window system to ask: the box is shown on the controlling
// terminal, or on standard error without one, never on standard output.
// Only async-signal-safe calls, since a fault handler shows it.
int MessageBoxA(HANDLE, const char* text, const char* caption, UINT) {
  IgnoreBrokenPipes();
  int fd = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
  bool own = fd >= 0;
  if (!own) fd = 2;
  std::size_t captionLen = std::strlen(caption), textLen = std::strlen(text);
  WriteAll(fd, caption, captionLen);
  WriteAll(fd, "\n", 1);
  WriteAll(fd, text, textLen);
  if (textLen == 0 || text[textLen - 1] != '\n') WriteAll(fd, "\n", 1);
  if (own) ::close(fd);
  return 1;  // IDOK
}

}  // namespace os
