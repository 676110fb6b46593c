#include "platform/os.h"

// The page's side, in os_web.js: it ends the instance's run with the status.
extern "C" [[noreturn]] void varnock_exit(os::UINT status);

namespace os {
void ExitProcess(UINT exitCode) { varnock_exit(exitCode); }
}  // namespace os
