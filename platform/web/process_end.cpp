#include "platform/os.h"
#include "platform/web/imports.h"

// The page's side, in varnock.js: it ends the instance's run with the status.
extern "C" [[noreturn]] VARNOCK_IMPORT("exit") void varnock_exit(os::UINT status);

namespace os {
void ExitProcess(UINT exitCode) { varnock_exit(exitCode); }
}  // namespace os
