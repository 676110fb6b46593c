// A game that writes through a null pointer, for watching the run-time's
// exception report on the real system, in a program that starts the way
// varnock.exe does.
#include <cstdint>

#include "runtime/runtime.h"

namespace varnock {

std::int32_t Game(std::int32_t, char**) {
  // Both volatile: the compiler may neither prove the pointer null (and
  // plant a trap instead of the store) nor drop a store nobody reads.
  volatile int* volatile target = nullptr;
  *target = 1;
  return 0;
}

}  // namespace varnock
