#include <pthread.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

#include <new>

#include "platform/os.h"

namespace os {

// A critical section: the owning thread and its depth, and a lock word that
// only the outermost enter and leave touch. Uncontended, that is one atomic
// exchange each way; a waiter sleeps in the kernel (a futex on Linux, a
// mutex elsewhere). The atomic operations are the compiler's builtins:
// libstdc++'s C++20 <atomic> brings its waiting machinery, which is written
// for glibc, and this seam is compiled over musl as well.
namespace {
thread_local char threadTag;  // its address tells the threads apart
std::uintptr_t ThisThread() { return reinterpret_cast<std::uintptr_t>(&threadTag); }

struct PosixCriticalSection {
  int state;  // 0 free, 1 held, 2 held and waited for
  std::uintptr_t owner;
  unsigned depth;
#if !defined(__linux__)
  pthread_mutex_t mutex;
#endif
};

#if defined(__linux__)
// The futex operations, private to the process: the kernel's own numbers
// (FUTEX_WAIT and FUTEX_WAKE with FUTEX_PRIVATE_FLAG), which not every C
// library's headers carry.
constexpr int kFutexWaitPrivate = 0 | 128;
constexpr int kFutexWakePrivate = 1 | 128;

// Out of line: an enter that finds the lock free stays small enough to
// inline where it is called.
[[gnu::noinline, gnu::cold]] void WaitForLock(PosixCriticalSection* cs, int seen) {
  if (seen != 2) seen = __atomic_exchange_n(&cs->state, 2, __ATOMIC_ACQUIRE);
  while (seen != 0) {
    ::syscall(SYS_futex, &cs->state, kFutexWaitPrivate, 2, nullptr, nullptr, 0);
    seen = __atomic_exchange_n(&cs->state, 2, __ATOMIC_ACQUIRE);
  }
}
#endif
}  // namespace

static_assert(sizeof(PosixCriticalSection) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(PosixCriticalSection) <= alignof(CRITICAL_SECTION));
static_assert(__atomic_always_lock_free(sizeof(int), 0) && __atomic_always_lock_free(sizeof(std::uintptr_t), 0));

static PosixCriticalSection* SectionOf(CRITICAL_SECTION* lock) {
  return std::launder(reinterpret_cast<PosixCriticalSection*>(lock->opaque));
}

void InitializeCriticalSection(CRITICAL_SECTION* lock) {
  [[maybe_unused]] auto* cs = new (lock->opaque) PosixCriticalSection{};
#if !defined(__linux__)
  pthread_mutex_init(&cs->mutex, nullptr);
#endif
}

void EnterCriticalSection(CRITICAL_SECTION* lock) {
  PosixCriticalSection* cs = SectionOf(lock);
  std::uintptr_t self = ThisThread();
  // Only this thread can have made itself the owner.
  if (__atomic_load_n(&cs->owner, __ATOMIC_RELAXED) == self) {
    ++cs->depth;
    return;
  }
#if defined(__linux__)
  int seen = 0;
  if (!__atomic_compare_exchange_n(&cs->state, &seen, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
    WaitForLock(cs, seen);
#else
  pthread_mutex_lock(&cs->mutex);
#endif
  __atomic_store_n(&cs->owner, self, __ATOMIC_RELAXED);
  cs->depth = 1;
}

void LeaveCriticalSection(CRITICAL_SECTION* lock) {
  PosixCriticalSection* cs = SectionOf(lock);
  if (--cs->depth > 0) return;
  __atomic_store_n(&cs->owner, std::uintptr_t{0}, __ATOMIC_RELAXED);
#if defined(__linux__)
  if (__atomic_exchange_n(&cs->state, 0, __ATOMIC_RELEASE) == 2)
    ::syscall(SYS_futex, &cs->state, kFutexWakePrivate, 1, nullptr, nullptr, 0);
#else
  pthread_mutex_unlock(&cs->mutex);
#endif
}

void DeleteCriticalSection(CRITICAL_SECTION* lock) {
  [[maybe_unused]] PosixCriticalSection* cs = SectionOf(lock);
#if !defined(__linux__)
  pthread_mutex_destroy(&cs->mutex);
#endif
}

}  // namespace os
