// What the tests that start programs do with descriptors: set up a child's,
// and read back what a file or a pipe holds.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace handles {

// In the child: `from` becomes its descriptor `to`.
inline void Put(int from, int to) { from == to ? fcntl(to, F_SETFD, 0) : dup2(from, to); }

// Everything a file or a pipe holds, from its start or to its end.
inline std::string Slurp(int fd) {
  std::string s;
  char b[4096];
  lseek(fd, 0, SEEK_SET);
  for (ssize_t n; (n = read(fd, b, sizeof b)) > 0;) s.append(b, size_t(n));
  return s;
}

}  // namespace handles
