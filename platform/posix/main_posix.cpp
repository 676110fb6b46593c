// The process start: keeps the command line for GetProcessArguments and
// hands over to the run-time's entry point.
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
