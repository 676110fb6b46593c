// The seam over the real API, for 32-bit x86 Windows.
//
// Every call goes straight to the system. The seam's types are fixed-width
// (its DWORD is 32 bits on every compiler) while <windows.h> has its own
// (DWORD is unsigned long), so counts, positions and records are converted
// at the boundary. Handles, BOOLs, error codes and constants pass through
// unchanged; the constants are checked below to be the system's own.
#include "platform/os.h"

#include <cstddef>
#include <cstdlib>
#include <new>

#if !defined(__i386__)
#error "exception registrations are linked through fs:[0], which only 32-bit x86 has"
#endif

// <windows.h> makes macros of the very names the seam declares, so the
// seam's values are taken here, before it is included, and compared with
// the system's afterwards.
#define VARNOCK_SHARED_CONSTANTS(X)                                                                  \
  X(STD_INPUT_HANDLE) X(STD_OUTPUT_HANDLE) X(STD_ERROR_HANDLE)                                       \
  X(FILE_TYPE_UNKNOWN) X(FILE_TYPE_DISK) X(FILE_TYPE_CHAR) X(FILE_TYPE_PIPE)                         \
  X(FILE_BEGIN) X(FILE_CURRENT) X(FILE_END) X(INVALID_SET_FILE_POINTER)                              \
  X(GENERIC_READ) X(GENERIC_WRITE) X(FILE_SHARE_READ) X(FILE_SHARE_WRITE) X(OPEN_EXISTING)           \
  X(GMEM_FIXED) X(MB_TASKMODAL)                                                                      \
  X(ERROR_SUCCESS) X(ERROR_INVALID_FUNCTION) X(ERROR_FILE_NOT_FOUND) X(ERROR_PATH_NOT_FOUND) X(ERROR_ACCESS_DENIED)            \
  X(ERROR_INVALID_HANDLE) X(ERROR_NOT_ENOUGH_MEMORY) X(ERROR_WRITE_FAULT) X(ERROR_READ_FAULT)        \
  X(ERROR_HANDLE_EOF) X(ERROR_NOT_SUPPORTED) X(ERROR_INVALID_PARAMETER) X(ERROR_BROKEN_PIPE)         \
  X(ERROR_DISK_FULL) X(ERROR_NEGATIVE_SEEK) X(ERROR_SEEK_ON_DEVICE) X(ERROR_NO_DATA)                 \
  X(ERROR_OPERATION_ABORTED) X(ERROR_GEN_FAILURE)                                                    \
  X(EXCEPTION_UNWINDING) X(EXCEPTION_EXIT_UNWIND) X(EXCEPTION_TARGET_UNWIND)                         \
  X(EXCEPTION_COLLIDED_UNWIND) X(EXCEPTION_ACCESS_VIOLATION) X(EXCEPTION_IN_PAGE_ERROR)              \
  X(EXCEPTION_ILLEGAL_INSTRUCTION) X(EXCEPTION_FLT_DENORMAL_OPERAND) X(EXCEPTION_FLT_DIVIDE_BY_ZERO) \
  X(EXCEPTION_FLT_INEXACT_RESULT) X(EXCEPTION_FLT_INVALID_OPERATION) X(EXCEPTION_FLT_OVERFLOW)       \
  X(EXCEPTION_FLT_STACK_CHECK) X(EXCEPTION_FLT_UNDERFLOW) X(EXCEPTION_INT_DIVIDE_BY_ZERO)            \
  X(EXCEPTION_INT_OVERFLOW) X(EXCEPTION_PRIV_INSTRUCTION) X(EXCEPTION_STACK_OVERFLOW)                \
  X(EXCEPTION_DATATYPE_MISALIGNMENT) X(ExceptionContinueSearch) X(ExceptionContinueExecution)

namespace seam {
#define VARNOCK_TAKE(name) constexpr unsigned long name##_ = os::name;
VARNOCK_SHARED_CONSTANTS(VARNOCK_TAKE)
#undef VARNOCK_TAKE
}  // namespace seam

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#define VARNOCK_SAME(name) static_assert(seam::name##_ == static_cast<unsigned long>(name), #name);
VARNOCK_SHARED_CONSTANTS(VARNOCK_SAME)
#undef VARNOCK_SAME
#undef VARNOCK_SHARED_CONSTANTS

// The seam's records are the leading members of the system's, so the
// system's can be read through them and the seam's linked into its lists.
static_assert(offsetof(os::EXCEPTION_RECORD, ExceptionCode) == offsetof(::EXCEPTION_RECORD, ExceptionCode));
static_assert(offsetof(os::EXCEPTION_RECORD, ExceptionFlags) == offsetof(::EXCEPTION_RECORD, ExceptionFlags));
static_assert(sizeof(os::EXCEPTION_REGISTRATION_RECORD) == sizeof(::EXCEPTION_REGISTRATION_RECORD));
static_assert(offsetof(os::EXCEPTION_REGISTRATION_RECORD, Next) == offsetof(::EXCEPTION_REGISTRATION_RECORD, Next));
static_assert(offsetof(os::EXCEPTION_REGISTRATION_RECORD, Handler) ==
              offsetof(::EXCEPTION_REGISTRATION_RECORD, Handler));
