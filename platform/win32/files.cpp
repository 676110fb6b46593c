// Handles and files over the real API, for Windows on x86 and x86-64.
//
// Every call of the seam goes straight to the system. The seam's types are
// fixed-width (its DWORD is 32 bits on every compiler) while <windows.h>
// has its own (DWORD is unsigned long), so counts, positions and records
// are converted at the boundary. Handles, BOOLs, error codes and constants
// pass through unchanged; all the seam's constants are checked here to be
// the system's own.
#include "platform/os.h"

// <windows.h> makes macros of the very names the seam declares, so the
// seam's values are taken here, before it is included, and compared with
// the system's afterwards.
// A list, laid out as one: clang-format would indent each line deeper.
// clang-format off
#define VARNOCK_SHARED_CONSTANTS(X)                                                                \
  X(STD_INPUT_HANDLE) X(STD_OUTPUT_HANDLE) X(STD_ERROR_HANDLE) X(FILE_TYPE_UNKNOWN)                \
  X(FILE_TYPE_DISK) X(FILE_TYPE_CHAR) X(FILE_TYPE_PIPE) X(FILE_BEGIN) X(FILE_CURRENT) X(FILE_END)  \
  X(INVALID_SET_FILE_POINTER) X(GENERIC_READ) X(GENERIC_WRITE) X(FILE_SHARE_READ)                  \
  X(FILE_SHARE_WRITE) X(CREATE_NEW) X(CREATE_ALWAYS) X(OPEN_EXISTING) X(OPEN_ALWAYS)               \
  X(TRUNCATE_EXISTING) X(GMEM_FIXED) X(GMEM_ZEROINIT) X(MB_TASKMODAL) X(ERROR_SUCCESS)             \
  X(ERROR_INVALID_FUNCTION) X(ERROR_FILE_NOT_FOUND) X(ERROR_PATH_NOT_FOUND)                        \
  X(ERROR_ACCESS_DENIED) X(ERROR_INVALID_HANDLE) X(ERROR_NOT_ENOUGH_MEMORY) X(ERROR_WRITE_FAULT)   \
  X(ERROR_READ_FAULT) X(ERROR_HANDLE_EOF) X(ERROR_NOT_SUPPORTED) X(ERROR_INVALID_PARAMETER)        \
  X(ERROR_BROKEN_PIPE) X(ERROR_DISK_FULL) X(ERROR_NEGATIVE_SEEK) X(ERROR_SEEK_ON_DEVICE)           \
  X(ERROR_NO_DATA) X(ERROR_OPERATION_ABORTED) X(ERROR_GEN_FAILURE) X(EXCEPTION_UNWINDING)          \
  X(EXCEPTION_EXIT_UNWIND) X(EXCEPTION_TARGET_UNWIND) X(EXCEPTION_COLLIDED_UNWIND)                 \
  X(EXCEPTION_ACCESS_VIOLATION) X(EXCEPTION_IN_PAGE_ERROR) X(EXCEPTION_ILLEGAL_INSTRUCTION)        \
  X(EXCEPTION_FLT_DENORMAL_OPERAND) X(EXCEPTION_FLT_DIVIDE_BY_ZERO)                                \
  X(EXCEPTION_FLT_INEXACT_RESULT) X(EXCEPTION_FLT_INVALID_OPERATION) X(EXCEPTION_FLT_OVERFLOW)     \
  X(EXCEPTION_FLT_STACK_CHECK) X(EXCEPTION_FLT_UNDERFLOW) X(EXCEPTION_INT_DIVIDE_BY_ZERO)          \
  X(EXCEPTION_INT_OVERFLOW) X(EXCEPTION_PRIV_INSTRUCTION) X(EXCEPTION_STACK_OVERFLOW)              \
  X(EXCEPTION_DATATYPE_MISALIGNMENT) X(EXCEPTION_BREAKPOINT) X(ExceptionContinueSearch)            \
  X(ExceptionContinueExecution)
// clang-format on

namespace seam {
#define VARNOCK_TAKE(name) constexpr unsigned long name##_ = os::name;
VARNOCK_SHARED_CONSTANTS(VARNOCK_TAKE)
#undef VARNOCK_TAKE
}  // namespace seam

#include "platform/win32/system.h"

#define VARNOCK_SAME(name) static_assert(seam::name##_ == static_cast<unsigned long>(name), #name);
VARNOCK_SHARED_CONSTANTS(VARNOCK_SAME)
#undef VARNOCK_SAME
#undef VARNOCK_SHARED_CONSTANTS

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

BOOL PeekNamedPipe(HANDLE pipe, void* buffer, DWORD size, DWORD* read, DWORD* totalAvailable, DWORD* leftThisMessage) {
  ::DWORD got = 0, total = 0, left = 0;
  BOOL ok = ::PeekNamedPipe(pipe, buffer, static_cast<::DWORD>(size), &got, &total, &left);
  if (read) *read = static_cast<DWORD>(got);
  if (totalAvailable) *totalAvailable = static_cast<DWORD>(total);
  if (leftThisMessage) *leftThisMessage = static_cast<DWORD>(left);
  return ok;
}

HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  ::SECURITY_ATTRIBUTES native{};
  if (security) {
#if defined(__x86_64__)
    // The run-time gives the length of the record as 32-bit Windows lays it
    // out (12 bytes); the system gets its own record, so its own length.
    native.nLength = sizeof native;
#else
    native.nLength = static_cast<::DWORD>(security->nLength);
#endif
    native.lpSecurityDescriptor = security->lpSecurityDescriptor;
    native.bInheritHandle = security->bInheritHandle;
  }
  return ::CreateFileA(name, static_cast<::DWORD>(access), static_cast<::DWORD>(shareMode),
                       security ? &native : nullptr, static_cast<::DWORD>(disposition),
                       static_cast<::DWORD>(flagsAndAttributes), templateFile);
}

}  // namespace os
