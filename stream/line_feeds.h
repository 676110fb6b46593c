// The line path looks for the line feed of every line twice: when the
// line goes into the stream buffer, and when it goes out with CR LF. Both
// copy as they look, eight bytes at a time, rather than asking the C
// library to find the line feed and then again to copy up to it.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace varnock {

namespace line_feeds {
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kLineFeeds = kOnes * '\n';

// Copies eight bytes and tells where the first line feed among them is:
// 8 when there is none. The subtraction finds the lowest zero byte of the
// bytes xor LF exactly (a borrow only disturbs bytes above it), so this
// needs the low byte first in the word.
inline unsigned CopyWord(const std::uint8_t* from, std::uint8_t* to) {
  std::uint64_t word;
  std::memcpy(&word, from, 8);
  std::memcpy(to, &word, 8);
  std::uint64_t x = word ^ kLineFeeds;
  std::uint64_t zero = (x - kOnes) & ~x & (kOnes << 7);
  return zero ? static_cast<unsigned>(std::countr_zero(zero)) / 8 : 8;
}
}  // namespace line_feeds

// Copies from[0, n) to to[0, n) as far as the first line feed and returns
// the number of bytes before it (n when there is none). Those bytes are
// copied; later ones of to[0, n) may have been written with from's bytes.
inline std::uint32_t CopyUntilLineFeed(const std::uint8_t* from, std::uint32_t n, std::uint8_t* to) {
  std::uint32_t i = 0;
  if (std::endian::native == std::endian::little && n >= 8) {
    for (; i + 8 <= n; i += 8)
      if (unsigned at = line_feeds::CopyWord(from + i, to + i); at < 8) return i + at;
    if (i == n) return n;
    // The last word overlaps bytes already seen to hold no line feed.
    unsigned at = line_feeds::CopyWord(from + n - 8, to + n - 8);
    return at < 8 ? n - 8 + at : n;
  }
  for (; i < n && from[i] != '\n'; ++i) to[i] = from[i];
  return i;
}

}  // namespace varnock