static_assert(sizeof(os::SECURITY_ATTRIBUTES) == sizeof(::SECURITY_ATTRIBUTES));
static_assert(sizeof(os::DWORD) == sizeof(::DWORD) && sizeof(os::LONG) == sizeof(::LONG));

namespace os {

HANDLE GetStdHandle(DWORD which) { return ::GetStdHandle(static_cast<::DWORD>(which)); }

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
  ::DWORD n = 0;
  BOOL ok = ::ReadFile(file, buffer, static_cast<::DWORD>(toRead), read ? &n : nullptr,
                       static_cast<::OVERLAPPED*>(overlapped));
  if (read) *read = static_cast<DWORD>(n);
  return ok;
}

BOOL WriteFile(HANDLE file, const void* data, DWORD toWrite, DWORD* written, void* overlapped) {
  ::DWORD n = 0;
  BOOL ok = ::WriteFile(file, data, static_cast<::DWORD>(toWrite), written ? &n : nullptr,
                        static_cast<::OVERLAPPED*>(overlapped));
  if (written) *written = static_cast<DWORD>(n);
  return ok;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  ::LONG high = distanceHigh ? static_cast<::LONG>(*distanceHigh) : 0;
  ::DWORD at = ::SetFilePointer(file, static_cast<::LONG>(distance), distanceHigh ? &high : nullptr,
                                static_cast<::DWORD>(method));
  if (distanceHigh) *distanceHigh = static_cast<LONG>(high);
  return static_cast<DWORD>(at);
}

BOOL CloseHandle(HANDLE object) { return ::CloseHandle(object); }

DWORD GetLastError() { return static_cast<DWORD>(::GetLastError()); }

DWORD GetFileType(HANDLE file) { return static_cast<DWORD>(::GetFileType(file)); }

BOOL PeekNamedPipe(HANDLE pipe, void* buffer, DWORD size, DWORD* read, DWORD* totalAvailable,
                   DWORD* leftThisMessage) {
  ::DWORD got = 0, total = 0, left = 0;
  BOOL ok = ::PeekNamedPipe(pipe, buffer, static_cast<::DWORD>(size), &got, &total, &left);
  if (read) *read = static_cast<DWORD>(got);
  if (totalAvailable) *totalAvailable = static_cast<DWORD>(total);
  if (leftThisMessage) *leftThisMessage = static_cast<DWORD>(left);
  return ok;
}

HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile) {
  ::SECURITY_ATTRIBUTES native{};
  if (security) {
    native.nLength = static_cast<::DWORD>(security->nLength);
    native.lpSecurityDescriptor = security->lpSecurityDescriptor;
    native.bInheritHandle = security->bInheritHandle;
  }
  return ::CreateFileA(name, static_cast<::DWORD>(access), static_cast<::DWORD>(shareMode),
                       security ? &native : nullptr, static_cast<::DWORD>(disposition),
                       static_cast<::DWORD>(flagsAndAttributes), templateFile);
}

// The system's critical section lives in the seam's opaque storage.
static_assert(sizeof(::CRITICAL_SECTION) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(::CRITICAL_SECTION) <= alignof(CRITICAL_SECTION));

static ::CRITICAL_SECTION* NativeLock(CRITICAL_SECTION* lock) {
  return std::launder(reinterpret_cast<::CRITICAL_SECTION*>(lock->opaque));
}

void InitializeCriticalSection(CRITICAL_SECTION* lock) {
  ::InitializeCriticalSection(new (lock->opaque)::CRITICAL_SECTION);
}
void EnterCriticalSection(CRITICAL_SECTION* lock) { ::EnterCriticalSection(NativeLock(lock)); }
void LeaveCriticalSection(CRITICAL_SECTION* lock) { ::LeaveCriticalSection(NativeLock(lock)); }
void DeleteCriticalSection(CRITICAL_SECTION* lock) { ::DeleteCriticalSection(NativeLock(lock)); }

void ExitProcess(UINT exitCode) { ::ExitProcess(exitCode); }

void* GlobalAlloc(UINT flags, std::size_t bytes) { return ::GlobalAlloc(flags, bytes); }

void* GlobalFree(void* block) { return ::GlobalFree(block); }

int MessageBoxA(HANDLE owner, const char* text, const char* caption, UINT type) {
  return ::MessageBoxA(static_cast<::HWND>(owner), text, caption, type);
}

std::uintptr_t ContextInstructionPointer(const CONTEXT* context) {
  if (!context) return 0;  // an uncaught C++ exception comes without one
  return static_cast<std::uintptr_t>(reinterpret_cast<const ::CONTEXT*>(context)->Eip);
}

namespace {
// The record ProgramEntry registered: the first the system asks about an
// exception.
EXCEPTION_REGISTRATION_RECORD* registration = nullptr;
}  // namespace

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

EXCEPTION_REGISTRATION_RECORD* RegisteredExceptionHandler() { return registration; }

}  // namespace os
