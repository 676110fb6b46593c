// Counted strings: one length byte (0 to 255), then exactly that many 8-bit
// characters, no terminator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnock {

// A counted string in memory, seen through its length byte.
class CountedString {
 public:
  explicit constexpr CountedString(const std::uint8_t* bytes) : bytes_(bytes) {}
  constexpr std::uint8_t Length() const { return bytes_[0]; }
  constexpr const std::uint8_t* Chars() const { return bytes_ + 1; }
  constexpr const std::uint8_t* Bytes() const { return bytes_; }

 private:
  const std::uint8_t* bytes_;
};

// Storage for a counted string of N characters. Built from a string literal,
// it only compiles when the literal has exactly N characters, so a table of
// them proves every length byte right.
template <std::size_t N>
struct CountedText {
  static_assert(N <= 255, "a counted string holds at most 255 characters");
  std::uint8_t bytes[N + 1];

  consteval CountedText(const char (&text)[N + 1]) : bytes{} {
    bytes[0] = static_cast<std::uint8_t>(N);
    for (std::size_t i = 0; i < N; ++i) bytes[i + 1] = static_cast<std::uint8_t>(text[i]);
  }
  constexpr operator CountedString() const { return CountedString(bytes); }
  constexpr std::uint8_t Length() const { return bytes[0]; }
};

}  // namespace varnock
