// GetLastError's code belongs to each implementation of the seam; what the
// implementations share (heap_memory.cpp) sets it through here.
#pragma once

#include "platform/os.h"

namespace os {
void SetLastError(DWORD code);
}  // namespace os
