#include "platform/win32/system.h"

namespace os {
void* GlobalAlloc(UINT flags, std::size_t bytes) { return ::GlobalAlloc(flags, bytes); }

void* GlobalFree(void* block) { return ::GlobalFree(block); }
}  // namespace os
