// The operating-system seam.
//
// Everything above this folder talks to the operating system through these
// declarations and nothing else. They keep the Win32 names, types and
// meanings (handles, DWORD counts, BOOL results, GetLastError codes), so the
// layers above read like the console program they are. Exactly one
// implementation is linked into each executable:
//   platform/posix  - Linux and macOS, handles over file descriptors;
//   platform/win32  - the real API;
//   platform/web    - WebAssembly in a page, whose console is a terminal;
//   platform/fake   - a recording test double with fault injection;
//   platform/wrapper - a test double over platform/posix that can fail any
//                      call.
// Each system's folder keeps a file per concept: files.cpp (handles and
// files), locks.cpp, memory.cpp, process_end.cpp, message_box.cpp and
// exceptions.cpp, and process_start.cpp where the system's start needs
// more (win32, posix); posix and web share heap_memory.cpp. No caller uses
// #ifdef to choose.
//
// An include guard rather than #pragma once: platform/wrapper reads this
// file a second time under another namespace name, as the declarations of
// the real POSIX seam it wraps (platform/wrapper/posix_os.h).
#ifndef VARNOCK_PLATFORM_OS_H
#define VARNOCK_PLATFORM_OS_H

#include <cstddef>
#include <cstdint>

namespace os {

using BOOL = int;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using HANDLE = void*;

constexpr BOOL kFalse = 0;
constexpr BOOL kTrue = 1;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// GetStdHandle selectors.
constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

// GetFileType results.
constexpr DWORD FILE_TYPE_UNKNOWN = 0;
constexpr DWORD FILE_TYPE_DISK = 1;
constexpr DWORD FILE_TYPE_CHAR = 2;
constexpr DWORD FILE_TYPE_PIPE = 3;

// SetFilePointer methods and failure value.
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;

// CreateFileA arguments.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

// GlobalAlloc flags.
constexpr UINT GMEM_FIXED = 0x0;
constexpr UINT GMEM_ZEROINIT = 0x40;

// MessageBoxA styles.
constexpr UINT MB_TASKMODAL = 0x2000;

// Error codes (GetLastError).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_BROKEN_PIPE = 109;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_SEEK_ON_DEVICE = 132;
constexpr DWORD ERROR_NO_DATA = 232;
constexpr DWORD ERROR_OPERATION_ABORTED = 995;
constexpr DWORD ERROR_GEN_FAILURE = 31;

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  void* lpSecurityDescriptor;
  BOOL bInheritHandle;
};

// Room for the native lock of every implementation; each one checks at
// compile time that its own lock fits.
struct CRITICAL_SECTION {
  alignas(16) unsigned char opaque[64];
};

// Handle I/O.
HANDLE GetStdHandle(DWORD which);
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, const void* data, DWORD toWrite, DWORD* written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
BOOL CloseHandle(HANDLE object);
DWORD GetLastError();
DWORD GetFileType(HANDLE file);
// Bytes waiting in a pipe, without taking them or waiting for them; fails
// on anything that is not a pipe.
BOOL PeekNamedPipe(HANDLE pipe, void* buffer, DWORD size, DWORD* read, DWORD* totalAvailable, DWORD* leftThisMessage);
HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

// SetFilePointer's rules on 32-bit positions, which every implementation
// keeps and callers rely on. Without a high part the distance is the low
// part alone, signed, and the new position must fit in 32 bits; with one,
// the two are a signed 64-bit distance. A move that fails leaves the
// pointer where it was.
constexpr std::int64_t MoveDistance(LONG distance, const LONG* distanceHigh) {
  if (!distanceHigh) return distance;
  auto high = static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh));
  return static_cast<std::int64_t>(high << 32 | static_cast<std::uint32_t>(distance));
}
// The code a move to `target` fails with, or ERROR_SUCCESS.
constexpr DWORD RefusedMove(std::int64_t target, const LONG* distanceHigh) {
  if (target < 0) return ERROR_NEGATIVE_SEEK;
  return !distanceHigh && target > 0xFFFFFFFFll ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}
// What SetFilePointer returns for a move that reached `position`: its low
// part, the high part stored where it is asked for. A low part of
// 0xFFFFFFFF is a position as well as the failure value: there `lastError`
// becomes ERROR_SUCCESS, which is how MoveFailed tells the two apart.
inline DWORD MovedTo(std::uint64_t position, LONG* distanceHigh, DWORD* lastError) {
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<std::uint32_t>(position >> 32));
  if (static_cast<DWORD>(position) == INVALID_SET_FILE_POINTER) *lastError = ERROR_SUCCESS;
  return static_cast<DWORD>(position);
}
// Whether the SetFilePointer just called failed.
inline bool MoveFailed(DWORD result) { return result == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS; }

