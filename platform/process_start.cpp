// The process start where the C run-time starts the process (POSIX, and
// Win32 test programs that need the C++ run-time): its start-up has split
// the command line into argc and argv; keep them for GetProcessArguments
// and hand over to the run-time's entry point. Nothing else of the C
// run-time is used: the console is read and written through the standard
// handles alone.
#include "platform/os.h"

namespace os {
namespace {
ProcessArguments arguments{0, nullptr};
}
ProcessArguments GetProcessArguments() { return arguments; }
}  // namespace os

int main(int argc, char** argv) {
  os::arguments = {argc, argv};
  varnock::ProgramEntry();
}
