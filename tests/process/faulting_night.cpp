// A night that ends at once in the fault its first argument names:
// null-write, relocated-write, divide, trap, overflow or, built with C++
// exceptions, throw.
// Before a processor fault it writes the faulting function's address in
// hexadecimal straight to descriptor 1. Each leaves "pending", with no line
// end, in Output's buffer.
#include <unistd.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#if __cpp_exceptions
#include <stdexcept>
#endif

#include "runtime/runtime.h"
#include "textfile/textfile.h"

namespace {

// Real processor faults: the sanitizers must not stop them first.
#define FAULT_SITE __attribute__((noinline, no_sanitize("address", "undefined")))

int* volatile nowhere = nullptr;
volatile int one = 1, zero = 0, quotient;
volatile bool deeper = true;

FAULT_SITE void WriteNull() { *nowhere = 1; }
FAULT_SITE void WriteRelocated();  // to the table below
FAULT_SITE void Divide() { quotient = one / zero; }
FAULT_SITE void Trap() { __builtin_trap(); }
// The callee gets this frame's address, so the recursion cannot become a loop.
FAULT_SITE int Recurse(volatile char* previous) {
  volatile char frame[512];
  frame[0] = *previous;
  return deeper ? Recurse(frame) + frame[1] : 0;
}
void Overflow() { Recurse(reinterpret_cast<volatile char*>(&one)); }
#if __cpp_exceptions
void Throw() { throw std::runtime_error("nobody catches this"); }
#endif

const struct {
  const char* name;
  void (*run)();
  void* site;  // where the processor faults
} kFaults[] = {
    {"null-write", WriteNull, reinterpret_cast<void*>(&WriteNull)},
    {"relocated-write", WriteRelocated, reinterpret_cast<void*>(&WriteRelocated)},
    {"divide", Divide, reinterpret_cast<void*>(&Divide)},
    {"trap", Trap, reinterpret_cast<void*>(&Trap)},
    {"overflow", Overflow, reinterpret_cast<void*>(&Recurse)},
#if __cpp_exceptions
    {"throw", Throw, nullptr},
#endif
};

// The table holds addresses, which the start-up relocates: its page is
// read-only once the program runs.
FAULT_SITE void WriteRelocated() {
  auto* site = const_cast<void* volatile*>(&kFaults[0].site);
  *site = *site;
}

constexpr varnock::CountedText<7> kPending("pending");

}  // namespace

std::int32_t varnock::Game(std::int32_t count, char** vector) {
  for (const auto& fault : kFaults) {
    if (count < 2 || std::strcmp(vector[1], fault.name) != 0) continue;
    if (fault.site) dprintf(STDOUT_FILENO, "%" PRIxPTR "\n", reinterpret_cast<std::uintptr_t>(fault.site));
    WriteString(Output, kPending, -1);
    fault.run();
  }
  return 0;
}
