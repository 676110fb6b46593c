// The night with iostreams: std::endl after every line, >> and ignore.
#include <iostream>
#include <limits>

static void Blank() { std::cout << '\r' << std::endl; }

static void Say(const char* text, unsigned length) {
  std::cout.write(text, length);
  Blank();
}

static int Read(int* value) {
  if (!(std::cin >> *value)) {
    if (std::cin.eof()) return 0;
    std::cin.clear();
    *value = 0;
  }
  std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
  return 1;
}

#include "bench/night.h"

int main() {
  PlayNight();
  return std::cout.flush() ? 0 : 255;
}
