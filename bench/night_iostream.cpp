// The night with iostreams: std::endl after every line, >> and ignore.
#include <iostream>
#include <limits>

#include "bench/night.h"

struct StreamIo {
  void Say(bench::CountedString line) {
    std::cout.write(reinterpret_cast<const char*>(line.Chars()), line.Length());
    Blank();
  }
  void Blank() { std::cout << '\r' << std::endl; }
  bool Read(int& value) {
    if (!(std::cin >> value)) {
      if (std::cin.eof()) return false;
      std::cin.clear();
      value = 0;
    }
    std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    return true;
  }
};

int main() {
  StreamIo io;
  bench::PlayNight(io);
  return std::cout.flush() ? 0 : 255;
}
