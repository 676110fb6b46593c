// A game that lets a C++ exception escape, for watching the abnormal end on
// the real system. Only a program with the C++ run-time can throw, so this
// one is started by the C run-time.
#include <cstdint>

#include "runtime/runtime.h"

namespace varnock {

std::int32_t Game(std::int32_t, char**) { throw 42; }

}  // namespace varnock
