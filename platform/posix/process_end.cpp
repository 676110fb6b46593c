#include <unistd.h>

#include "platform/os.h"

namespace os {


#if defined(VARNOCK_COVERAGE)
extern "C" void __gcov_dump();
#endif

void ExitProcess(UINT exitCode) {
#if defined(VARNOCK_COVERAGE)
  __gcov_dump();  // _exit runs no exit handlers, and so writes no coverage counts
#endif
  ::_exit(static_cast<int>(exitCode & 0xFFu));
}

}  // namespace os
