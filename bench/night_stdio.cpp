// The night with C stdio: line-buffered standard output, scanf and getchar.
#include <cstdio>

#include "bench/night.h"

struct StdioIo {
  void Say(bench::CountedString line) {
    std::fwrite(line.Chars(), 1, line.Length(), stdout);
    Blank();
  }
  void Blank() { std::fputs("\r\n", stdout); }
  bool Read(int& value) {
    int got = std::scanf("%d", &value);
    if (got == EOF) return false;
    if (got == 0) value = 0;
    for (int c = std::getchar(); c != EOF && c != '\n';) c = std::getchar();
    return true;
  }
};

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  StdioIo io;
  bench::PlayNight(io);
  return std::fflush(stdout) == 0 ? 0 : 255;
}
