/* The night's script: every line it prints, the drinks on its menu, and its
   endings. The game reads these tables as it is compiled; the stand-ins that
   measure the run-time against the C and C++ libraries (bench/night.h) read
   them as they run. C and C++ alike.

   VARNOCK_SCRIPT_LINES(LINE) lists the lines as LINE(label, length, text);
   whoever includes this defines LINE and so makes them what it needs. The
   tables name a line by its label as a ScriptLabel: SCRIPT_W1 for W1. */
#ifndef VARNOCK_GAME_SCRIPT_H
#define VARNOCK_GAME_SCRIPT_H

#define VARNOCK_SCRIPT_LINES(LINE)                                                      \
  LINE(W1, 42, "hey pilot, welcome to the Thessara Varnock")                            \
  LINE(W2, 19, "what can I get you?")                                                   \
  LINE(D1, 30, "1: Vesh-Kol' Drop down mixture")                                        \
  LINE(D2, 7, "2: Beer")                                                                \
  LINE(D3, 8, "3: Vodka")                                                               \
  LINE(D4, 29, "4: some prissy fruit beverage")                                         \
  LINE(D5, 18, "5: rubbing alcohol")                                                    \
  LINE(D6, 15, "6: Irish Whisky")                                                       \
  LINE(R1, 51, "you gulp one down. It tastes funny, kinda... ethnic")                   \
  LINE(R2a, 56, "It must be from the planet Americ, because it's in a can")             \
  LINE(R2b, 35, "and it tastes like distilled water!")                                  \
  LINE(R3, 23, "this is a bit stronger!")                                               \
  LINE(R4, 56, "the bartender looks at you. The whole wing looks at you.")              \
  LINE(R4a, 34, "finally the WC talks to you aside:")                                   \
  LINE(R4b, 61, "\"Look, I know you're new around here, but we drink seriously.")       \
  LINE(R4c, 26, "Now order something else.\"")                                          \
  LINE(R4x, 68, "I don't think you are gonna fit in here son. Go back to the Korvanis") \
  LINE(R5a, 25, "you immediately pass out.")                                            \
  LINE(R5b, 56, "The officers hold a short ceremony, and resume drinking.")             \
  LINE(R6, 20, "Hmmm.. This is good!")                                                  \
  LINE(RX, 19, "we don't have that!")                                                   \
  LINE(E13, 58, "Congrats, you made a night without doing something stupid!")           \
  LINE(E14, 61, "You get in a brawl with Obi-Wan Kenobi, he cuts off your arm.")        \
  LINE(E15, 46, "you get carded, and you forgot your ID, sorry.")                       \
  LINE(E16, 23, "you streak Yux's office")                                              \
  LINE(E17a, 45, "you wake up next to CPT Vintershade's fiance!")                       \
  LINE(E17b, 22, "There goes your carrer")                                              \
  LINE(E18, 64, "You consumed so much alcohol in one night that you are a legend!")     \
  LINE(G1, 13, "-=GAME OVER=-")                                                         \
  LINE(G2, 55, "thank you for playing Varnock choose your own adventure")               \
  LINE(G3, 51, "send me money if you want, but I don't really care.")

#ifdef __cplusplus
#define VARNOCK_SCRIPT_TABLE inline constexpr
namespace varnock::script {
#else
#define VARNOCK_SCRIPT_TABLE static const
#endif

/* The lines by label, in the order above. 0 is no line: it ends a list of
   lines shorter than its room. */
enum ScriptLabel {
  SCRIPT_NO_LINE,
#define VARNOCK_SCRIPT_LABEL(label, length, text) SCRIPT_##label,
  VARNOCK_SCRIPT_LINES(VARNOCK_SCRIPT_LABEL)
#undef VARNOCK_SCRIPT_LABEL
};

/* Lines said one after another. */
struct ScriptLines {
  unsigned char label[4];
};

/* What a drink does to the night besides its points. */
enum ScriptEffect {
  SCRIPT_GOES_ON,
  SCRIPT_ENDS,       /* it ends the night: the player passes out */
  SCRIPT_ENDS_SECOND /* its second order ends it: the player is sent away */
};

/* A drink as a turn serves it: its reaction, then a blank line where it
   has one, then its points go on the total. */
struct ScriptDrink {
  unsigned char name;   /* its line on the menu */
  unsigned char points; /* added to the total */
  unsigned char effect; /* a ScriptEffect */
  unsigned char blank;  /* 1: a blank line after the reaction */
  struct ScriptLines reaction;
  struct ScriptLines sent_away; /* instead of the reaction, when its second order ends the night */
};

/* The menu, in the order of its numbers from 1. */
VARNOCK_SCRIPT_TABLE struct ScriptDrink ScriptMenu[] = {
    {SCRIPT_D1, 4, SCRIPT_GOES_ON, 1, {{SCRIPT_R1}}, {{0}}},
    {SCRIPT_D2, 1, SCRIPT_GOES_ON, 1, {{SCRIPT_R2a, SCRIPT_R2b}}, {{0}}},
    {SCRIPT_D3, 6, SCRIPT_GOES_ON, 0, {{SCRIPT_R3}}, {{0}}},
    {SCRIPT_D4, 0, SCRIPT_ENDS_SECOND, 1, {{SCRIPT_R4, SCRIPT_R4a, SCRIPT_R4b, SCRIPT_R4c}}, {{SCRIPT_R4, SCRIPT_R4x}}},
    {SCRIPT_D5, 0, SCRIPT_ENDS, 1, {{SCRIPT_R5a, SCRIPT_R5b}}, {{0}}},
    {SCRIPT_D6, 5, SCRIPT_GOES_ON, 1, {{SCRIPT_R6}}, {{0}}},
};

/* The answer to a number that is not on the menu. */
VARNOCK_SCRIPT_TABLE struct ScriptDrink ScriptNotOnMenu = {SCRIPT_NO_LINE, 0, SCRIPT_GOES_ON, 0, {{SCRIPT_RX}}, {{0}}};

/* The night goes on until the total reaches this, or it ends early. */
enum { SCRIPT_ENOUGH = 13 };

/* The ending of a night that did not end early, by its total from
   SCRIPT_ENOUGH on; the last is that of any other total. */
VARNOCK_SCRIPT_TABLE struct ScriptLines ScriptEndings[] = {
    {{SCRIPT_E13}}, {{SCRIPT_E14}}, {{SCRIPT_E15}}, {{SCRIPT_E16}}, {{SCRIPT_E17a, SCRIPT_E17b}}, {{SCRIPT_E18}},
};

#ifdef __cplusplus
}  // namespace varnock::script
#endif

#endif
