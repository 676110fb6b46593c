// A whole night over any input: it ends, every line it writes is one of the
// game's messages or empty, and the total tells how it ended.
#include <algorithm>
#include <initializer_list>
#include <set>
#include <string>

#include "fuzz/feed.h"
#include "game/game.h"
#include "game/messages.h"
#include "tests/unit/world.h"

namespace {

using varnock::CountedString;
using Messages = std::initializer_list<CountedString>;

std::string Text(CountedString m) { return {reinterpret_cast<const char*>(m.Chars()), m.Length()}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnock;
  using namespace varnock::messages;
  using fuzz::Require;
  static const std::set<std::string> known = [] {
    std::set<std::string> s{""};
    for (CountedString m : Messages{W1,  W2,  D1,  D2, D3, D4,  D5,  D6,  R1,  R2a,  R2b,  R3,  R4, R4a, R4b, R4c,
                                    R4x, R5a, R5b, R6, RX, E13, E14, E15, E16, E17a, E17b, E18, G1, G2,  G3})
      s.insert(Text(m));
    return s;
  }();
  ResetWorld();
  fuzz::FeedStandardInput(data, size);
  Require(Game(0, nullptr) == 0, "status 0 while standard output works");
  Require(NightOver || (DrinkTotal >= 13 && DrinkTotal <= 18), "a night not cut short ends at 13 to 18");
  std::vector<std::string> lines;  // one WriteFile per line, ending in CR LF
  for (const fakeos::Write& w : fakeos::Writes()) {
    Require(w.handle == fakeos::StdOut() && w.ok && w.bytes.ends_with("\r\n"), "a whole line to standard output");
    lines.push_back(w.bytes.substr(0, w.bytes.size() - 2));
    Require(known.count(lines.back()) == 1, "a line is a message or empty");
  }
  const std::string first[] = {Text(W1), Text(W2), Text(D1)}, last[] = {"", Text(G1), "", "", Text(G2), Text(G3)};
  Require(lines.size() >= 15 && std::equal(std::begin(first), std::end(first), lines.begin()) &&
              std::equal(std::begin(last), std::end(last), lines.end() - 6),
          "greeting and menu first, the farewell last");
  int endings = 0;
  for (const std::string& l : lines)
    for (CountedString e : Messages{E13, E14, E15, E16, E17a, E18}) endings += l == Text(e);
  Require(endings == (NightOver ? 0 : 1), "one ending, none after an early end");
  return 0;
}
