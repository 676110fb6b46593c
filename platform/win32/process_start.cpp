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

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The system calls the entry point as a stdcall function of one argument
// with the stack aligned to 4 bytes only; it never returns, so the argument
// is never popped, and the stack is aligned here for all the code below.
extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void VarnockProcessStart() {
  varnock::ProgramEntry();
}

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
