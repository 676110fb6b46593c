// Formatted printing, the little the run-time needs: "%i" (signed decimal),
// "%x" with an optional 0 flag and width (lower-case hexadecimal of an
// unsigned value up to 64 bits), "%%". To a stream through WriteBlock, or
// into a caller's buffer through a string stream. No heap, so it is safe
// inside a fault handler.
#pragma once

#include <concepts>
#include <cstdint>

#include "stream/stream.h"

namespace varnock {

struct FormatArg {
  std::uint64_t bits;
  template <std::integral T>
  constexpr FormatArg(T v) : bits(static_cast<std::uint64_t>(v)) {}  // signed values sign-extend
};

// Characters written.
std::uint32_t FormatArgs(Stream* s, const char* format, const FormatArg* args, unsigned count);

template <class... A>
std::uint32_t FormatPrint(Stream* s, const char* format, A... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
  return FormatArgs(s, format, list, sizeof...(A));
}

// Formats into buffer[0..size-1) and ends the text with a zero; returns its
// length. What does not fit is dropped.
std::uint32_t FormatBufferArgs(char* buffer, std::uint32_t size, const char* format, const FormatArg* args,
                               unsigned count);

template <class... A>
std::uint32_t FormatToBuffer(char* buffer, std::uint32_t size, const char* format, A... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
  return FormatBufferArgs(buffer, size, format, list, sizeof...(A));
}

}  // namespace varnock
