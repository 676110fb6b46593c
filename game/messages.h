// Every line the night prints, as the game's counted strings, made from the
// script's list (game/script.h). Each is declared with its length; a text
// of any other length does not compile.
#pragma once

#include "game/script.h"
#include "textfile/counted_string.h"

namespace varnock::messages {

template <std::size_t N>
using Message = CountedText<N>;

#define VARNOCK_MESSAGE(label, length, text) inline constexpr Message<length> label{text};
VARNOCK_SCRIPT_LINES(VARNOCK_MESSAGE)
#undef VARNOCK_MESSAGE

// The line a table of the script names by its label. Called with a
// constant, it is folded as the game is compiled: what the call with it
// passes is the message's own address.
constexpr CountedString Labelled(unsigned label) {
#define VARNOCK_MESSAGE(label, length, text) CountedString(label),
  constexpr CountedString lines[] = {VARNOCK_SCRIPT_LINES(VARNOCK_MESSAGE)};
#undef VARNOCK_MESSAGE
  return lines[label - 1];
}

}  // namespace varnock::messages
