#include <new>

#include "platform/os.h"

namespace os {

// One thread: a critical section is only its owner's depth of entries, and
// nothing can ever wait for one, not even while the program sleeps in a read.
namespace {
struct WebCriticalSection {
  unsigned depth;
};
WebCriticalSection* SectionOf(CRITICAL_SECTION* lock) {
  return std::launder(reinterpret_cast<WebCriticalSection*>(lock->opaque));
}
}  // namespace
static_assert(sizeof(WebCriticalSection) <= sizeof(CRITICAL_SECTION::opaque));

void InitializeCriticalSection(CRITICAL_SECTION* lock) { new (lock->opaque) WebCriticalSection{0}; }
void EnterCriticalSection(CRITICAL_SECTION* lock) { ++SectionOf(lock)->depth; }
void LeaveCriticalSection(CRITICAL_SECTION* lock) { --SectionOf(lock)->depth; }
void DeleteCriticalSection(CRITICAL_SECTION* lock) { SectionOf(lock)->~WebCriticalSection(); }

}  // namespace os
