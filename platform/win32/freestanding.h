// The memory functions of the C library, for a program that has no C
// library: the product calls memcpy and memchr, and the compiler may call
// memcpy, memmove, memset and memcmp on its own (structure copies, zeroed
// arrays). freestanding.cpp gives them their C names; the bodies are here,
// under names of their own, so that the tests can run them beside the
// system's C library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace freestanding {

inline void* Copy(void* to, const void* from, std::size_t count) {
  unsigned char* d = static_cast<unsigned char*>(to);
  const unsigned char* s = static_cast<const unsigned char*>(from);
  while (count--) *d++ = *s++;
  return to;
}

// Copies as if through a buffer of its own: when the target starts inside
// the source, from the end down. (The distance is taken modulo the address
// space, so a target below the source is far away.)
inline void* Move(void* to, const void* from, std::size_t count) {
  std::uintptr_t distance = reinterpret_cast<std::uintptr_t>(to) - reinterpret_cast<std::uintptr_t>(from);
  if (distance >= count) return Copy(to, from, count);
  unsigned char* d = static_cast<unsigned char*>(to);
  const unsigned char* s = static_cast<const unsigned char*>(from);
  while (count--) d[count] = s[count];
  return to;
}

inline void* Fill(void* to, int value, std::size_t count) {
  unsigned char* d = static_cast<unsigned char*>(to);
  while (count--) *d++ = static_cast<unsigned char>(value);
  return to;
}

// Bytes compare as unsigned char, as the C library's do.
inline int Compare(const void* a, const void* b, std::size_t count) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (; count; --count, ++x, ++y)
    if (*x != *y) return *x < *y ? -1 : 1;
  return 0;
}

// The first byte equal to value taken as an unsigned char, or null.
inline void* Find(const void* block, int value, std::size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(block);
  for (; count; --count, ++p)
    if (*p == static_cast<unsigned char>(value)) return const_cast<unsigned char*>(p);
  return nullptr;
}

}  // namespace freestanding
