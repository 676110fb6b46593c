// Linked only into programs built with C++ exceptions and the C++ run-time
// (test programs). The product is built without both, so no language
// exception can arise in it and this path does not exist there.
//
// An exception that nothing catches ends in std::terminate. Here it goes to
// the registered handler as the code a Windows C++ exception carries; the
// handler's abnormal end stops the process with status 1. Should it return,
// the process aborts as std::terminate would have.
#include <cstdlib>
#include <exception>

#include "platform/os.h"

namespace {

[[noreturn]] void ReportToRegisteredHandler() {
  os::EXCEPTION_RECORD record{os::EXCEPTION_LANGUAGE, 0};
  if (os::EXCEPTION_REGISTRATION_RECORD* r = os::RegisteredExceptionHandler(); r && r->Handler)
    r->Handler(&record, r, nullptr, nullptr);
  std::abort();
}

const std::terminate_handler previous = std::set_terminate(ReportToRegisteredHandler);

}  // namespace
