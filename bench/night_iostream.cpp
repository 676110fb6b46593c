// The night with iostreams: std::endl after every line, >> and ignore.
#include <iostream>
#include <limits>

#include "bench/night_messages.h"

using NightLine = const unsigned char*;

static void Blank() { std::cout << '\r' << std::endl; }

static void Say(NightLine line) {
  std::cout.write(reinterpret_cast<const char*>(line + 1), line[0]);
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
