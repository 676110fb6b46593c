// The process around the game: start-up, every way the process ends, the
// console pause and the report of an unhandled exception.
#pragma once

#include <cstdint>

#include "platform/os.h"

namespace varnock {

// The game the process plays, called once with the command line; defined by
// the program: the night itself (game/), or a test's stand-in. The night
// ignores the arguments and returns the status of its last WriteLn: 0, or -1
// when standard output has failed.
std::int32_t Game(std::int32_t argumentCount, char** argumentVector);

// Set only by AbortProgram: the process is ending abnormally.
extern std::uint32_t ProcessAborted;

// The normal end: the console pause when standard output is a character
// device, every stream flushed and closed, then EndProcess.
[[noreturn]] void ExitProgram(std::int32_t status);
// The final stage: the locks deleted, the process ended with the status.
[[noreturn]] void EndProcess(std::int32_t status);
// The abnormal end: no pause, no stream closing, status 1.
[[noreturn]] void AbortProgram();

// The main thread's frame-based exception handler.
os::EXCEPTION_DISPOSITION ReportUnhandledException(os::EXCEPTION_RECORD* record, void* establisherFrame,
                                                   os::CONTEXT* context, void* dispatcherContext);

// The texts the process ends with.
inline constexpr char kPausePrompt[] = "\n \n Press Enter to continue \n";
inline constexpr char kPauseError[] = "exit routine error GetLastError=%i \n";
inline constexpr char kExceptionTemplate[] = "Unhandled exception: %08x\nAt address:          %08x\n";
inline constexpr char kExceptionCaption[] = "Unhandled Exception";
// Flags that mark a handler call for an unwind rather than an exception.
inline constexpr os::DWORD kUnwindMask = os::EXCEPTION_UNWINDING | os::EXCEPTION_EXIT_UNWIND |
                                         os::EXCEPTION_TARGET_UNWIND | os::EXCEPTION_COLLIDED_UNWIND;
static_assert(kUnwindMask == 0x66);

}  // namespace varnock
