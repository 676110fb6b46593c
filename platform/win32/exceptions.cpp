// Structured exceptions on the real system. 32-bit x86 Windows links
// frame-based registrations into a list per thread; 64-bit Windows finds
// handlers through each function's unwind data instead, and the process
// start's frame carries the one that leads to the registered record
// (process_start.cpp).
#include <cstddef>

#include "platform/win32/system.h"

// The seam's exception record is the leading members of the system's, so
// the system's can be read through it.
static_assert(offsetof(os::EXCEPTION_RECORD, ExceptionCode) == offsetof(::EXCEPTION_RECORD, ExceptionCode));
static_assert(offsetof(os::EXCEPTION_RECORD, ExceptionFlags) == offsetof(::EXCEPTION_RECORD, ExceptionFlags));
#if defined(__i386__)
// Its registration record is the system's, so it can be linked into the
// system's list.
static_assert(sizeof(os::EXCEPTION_REGISTRATION_RECORD) == sizeof(::EXCEPTION_REGISTRATION_RECORD));
static_assert(offsetof(os::EXCEPTION_REGISTRATION_RECORD, Next) == offsetof(::EXCEPTION_REGISTRATION_RECORD, Next));
static_assert(offsetof(os::EXCEPTION_REGISTRATION_RECORD, Handler) ==
              offsetof(::EXCEPTION_REGISTRATION_RECORD, Handler));
#elif !defined(__x86_64__)
#error "structured exceptions for 32-bit x86 or x86-64 only"
#endif

namespace os {

std::uintptr_t ContextInstructionPointer(const CONTEXT* context) {
  if (!context) return 0;  // an uncaught C++ exception comes without one
#if defined(__i386__)
  return static_cast<std::uintptr_t>(reinterpret_cast<const ::CONTEXT*>(context)->Eip);
#else
  return static_cast<std::uintptr_t>(reinterpret_cast<const ::CONTEXT*>(context)->Rip);
#endif
}

namespace {
// The record ProgramEntry registered: the first the system asks about an
// exception.
EXCEPTION_REGISTRATION_RECORD* registration = nullptr;
}  // namespace

#if defined(__i386__)
// The thread's registration list starts at fs:[0], the ExceptionList that
// leads its thread information block. The record is pushed at its head and
// stays there: it lives in the frame of ProgramEntry, which never returns.
// The system calls the handler through a stub that restores the stack
// pointer itself, so a cdecl handler serves as well as a stdcall one.
void RegisterExceptionHandler(EXCEPTION_REGISTRATION_RECORD* record) {
  static_assert(offsetof(::NT_TIB, ExceptionList) == 0);
  EXCEPTION_REGISTRATION_RECORD* head;
  __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
  record->Next = head;
  __asm__ __volatile__("movl %0, %%fs:0" : : "r"(record) : "memory");
  registration = record;
}
#else
// No list: the frame handler of the process start asks the record kept
// here. It lives in the frame of ProgramEntry, which never returns.
void RegisterExceptionHandler(EXCEPTION_REGISTRATION_RECORD* record) {
  record->Next = registration;
  registration = record;
}
#endif

EXCEPTION_REGISTRATION_RECORD* RegisteredExceptionHandler() { return registration; }

}  // namespace os
