#include "platform/os.h"
#include "pool/runtime_locks.h"
#include "runtime/runtime.h"
#include "stream/handle.h"

namespace varnock {

// The 64-bit Windows entry point calls it from assembly alone, which a
// link-time optimiser does not read: used, it keeps its code and its name.
[[gnu::used]] void ProgramEntry() {
  // The report covers everything from here on: start-up, the game, shutdown.
  // The record stays in this frame, which is never left.
  os::EXCEPTION_REGISTRATION_RECORD registration{nullptr, ReportUnhandledException};
  os::RegisterExceptionHandler(&registration);
  // Every allocation takes lock 1, so the locks come before the first one.
  for (os::CRITICAL_SECTION& lock : RuntimeLocks) os::InitializeCriticalSection(&lock);
  InstallStandardHandles();
  os::ProcessArguments arguments = os::GetProcessArguments();
  ExitProgram(Game(arguments.count, arguments.vector));
}

}  // namespace varnock
