// What the files of the POSIX seam share.
#pragma once

#include "platform/os.h"

namespace os {
// A reader that has gone away must make WriteFile fail, not kill the process.
void IgnoreBrokenPipes();
}  // namespace os
