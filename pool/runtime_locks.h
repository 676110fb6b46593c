// The run-time's five locks, known by index. Start-up creates them in index
// order before anything can take one; the process end deletes them last.
// Where two are held at once, lock 0 or lock 2 is taken first and lock 1
// inside it.
#pragma once

#include "platform/os.h"

namespace varnock {

enum RuntimeLock : unsigned {
  kExitLock = 0,        // held across the console pause
  kPoolLock = 1,        // the memory pool
  kStreamListLock = 2,  // the stream table while every stream is closed
  kRuntimeLockCount = 5,
};

extern os::CRITICAL_SECTION RuntimeLocks[kRuntimeLockCount];

inline void TakeLock(RuntimeLock which) { os::EnterCriticalSection(&RuntimeLocks[which]); }
inline void ReleaseLock(RuntimeLock which) { os::LeaveCriticalSection(&RuntimeLocks[which]); }

}  // namespace varnock
