// A night that asks "trap?" and traps as the answer says: 1 a store outside
// the program's memory, 2 an unreachable instruction, 3 an integer division
// by zero, 4 a recursion that exhausts the call stack. The browser test
// serves it in place of varnock to see the exception report.
#include <cstdint>

#include "runtime/runtime.h"
#include "textfile/textfile.h"

namespace {

// Volatile, so that the compiler can neither prove the faults nor drop them.
int* volatile outside = reinterpret_cast<int*>(std::uintptr_t{0xFFFFFFF0u});
volatile int one = 1, zero = 0, quotient, depth;
volatile bool deeper = true;

// The store after the call keeps it from becoming a loop.
__attribute__((noinline)) int Recurse(int n) {
  int r = deeper ? Recurse(n + 1) : n;
  depth = r;
  return r;
}

constexpr varnock::CountedText<5> kAsk("trap?");

}  // namespace

std::int32_t varnock::Game(std::int32_t, char**) {
  WriteString(Output, kAsk, -1);
  WriteLn(Output);
  switch (ReadInteger(Input)) {
    case 1: *outside = 1; break;
    case 2: __builtin_trap();
    case 3: quotient = one / zero; break;
    case 4: Recurse(0); break;
  }
  return 0;
}
