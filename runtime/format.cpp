#include "runtime/format.h"

namespace varnock {
namespace {

// Digits of v in base 10 or 16, at least `width` of them, padded with '0'
// or ' '; written backwards from the end of `out`. Returns the first.
char* Convert(std::uint64_t v, unsigned base, bool negative, unsigned width, char pad, char* end) {
  char* p = end;
  do {
    unsigned d = static_cast<unsigned>(v % base);
    *--p = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
    v /= base;
  } while (v);
  if (pad == '0') {
    while (static_cast<unsigned>(end - p) + negative < width) *--p = '0';
    if (negative) *--p = '-';
  } else {
    if (negative) *--p = '-';
    while (static_cast<unsigned>(end - p) < width) *--p = ' ';
  }
  return p;
}

}  // namespace

std::uint32_t FormatArgs(Stream* s, const char* format, const FormatArg* args, unsigned count) {
  std::uint32_t total = 0;
  unsigned next = 0;
  const char* run = format;
  auto emit = [&](const char* from, const char* to) {
    if (to > from) total += WriteBlock(from, 1, static_cast<std::uint32_t>(to - from), s);
  };
  for (const char* p = format; *p;) {
    if (*p != '%') {
      ++p;
      continue;
    }
    emit(run, p);
    const char* conversionStart = p++;
    char pad = ' ';
    if (*p == '0') {
      pad = '0';
      ++p;
    }
    unsigned width = 0;
    // The field is at most 64 wide: the digits are built in a fixed buffer.
    while (*p >= '0' && *p <= '9') {
      width = width * 10 + static_cast<unsigned>(*p++ - '0');
      if (width > 64) width = 64;
    }
    char digits[96];
    char* end = digits + sizeof digits;
    char conv = *p;
    if ((conv == 'i' || conv == 'd' || conv == 'x') && next < count) {
      std::uint64_t bits = args[next++].bits;
      char* first;
      if (conv == 'x') {
        first = Convert(bits, 16, false, width, pad, end);
      } else {
        // A signed 32-bit value; its magnitude is taken without overflow.
        auto v = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
        std::uint64_t magnitude = v < 0 ? 0u - static_cast<std::uint64_t>(static_cast<std::int64_t>(v))
                                        : static_cast<std::uint64_t>(v);
        first = Convert(magnitude, 10, v < 0, width, pad, end);
      }
      emit(first, end);
      run = ++p;
    } else if (conv == '%') {
      emit(p, p + 1);
      run = ++p;
    } else {
      // Unknown, or no argument left: the text stands as written.
      run = conversionStart;
      if (*p) ++p;
    }
  }
  const char* end = run;
  while (*end) ++end;
  emit(run, end);
  return total;
}

std::uint32_t FormatBufferArgs(char* buffer, std::uint32_t size, const char* format, const FormatArg* args,
                               unsigned count) {
  if (size == 0) return 0;
  Stream s;
  OpenStringStream(&s, reinterpret_cast<std::uint8_t*>(buffer), size - 1, kStateWriting);
  FormatArgs(&s, format, args, count);
  auto length = static_cast<std::uint32_t>(s.cursor - s.bufferStart);
  if (size == 1) length = 0;  // the one-byte buffer of a sizeless stream is not the caller's
  buffer[length] = '\0';
  return length;
}

}  // namespace varnock
