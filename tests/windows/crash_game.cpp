// A game that ends the process the hard way, for watching the run-time's
// exception report on the real system: "throw" lets a C++ exception escape
// the game; anything else, or nothing, writes through a null pointer.
#include <cstdint>
#include <cstring>

#include "runtime/runtime.h"

namespace varnock {

std::int32_t Game(std::int32_t argumentCount, char** argumentVector) {
  if (argumentCount > 1 && std::strcmp(argumentVector[1], "throw") == 0) throw 42;
  // Both volatile: the compiler may neither prove the pointer null (and
  // plant a trap instead of the store) nor drop a store nobody reads.
  volatile int* volatile target = nullptr;
  *target = 1;
  return 0;
}

}  // namespace varnock
