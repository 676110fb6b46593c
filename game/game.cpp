#include "game/game.h"

#include <cstddef>
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "game/messages.h"
#include "game/script.h"
#include "textfile/textfile.h"

namespace varnock {

std::int16_t DrinkTotal;
std::int16_t FruitOrders;
bool NightOver;
std::int16_t Choice;

namespace {

using namespace messages;
using namespace script;

std::int32_t Say(CountedString line) {
  WriteString(Output, line, -1);
  return WriteLn(Output);
}

std::int32_t BlankLine() { return WriteLn(Output); }

// The script's tables (game/script.h) are read as this compiles: every line
// is a call with its own message and every drink a branch of its own, as if
// written out by hand, so a turn costs no more than that.

template <typename Table>
constexpr std::size_t kRows = std::extent_v<Table>;

// The lines before the first empty slot.
consteval std::size_t Length(ScriptLines lines) {
  std::size_t n = 0;
  while (n < kRows<decltype(lines.label)> && lines.label[n] != SCRIPT_NO_LINE) ++n;
  return n;
}

template <ScriptLines lines, std::size_t... i>
void SayAll(std::index_sequence<i...>) {
  (Say(Labelled(lines.label[i])), ...);
}

template <ScriptLines lines>
void SayAll() {
  SayAll<lines>(std::make_index_sequence<Length(lines)>());
}

template <std::size_t... row>
void ShowMenu(std::index_sequence<row...>) {
  for (CountedString line : {Labelled(ScriptMenu[row].name)...}) Say(line);
}

void ShowMenu() { ShowMenu(std::make_index_sequence<kRows<decltype(ScriptMenu)>>()); }

template <ScriptDrink drink>
void Serve() {
  if constexpr (drink.effect == SCRIPT_ENDS_SECOND) {
    FruitOrders = static_cast<std::int16_t>(FruitOrders + 1);
    if (FruitOrders == 2) {
      SayAll<drink.sent_away>();
      NightOver = true;
    } else {
      SayAll<drink.reaction>();
    }
  } else {
    SayAll<drink.reaction>();
    if constexpr (drink.effect == SCRIPT_ENDS) NightOver = true;
  }
  if constexpr (drink.blank) BlankLine();
  if constexpr (drink.points != 0) DrinkTotal = static_cast<std::int16_t>(DrinkTotal + drink.points);
}

// A switch compiles to one bounds check and one jump; a chain of tests made
// from the table costs a test more.
void Serve(std::int16_t choice) {
  static_assert(kRows<decltype(ScriptMenu)> == 6, "a case for each drink");
  switch (choice) {
    case 1: return Serve<ScriptMenu[0]>();
    case 2: return Serve<ScriptMenu[1]>();
    case 3: return Serve<ScriptMenu[2]>();
    case 4: return Serve<ScriptMenu[3]>();
    case 5: return Serve<ScriptMenu[4]>();
    case 6: return Serve<ScriptMenu[5]>();
    default: return Serve<ScriptNotOnMenu>();
  }
}

void ShowEnding(std::int16_t total) {
  static_assert(kRows<decltype(ScriptEndings)> == 6, "a case for each ending");
  switch (total) {
    case SCRIPT_ENOUGH: return SayAll<ScriptEndings[0]>();
    case SCRIPT_ENOUGH + 1: return SayAll<ScriptEndings[1]>();
    case SCRIPT_ENOUGH + 2: return SayAll<ScriptEndings[2]>();
    case SCRIPT_ENOUGH + 3: return SayAll<ScriptEndings[3]>();
    case SCRIPT_ENOUGH + 4: return SayAll<ScriptEndings[4]>();
    default: return SayAll<ScriptEndings[5]>();
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
  } while (DrinkTotal < SCRIPT_ENOUGH && !NightOver);
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
