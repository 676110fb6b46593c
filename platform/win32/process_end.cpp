#include "platform/win32/system.h"

namespace os {
void ExitProcess(UINT exitCode) { ::ExitProcess(exitCode); }
}  // namespace os
