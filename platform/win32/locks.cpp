#include <new>

#include "platform/win32/system.h"

namespace os {

// The system's critical section lives in the seam's opaque storage.
static_assert(sizeof(::CRITICAL_SECTION) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(::CRITICAL_SECTION) <= alignof(CRITICAL_SECTION));

static ::CRITICAL_SECTION* NativeLock(CRITICAL_SECTION* lock) {
  return std::launder(reinterpret_cast<::CRITICAL_SECTION*>(lock->opaque));
}

void InitializeCriticalSection(CRITICAL_SECTION* lock) {
  ::InitializeCriticalSection(new (lock->opaque)::CRITICAL_SECTION);
}
void EnterCriticalSection(CRITICAL_SECTION* lock) { ::EnterCriticalSection(NativeLock(lock)); }
void LeaveCriticalSection(CRITICAL_SECTION* lock) { ::LeaveCriticalSection(NativeLock(lock)); }
void DeleteCriticalSection(CRITICAL_SECTION* lock) { ::DeleteCriticalSection(NativeLock(lock)); }

}  // namespace os
