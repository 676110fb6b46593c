// The night once more, for the stand-ins that measure our run-time against
// the C and C++ libraries: the same messages, turns and endings, printed and
// read through an Io that each stand-in supplies:
//   Say(line) prints a line ending in CR LF; Blank() an empty one;
//   Read(value) reads a number and drops the rest of its line, false at
//   the end of input.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "game/messages.h"

namespace bench {

using varnock::CountedString;

template <class Io>
void PlayNight(Io& io) {
  using namespace varnock::messages;
  int total = 0, fruit = 0;
  bool over = false;
  io.Say(W1);
  io.Say(W2);
  do {
    for (CountedString line : std::initializer_list<CountedString>{D1, D2, D3, D4, D5, D6}) io.Say(line);
    int value = 0;
    if (!io.Read(value)) {
      over = true;
      break;
    }
    switch (static_cast<std::int16_t>(value)) {
      case 1: io.Say(R1), io.Blank(), total += 4; break;
      case 2: io.Say(R2a), io.Say(R2b), io.Blank(), total += 1; break;
      case 3: io.Say(R3), total += 6; break;
      case 4:
        io.Say(R4);
        if (++fruit == 2) {
          io.Say(R4x), over = true;
        } else {
          io.Say(R4a), io.Say(R4b), io.Say(R4c);
        }
        io.Blank();
        break;
      case 5: io.Say(R5a), io.Say(R5b), io.Blank(), over = true; break;
      case 6: io.Say(R6), io.Blank(), total += 5; break;
      default: io.Say(RX);
    }
  } while (total < 13 && !over);
  io.Blank();
  if (!over) {
    CountedString endings[] = {E13, E14, E15, E16, E17a, E18};
    io.Say(endings[total > 17 ? 5 : total - 13]);
    if (total == 17) io.Say(E17b);
  }
  io.Blank();
  io.Say(G1);
  io.Blank();
  io.Blank();
  io.Say(G2);
  io.Say(G3);
}

}  // namespace bench
