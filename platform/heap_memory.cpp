// GlobalAlloc and GlobalFree over the C heap, for the systems whose seam
// has one (posix, web).
#include <cstdlib>

#include "platform/last_error.h"

namespace os {

void* GlobalAlloc(UINT flags, std::size_t bytes) {
  std::size_t size = bytes ? bytes : 1;
  void* p = (flags & GMEM_ZEROINIT) ? std::calloc(1, size) : std::malloc(size);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

void* GlobalFree(void* block) {
  std::free(block);
  return nullptr;
}

}  // namespace os
