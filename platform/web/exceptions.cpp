#include <emscripten/emscripten.h>

#include "platform/os.h"

namespace os {

// What the page knows of a trap: where in the module's code it happened.
struct CONTEXT {
  std::uint32_t codeOffset;
};

namespace {
EXCEPTION_REGISTRATION_RECORD* registration = nullptr;
}  // namespace

std::uintptr_t ContextInstructionPointer(const CONTEXT* context) { return context ? context->codeOffset : 0; }

void RegisterExceptionHandler(EXCEPTION_REGISTRATION_RECORD* record) {
  record->Next = registration;
  registration = record;
}

EXCEPTION_REGISTRATION_RECORD* RegisteredExceptionHandler() { return registration; }

}  // namespace os

// The system's dispatch of an exception, which the page starts when the
// program has trapped: the trapped code's frames are gone, so the handler is
// asked once and the search cannot resume anything. Then the default
// handling, as for any unhandled exception: the process ends with the code.
extern "C" EMSCRIPTEN_KEEPALIVE void varnock_raise_exception(os::DWORD code, os::DWORD codeOffset) {
  os::EXCEPTION_RECORD record{code, 0};
  os::CONTEXT context{codeOffset};
  if (os::EXCEPTION_REGISTRATION_RECORD* r = os::registration; r && r->Handler)
    r->Handler(&record, r, &context, nullptr);
  os::ExitProcess(code);
}