// Critical sections; the owning thread may enter again.
void InitializeCriticalSection(CRITICAL_SECTION* lock);
void EnterCriticalSection(CRITICAL_SECTION* lock);
void LeaveCriticalSection(CRITICAL_SECTION* lock);
void DeleteCriticalSection(CRITICAL_SECTION* lock);

// Process end: the status as given, -1 being 0xFFFFFFFF.
[[noreturn]] void ExitProcess(UINT exitCode);

// Large blocks for the memory pool.
void* GlobalAlloc(UINT flags, std::size_t bytes);
void* GlobalFree(void* block);  // null on success, like Win32

int MessageBoxA(HANDLE owner, const char* text, const char* caption, UINT type);

// Structured exception handling, frame-based.
constexpr DWORD EXCEPTION_UNWINDING = 0x2;
constexpr DWORD EXCEPTION_EXIT_UNWIND = 0x4;
constexpr DWORD EXCEPTION_TARGET_UNWIND = 0x20;
constexpr DWORD EXCEPTION_COLLIDED_UNWIND = 0x40;

constexpr DWORD EXCEPTION_ACCESS_VIOLATION = 0xC0000005u;
constexpr DWORD EXCEPTION_IN_PAGE_ERROR = 0xC0000006u;
constexpr DWORD EXCEPTION_ILLEGAL_INSTRUCTION = 0xC000001Du;
constexpr DWORD EXCEPTION_FLT_DENORMAL_OPERAND = 0xC000008Du;
constexpr DWORD EXCEPTION_FLT_DIVIDE_BY_ZERO = 0xC000008Eu;
constexpr DWORD EXCEPTION_FLT_INEXACT_RESULT = 0xC000008Fu;
constexpr DWORD EXCEPTION_FLT_INVALID_OPERATION = 0xC0000090u;
constexpr DWORD EXCEPTION_FLT_OVERFLOW = 0xC0000091u;
constexpr DWORD EXCEPTION_FLT_STACK_CHECK = 0xC0000092u;
constexpr DWORD EXCEPTION_FLT_UNDERFLOW = 0xC0000093u;
constexpr DWORD EXCEPTION_INT_DIVIDE_BY_ZERO = 0xC0000094u;
constexpr DWORD EXCEPTION_INT_OVERFLOW = 0xC0000095u;
constexpr DWORD EXCEPTION_PRIV_INSTRUCTION = 0xC0000096u;
constexpr DWORD EXCEPTION_STACK_OVERFLOW = 0xC00000FDu;
constexpr DWORD EXCEPTION_DATATYPE_MISALIGNMENT = 0x80000002u;
constexpr DWORD EXCEPTION_BREAKPOINT = 0x80000003u;
// What an uncaught C++ exception is reported as.
constexpr DWORD EXCEPTION_LANGUAGE = 0xE06D7363u;

enum EXCEPTION_DISPOSITION : int {
  ExceptionContinueExecution = 0,
  ExceptionContinueSearch = 1,
};

// The leading members of the system's exception record; only these are read.
struct EXCEPTION_RECORD {
  DWORD ExceptionCode;
  DWORD ExceptionFlags;
};

// The faulting thread's register context, as the system hands it over.
struct CONTEXT;
// The instruction pointer of a context: Eip on 32-bit x86, all its bits on a
// 64-bit machine.
std::uintptr_t ContextInstructionPointer(const CONTEXT* context);

using EXCEPTION_ROUTINE = EXCEPTION_DISPOSITION (*)(EXCEPTION_RECORD* record, void* establisherFrame, CONTEXT* context,
                                                    void* dispatcherContext);

struct EXCEPTION_REGISTRATION_RECORD {
  EXCEPTION_REGISTRATION_RECORD* Next;
  EXCEPTION_ROUTINE Handler;
};

// Links the record, which lives in the caller's stack frame, at the head of
// the calling thread's exception registrations. It covers processor faults.
// A handler that returns ExceptionContinueSearch leaves the exception to the
// system's default handling.
void RegisterExceptionHandler(EXCEPTION_REGISTRATION_RECORD* record);
// The record linked last, or null before the first.
EXCEPTION_REGISTRATION_RECORD* RegisteredExceptionHandler();

// The process's command line: the argument count, then count + 1 pointers to
// zero-terminated strings, the last one null.
struct ProcessArguments {
  std::int32_t count;
  char** vector;
};
ProcessArguments GetProcessArguments();

}  // namespace os

namespace varnock {
// The run-time's entry point; it never returns. A Win32 program's own entry
// point calls it (platform/win32/process_start.cpp); where the C run-time
// starts the process, main calls it (platform/process_start.cpp).
[[noreturn]] void ProgramEntry();
}  // namespace varnock

#endif  // VARNOCK_PLATFORM_OS_H
