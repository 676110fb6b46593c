/* The night once more, for the stand-ins that measure our run-time against
   the C and C++ libraries: the same messages, turns and endings, in code
   that is C and C++ alike. A stand-in declares, before it includes this:
     NightLine, a message's type, and the messages W1 ... G3 of
       bench/night_messages.h (made from game/messages.h);
     void Say(NightLine line): prints the line, ending in CR LF;
     void Blank(void): prints an empty line;
     int Read(int* value): reads a number and drops the rest of its line;
       0 at the end of input. */
#ifndef VARNOCK_BENCH_NIGHT_H
#define VARNOCK_BENCH_NIGHT_H

static void PlayNight(void) {
  static const NightLine menu[] = {D1, D2, D3, D4, D5, D6};
  static const NightLine endings[] = {E13, E14, E15, E16, E17a, E18};
  int total = 0, fruit = 0, over = 0;
  Say(W1);
  Say(W2);
  do {
    for (unsigned i = 0; i < sizeof menu / sizeof menu[0]; i++) Say(menu[i]);
    int value = 0;
    if (!Read(&value)) {
      over = 1;
      break;
    }
    switch ((short)value) {
      case 1: Say(R1), Blank(), total += 4; break;
      case 2: Say(R2a), Say(R2b), Blank(), total += 1; break;
      case 3: Say(R3), total += 6; break;
      case 4:
        Say(R4);
        if (++fruit == 2) {
          Say(R4x), over = 1;
        } else {
          Say(R4a), Say(R4b), Say(R4c);
        }
        Blank();
        break;
      case 5: Say(R5a), Say(R5b), Blank(), over = 1; break;
      case 6: Say(R6), Blank(), total += 5; break;
      default: Say(RX);
    }
  } while (total < 13 && !over);
  Blank();
  if (!over) {
    Say(endings[total > 17 ? 5 : total - 13]);
    if (total == 17) Say(E17b);
  }
  Blank();
  Say(G1);
  Blank();
  Blank();
  Say(G2);
  Say(G3);
}

#endif
