#include "game/game.h"

#include <initializer_list>

#include "game/messages.h"
#include "textfile/textfile.h"

namespace varnock {

std::int16_t DrinkTotal;
std::int16_t FruitOrders;
bool NightOver;
std::int16_t Choice;

namespace {

using namespace messages;

std::int32_t Say(CountedString line) {
  WriteString(Output, line, -1);
  return WriteLn(Output);
}

std::int32_t BlankLine() { return WriteLn(Output); }

void ShowMenu() {
  for (CountedString line : {CountedString(D1), CountedString(D2), CountedString(D3), CountedString(D4),
                             CountedString(D5), CountedString(D6)})
    Say(line);
}

void Serve(std::int16_t drink) {
  switch (drink) {
    case 1:
      Say(R1);
      BlankLine();
      DrinkTotal = static_cast<std::int16_t>(DrinkTotal + 4);
      break;
    case 2:
      Say(R2a);
      Say(R2b);
      BlankLine();
      DrinkTotal = static_cast<std::int16_t>(DrinkTotal + 1);
      break;
    case 3:
      Say(R3);
      DrinkTotal = static_cast<std::int16_t>(DrinkTotal + 6);
      break;
    case 4:
      Say(R4);
      FruitOrders = static_cast<std::int16_t>(FruitOrders + 1);
      if (FruitOrders == 2) {
        Say(R4x);
        NightOver = true;
      } else {
        Say(R4a);
        Say(R4b);
        Say(R4c);
      }
      BlankLine();
      break;
    case 5:
      Say(R5a);
      Say(R5b);
      BlankLine();
      NightOver = true;
      break;
    case 6:
      Say(R6);
      BlankLine();
      DrinkTotal = static_cast<std::int16_t>(DrinkTotal + 5);
      break;
    default:
      Say(RX);
      break;
  }
}

void ShowEnding(std::int16_t total) {
  switch (total) {
    case 13: Say(E13); break;
    case 14: Say(E14); break;
    case 15: Say(E15); break;
    case 16: Say(E16); break;
    case 17:
      Say(E17a);
      Say(E17b);
      break;
    default: Say(E18); break;
  }
}

}  // namespace

std::int32_t Game(std::int32_t, char**) {
  NightOver = false;
  Say(W1);
  Say(W2);
  do {
    ShowMenu();
    Choice = static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(ReadInteger(Input))));
    // The end of input ends the turn's reading. A console asked again
    // after it (Ctrl-D, Ctrl-Z) waits for a line the player never meant
    // for this turn, and ReadLn would swallow it.
    if (!ReadStoppedAtEnd(Input)) {
      ReadLn(Input);
    } else if (InputExhausted(Input)) {
      // No number came before it: the night ends here, as if cut short.
      NightOver = true;
      break;
    }
    Serve(Choice);
  } while (DrinkTotal < 13 && !NightOver);
  BlankLine();
  if (!NightOver) ShowEnding(DrinkTotal);
  BlankLine();
  Say(G1);
  BlankLine();
  BlankLine();
  Say(G2);
  return Say(G3);
}

}  // namespace varnock
