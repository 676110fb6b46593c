// How a fuzz input becomes standard input, and how a target reports a
// broken expectation (as a crash, which keeps the input).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/fake/fake_os.h"

namespace fuzz {

inline void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "broken: %s\n", what);
  std::abort();
}

// The first byte says how many of the following bytes (0 to 7) are chunk
// sizes; the rest is fed to standard input, each ReadFile delivering at most
// the next size (1 to 256, the pattern repeated). Returns the bytes fed.
inline std::string_view FeedStandardInput(const std::uint8_t* data, std::size_t size) {
  std::size_t sizes = size ? data[0] % 8 : 0;
  if (sizes + 1 > size) sizes = 0;
  std::size_t skip = size ? 1 + sizes : 0;
  std::string_view input(reinterpret_cast<const char*>(data) + skip, size - skip);
  std::vector<std::size_t> chunks;
  for (std::size_t total = 0; sizes && total < input.size(); total += chunks.back())
    chunks.push_back(std::size_t{data[1 + chunks.size() % sizes]} + 1);
  fakeos::Feed(fakeos::StdIn(), input, chunks);
  return input;
}

}  // namespace fuzz
