/* The night once more, for the stand-ins that measure our run-time against
   the C and C++ libraries: the game's script (game/script.h), played by
   code that is C and C++ alike and reads its tables as it runs. A stand-in
   declares, before it includes this:
     void Say(const char* text, unsigned length): prints the line, ending
       in CR LF;
     void Blank(void): prints an empty line;
     int Read(int* value): reads a number and drops the rest of its line;
       0 at the end of input. */
#ifndef VARNOCK_BENCH_NIGHT_H
#define VARNOCK_BENCH_NIGHT_H

#include "game/script.h"

#ifdef __cplusplus
using namespace varnock::script;
#endif

/* The script's lines by label, as the C library prints them; the first is
   SCRIPT_NO_LINE's. */
#define NIGHT_LINE(label, length, text) {text, length},
static const struct {
  const char* text;
  unsigned length;
} night_lines[] = {{"", 0}, VARNOCK_SCRIPT_LINES(NIGHT_LINE)};
#undef NIGHT_LINE

static void SayLine(unsigned label) { Say(night_lines[label].text, night_lines[label].length); }

static void SayAll(const struct ScriptLines* lines) {
  for (unsigned i = 0; i < sizeof lines->label && lines->label[i] != SCRIPT_NO_LINE; i++) SayLine(lines->label[i]);
}

static void PlayNight(void) {
  const unsigned drinks = sizeof ScriptMenu / sizeof ScriptMenu[0];
  const unsigned endings = sizeof ScriptEndings / sizeof ScriptEndings[0];
  int total = 0, fruit = 0, over = 0;
  SayLine(SCRIPT_W1);
  SayLine(SCRIPT_W2);
  do {
    for (unsigned i = 0; i < drinks; i++) SayLine(ScriptMenu[i].name);
    int value = 0;
    if (!Read(&value)) {
      over = 1;
      break;
    }
    /* The menu's numbers start at 1; only the low 16 bits count. */
    unsigned row = (unsigned)((short)value - 1);
    const struct ScriptDrink* drink = row < drinks ? &ScriptMenu[row] : &ScriptNotOnMenu;
    if (drink->effect == SCRIPT_ENDS_SECOND && ++fruit == 2) {
      SayAll(&drink->sent_away);
      over = 1;
    } else {
      SayAll(&drink->reaction);
      if (drink->effect == SCRIPT_ENDS) over = 1;
    }
    if (drink->blank) Blank();
    total += drink->points;
  } while (total < SCRIPT_ENOUGH && !over);
  Blank();
  if (!over) {
    unsigned ending = (unsigned)(total - SCRIPT_ENOUGH);
    SayAll(&ScriptEndings[ending < endings ? ending : endings - 1]);
  }
  Blank();
  SayLine(SCRIPT_G1);
  Blank();
  Blank();
  SayLine(SCRIPT_G2);
  SayLine(SCRIPT_G3);
}

#endif
