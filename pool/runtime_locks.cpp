#include "pool/runtime_locks.h"

namespace varnock {
os::CRITICAL_SECTION RuntimeLocks[kRuntimeLockCount];
}
