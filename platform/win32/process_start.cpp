// The process start of a Win32 program that starts in the run-time itself:
// no C run-time runs before ProgramEntry or is linked at all. The linker
// makes VarnockProcessStart the image's entry point (platform/CMakeLists.txt).
//
// Such a program has no C++ run-time either, so no C++ exception can arise
// in it. Test programs that have one link platform/language_exceptions.cpp,
// where an uncaught C++ exception is handed to the exception report and
// ends the process with status 1.
#include "platform/os.h"
#include "platform/win32/command_line.h"

#if defined(__i386__)
// The system calls the entry point as a stdcall function of one argument
// with the stack aligned to 4 bytes only; it never returns, so the argument
// is never popped, and the stack is aligned here for all the code below.
extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void VarnockProcessStart() { varnock::ProgramEntry(); }
#elif defined(__x86_64__)
// 64-bit Windows keeps no list of exception registrations on the thread.
// The system finds each frame's handler in the image's unwind data (.pdata
// names a function's code and its .xdata, which may name a handler), walks
// the frames outwards from the fault, and asks the handler of each. The
// outermost frame of the program is VarnockProcessStart's: its handler,
// VarnockFrameHandler, is asked about every exception that nothing below
// it has dealt with, and passes it to the record that ProgramEntry
// registered (exceptions.cpp), as the 32-bit system asks the record at the
// head of its list. Until one is registered it leaves the exception alone.
// Only the assembly below names it, so it is marked used, or a link-time
// optimised build would drop it.
extern "C" [[gnu::used]] os::EXCEPTION_DISPOSITION VarnockFrameHandler(os::EXCEPTION_RECORD* record, void*,
                                                                       os::CONTEXT* context, void* dispatcherContext) {
  os::EXCEPTION_REGISTRATION_RECORD* registration = os::RegisteredExceptionHandler();
  if (!registration || !registration->Handler) return os::ExceptionContinueSearch;
  return registration->Handler(record, registration, context, dispatcherContext);
}

// No compiler attribute gives a function an exception handler of its own,
// so the entry point is written out with the assembler's unwind directives.
// The system calls it as an ordinary function, the stack pointer 8 bytes
// past a multiple of 16; taking 40 bytes leaves it aligned for the call,
// with the 32 bytes of room every callee may spill its register arguments
// to. The int3 after the call that never returns keeps the return address
// inside this function's unwind data. _ZN7varnock12ProgramEntryEv is
// varnock::ProgramEntry(). A link-time optimised link chooses the library
// members it needs by the references the compiler saw, and it never sees
// the assembly's: this table of one is the reference that brings
// ProgramEntry's in.
[[gnu::used]] void* const kCalledFromAssembly[] = {reinterpret_cast<void*>(&varnock::ProgramEntry)};
asm(R"(
        .text
        .globl  VarnockProcessStart
        .def    VarnockProcessStart; .scl 2; .type 32; .endef
        .seh_proc VarnockProcessStart
VarnockProcessStart:
        .seh_handler VarnockFrameHandler, @unwind, @except
        subq    $40, %rsp
        .seh_stackalloc 40
        .seh_endprologue
        call    _ZN7varnock12ProgramEntryEv
        int3
        .seh_endproc
)");
#else
#error "a Windows process start for 32-bit x86 or x86-64 only"
#endif

// Only now: <windows.h> makes macros of names the seam declares.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace os {

namespace {
char* noArguments[1] = {nullptr};
}

// The C run-time's heap is not there: one block from the system holds the
// vector and the strings after it, sized by a first pass over the line.
// ProgramEntry asks once; the block lives as long as the process. The
// system keeps a command line below 32 KiB, so the count fits. Should the
// block not be had, the program gets no arguments at all, which the game
// does not mind.
ProcessArguments GetProcessArguments() {
  const char* line = ::GetCommandLineA();
  if (!line) line = "";
  CommandLineSize size = SplitCommandLine(line, nullptr, nullptr);
  std::size_t pointers = (size.count + 1) * sizeof(char*);
  void* block = ::GlobalAlloc(GMEM_FIXED, pointers + size.characters);
  if (!block) return {0, noArguments};
  char** vector = static_cast<char**>(block);
  SplitCommandLine(line, vector, static_cast<char*>(block) + pointers);
  return {static_cast<std::int32_t>(size.count), vector};
}

}  // namespace os
