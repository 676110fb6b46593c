// The seam over POSIX: handles are file descriptors, errno becomes the
// Win32 error code a Windows program would see for the same failure.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <ucontext.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

#include <cstring>
#include <new>

#include "platform/os.h"

namespace os {
namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

int FdOf(HANDLE h) { return static_cast<int>(reinterpret_cast<std::intptr_t>(h)); }
HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd)); }

DWORD ErrorFromErrno(int e) {
  switch (e) {
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EPIPE: return ERROR_NO_DATA;  // the pipe is being closed
    case ESPIPE: return ERROR_SEEK_ON_DEVICE;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENXIO:
    case ENODEV: return ERROR_FILE_NOT_FOUND;
    case EINTR: return ERROR_OPERATION_ABORTED;
    case EIO: return ERROR_GEN_FAILURE;
    default: return ERROR_GEN_FAILURE;
  }
}

BOOL Fail(DWORD code) {
  lastError = code;
  return kFalse;
}

// A reader that has gone away must make WriteFile fail, not kill the process.
// Setting the disposition twice does no harm, so two threads that race here
// need nothing stronger than an atomic flag (and no run-time guard).
void IgnoreBrokenPipes() {
  static bool done = false;
  if (__atomic_load_n(&done, __ATOMIC_RELAXED)) return;
  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGPIPE, &sa, nullptr);
  __atomic_store_n(&done, true, __ATOMIC_RELAXED);
}

}  // namespace

HANDLE GetStdHandle(DWORD which) {
  switch (which) {
    case STD_INPUT_HANDLE: return HandleOf(0);
    case STD_OUTPUT_HANDLE: return HandleOf(1);
    case STD_ERROR_HANDLE: return HandleOf(2);
    default: lastError = ERROR_INVALID_PARAMETER; return INVALID_HANDLE_VALUE;
  }
}

namespace {
// A descriptor left non-blocking by whoever shares it says "try again"
// where a Windows handle would simply wait: wait for it here.
bool WaitAndRetry(int fd, short events) {
  if (errno == EINTR) return true;
  if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
  struct pollfd p {fd, events, 0};
  while (::poll(&p, 1, -1) < 0)
    if (errno != EINTR) return false;
  return true;
}
}  // namespace

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void*) {
  if (read) *read = 0;
  for (;;) {
    ssize_t n = ::read(FdOf(file), buffer, toRead);
    if (n >= 0) {
      if (read) *read = static_cast<DWORD>(n);
      return kTrue;
    }
    if (!WaitAndRetry(FdOf(file), POLLIN)) return Fail(ErrorFromErrno(errno));
  }
}

BOOL WriteFile(HANDLE file, const void* data, DWORD toWrite, DWORD* written, void*) {
  IgnoreBrokenPipes();
  // A blocking WriteFile completes the whole request or fails.
  const char* p = static_cast<const char*>(data);
  DWORD done = 0;
  if (written) *written = 0;
  while (done < toWrite) {
    ssize_t n = ::write(FdOf(file), p + done, toWrite - done);
    if (n < 0) {
      if (WaitAndRetry(FdOf(file), POLLOUT)) continue;
      if (written) *written = done;
      return Fail(ErrorFromErrno(errno));
    }
    if (n == 0) {
      if (written) *written = done;
      return Fail(ERROR_WRITE_FAULT);
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return kTrue;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  int fd = FdOf(file);
  // Terminals are not positionable on Windows; some kernels let lseek
  // succeed on them, so refuse here to behave the same everywhere.
  if (::isatty(fd)) {
    lastError = ERROR_INVALID_HANDLE;  // what a console handle gives
    return INVALID_SET_FILE_POINTER;
  }
  std::int64_t offset = distance;
  if (distanceHigh) {
    offset = static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh)) << 32) |
                                       static_cast<std::uint32_t>(distance));
  }
  // Where the move starts, found without moving.
  off_t base = 0;
  struct stat st;
  if (method == FILE_CURRENT) base = ::lseek(fd, 0, SEEK_CUR);
  if (method == FILE_END) base = ::fstat(fd, &st) == 0 ? st.st_size : -1;
  if (method > FILE_END || base < 0) {
    lastError = method > FILE_END ? ERROR_INVALID_PARAMETER : ErrorFromErrno(errno);
    return INVALID_SET_FILE_POINTER;
  }
  std::int64_t target = static_cast<std::int64_t>(base) + offset;
  // Without a high part the new position must fit in 32 bits, or the
  // pointer stays where it is.
  if (target < 0 || (!distanceHigh && target > 0xFFFFFFFFll)) {
    lastError = target < 0 ? ERROR_NEGATIVE_SEEK : ERROR_INVALID_PARAMETER;
    return INVALID_SET_FILE_POINTER;
  }
  if (::lseek(fd, static_cast<off_t>(target), SEEK_SET) < 0) {
    lastError = ErrorFromErrno(errno);
    return INVALID_SET_FILE_POINTER;
  }
  auto pos = static_cast<std::uint64_t>(target);
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<std::uint32_t>(pos >> 32));
  if (pos == INVALID_SET_FILE_POINTER) lastError = ERROR_SUCCESS;  // a real position, not a failure
  return static_cast<DWORD>(pos);
}

BOOL CloseHandle(HANDLE object) {
  if (::close(FdOf(object)) != 0 && errno != EINTR) return Fail(ErrorFromErrno(errno));
  return kTrue;
}

DWORD GetLastError() { return lastError; }

DWORD GetFileType(HANDLE file) {
  struct stat st;
  if (::fstat(FdOf(file), &st) != 0) {
    lastError = ErrorFromErrno(errno);
    return FILE_TYPE_UNKNOWN;
  }
  if (S_ISCHR(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode) || S_ISDIR(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  lastError = ERROR_SUCCESS;
  return FILE_TYPE_UNKNOWN;
}

BOOL PeekNamedPipe(HANDLE pipe, void* buffer, DWORD size, DWORD* read, DWORD* totalAvailable,
                   DWORD* leftThisMessage) {
  struct stat st;
  if (::fstat(FdOf(pipe), &st) != 0) return Fail(ErrorFromErrno(errno));
  if (!S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode)) return Fail(ERROR_INVALID_FUNCTION);
  int waiting = 0;
  if (::ioctl(FdOf(pipe), FIONREAD, &waiting) != 0) return Fail(ErrorFromErrno(errno));
  // Only the count is told: a pipe has no way to show its bytes and keep them.
  (void)buffer;
  (void)size;
  if (read) *read = 0;
  if (totalAvailable) *totalAvailable = static_cast<DWORD>(waiting);
  if (leftThisMessage) *leftThisMessage = 0;
  return kTrue;
}

HANDLE CreateFileA(const char* name, DWORD access, DWORD, SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD, HANDLE) {
  const char* path = name;
  int flags = O_NOCTTY;
  // The console's input and output devices are the controlling terminal.
  if (std::strcmp(name, "CONIN$") == 0 || std::strcmp(name, "CONOUT$") == 0) path = "/dev/tty";
  bool r = access & GENERIC_READ, w = access & GENERIC_WRITE;
  flags |= r && w ? O_RDWR : w ? O_WRONLY : O_RDONLY;
  switch (disposition) {
    case 1: flags |= O_CREAT | O_EXCL; break;   // CREATE_NEW
    case 2: flags |= O_CREAT | O_TRUNC; break;  // CREATE_ALWAYS
    case OPEN_EXISTING: break;
    case 4: flags |= O_CREAT; break;            // OPEN_ALWAYS
    case 5: flags |= O_TRUNC; break;            // TRUNCATE_EXISTING
    default: lastError = ERROR_INVALID_PARAMETER; return INVALID_HANDLE_VALUE;
  }
  if (!security || !security->bInheritHandle) flags |= O_CLOEXEC;
  int fd;
  do fd = ::open(path, flags, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    lastError = ErrorFromErrno(errno);
    return INVALID_HANDLE_VALUE;
  }
  return HandleOf(fd);
}

// A critical section: the owning thread and its depth, and a lock word that
// only the outermost enter and leave touch. Uncontended, that is one atomic
// exchange each way; a waiter sleeps in the kernel (a futex on Linux, a
// mutex elsewhere). The atomic operations are the compiler's builtins:
// libstdc++'s C++20 <atomic> brings its waiting machinery, which is written
// for glibc, and this seam is compiled over musl as well.
namespace {
thread_local char threadTag;  // its address tells the threads apart
std::uintptr_t ThisThread() { return reinterpret_cast<std::uintptr_t>(&threadTag); }

struct PosixCriticalSection {
  int state;  // 0 free, 1 held, 2 held and waited for
  std::uintptr_t owner;
  unsigned depth;
#if !defined(__linux__)
  pthread_mutex_t mutex;
#endif
};

#if defined(__linux__)
// The futex operations, private to the process: the kernel's own numbers
// (FUTEX_WAIT and FUTEX_WAKE with FUTEX_PRIVATE_FLAG), which not every C
// library's headers carry.
constexpr int kFutexWaitPrivate = 0 | 128;
constexpr int kFutexWakePrivate = 1 | 128;

// Out of line: an enter that finds the lock free stays small enough to
// inline where it is called.
[[gnu::noinline, gnu::cold]] void WaitForLock(PosixCriticalSection* cs, int seen) {
  if (seen != 2) seen = __atomic_exchange_n(&cs->state, 2, __ATOMIC_ACQUIRE);
  while (seen != 0) {
    ::syscall(SYS_futex, &cs->state, kFutexWaitPrivate, 2, nullptr, nullptr, 0);
    seen = __atomic_exchange_n(&cs->state, 2, __ATOMIC_ACQUIRE);
  }
}
#endif
}  // namespace

static_assert(sizeof(PosixCriticalSection) <= sizeof(CRITICAL_SECTION::opaque));
static_assert(alignof(PosixCriticalSection) <= alignof(CRITICAL_SECTION));
static_assert(__atomic_always_lock_free(sizeof(int), 0) && __atomic_always_lock_free(sizeof(std::uintptr_t), 0));

static PosixCriticalSection* SectionOf(CRITICAL_SECTION* lock) {
  return std::launder(reinterpret_cast<PosixCriticalSection*>(lock->opaque));
}

void InitializeCriticalSection(CRITICAL_SECTION* lock) {
  [[maybe_unused]] auto* cs = new (lock->opaque) PosixCriticalSection{};
#if !defined(__linux__)
  pthread_mutex_init(&cs->mutex, nullptr);
#endif
}

void EnterCriticalSection(CRITICAL_SECTION* lock) {
  PosixCriticalSection* cs = SectionOf(lock);
  std::uintptr_t self = ThisThread();
  // Only this thread can have made itself the owner.
  if (__atomic_load_n(&cs->owner, __ATOMIC_RELAXED) == self) {
    ++cs->depth;
    return;
  }
#if defined(__linux__)
  int seen = 0;
  if (!__atomic_compare_exchange_n(&cs->state, &seen, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
    WaitForLock(cs, seen);
#else
  pthread_mutex_lock(&cs->mutex);
#endif
  __atomic_store_n(&cs->owner, self, __ATOMIC_RELAXED);
  cs->depth = 1;
}

void LeaveCriticalSection(CRITICAL_SECTION* lock) {
  PosixCriticalSection* cs = SectionOf(lock);
  if (--cs->depth > 0) return;
  __atomic_store_n(&cs->owner, std::uintptr_t{0}, __ATOMIC_RELAXED);
#if defined(__linux__)
  if (__atomic_exchange_n(&cs->state, 0, __ATOMIC_RELEASE) == 2)
    ::syscall(SYS_futex, &cs->state, kFutexWakePrivate, 1, nullptr, nullptr, 0);
#else
  pthread_mutex_unlock(&cs->mutex);
#endif
}

void DeleteCriticalSection(CRITICAL_SECTION* lock) {
  [[maybe_unused]] PosixCriticalSection* cs = SectionOf(lock);
#if !defined(__linux__)
  pthread_mutex_destroy(&cs->mutex);
#endif
}

#if defined(VARNOCK_COVERAGE)
extern "C" void __gcov_dump();
#endif

void ExitProcess(UINT exitCode) {
#if defined(VARNOCK_COVERAGE)
  __gcov_dump();  // _exit runs no exit handlers, and so writes no coverage counts
#endif
  ::_exit(static_cast<int>(exitCode & 0xFFu));
}

void* GlobalAlloc(UINT flags, std::size_t bytes) {
  void* p = (flags & 0x40) ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
  if (!p) lastError = ERROR_NOT_ENOUGH_MEMORY;
  return p;
}

void* GlobalFree(void* block) {
  std::free(block);
  return nullptr;
}

namespace {
void WriteAll(int fd, const char* s, std::size_t n) {
  while (n > 0) {
    ssize_t k = ::write(fd, s, n);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return;
    s += k;
    n -= static_cast<std::size_t>(k);
  }
}
}  // namespace

// There is no window system to ask: the box is shown on the controlling
// terminal, or on standard error without one, never on standard output.
// Only async-signal-safe calls, since a fault handler shows it.
int MessageBoxA(HANDLE, const char* text, const char* caption, UINT) {
  IgnoreBrokenPipes();
  int fd = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
  bool own = fd >= 0;
  if (!own) fd = 2;
  std::size_t captionLen = std::strlen(caption), textLen = std::strlen(text);
  WriteAll(fd, caption, captionLen);
  WriteAll(fd, "\n", 1);
  WriteAll(fd, text, textLen);
  if (textLen == 0 || text[textLen - 1] != '\n') WriteAll(fd, "\n", 1);
  if (own) ::close(fd);
  return 1;  // IDOK
}

std::uintptr_t ContextInstructionPointer(const CONTEXT* context) {
  auto* uc = reinterpret_cast<const ucontext_t*>(context);
  if (!uc) return 0;
#if defined(__x86_64__) && defined(__linux__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__) && defined(__linux__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__) && defined(__linux__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
#elif defined(__APPLE__) && defined(__x86_64__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext->__ss.__rip);
#elif defined(__APPLE__) && defined(__aarch64__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext->__ss.__pc);
#else
  return 0;
#endif
}

namespace {

EXCEPTION_REGISTRATION_RECORD* registration = nullptr;
alignas(16) unsigned char alternateStack[64 * 1024];
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};

DWORD CodeOfSignal(int sig, int code) {
  switch (sig) {
    case SIGILL:
      return code == ILL_PRVOPC || code == ILL_PRVREG ? EXCEPTION_PRIV_INSTRUCTION : EXCEPTION_ILLEGAL_INSTRUCTION;
    case SIGFPE:
      switch (code) {
        case FPE_INTDIV: return EXCEPTION_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF: return EXCEPTION_INT_OVERFLOW;
        case FPE_FLTDIV: return EXCEPTION_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF: return EXCEPTION_FLT_OVERFLOW;
        case FPE_FLTUND: return EXCEPTION_FLT_UNDERFLOW;
        case FPE_FLTRES: return EXCEPTION_FLT_INEXACT_RESULT;
        case FPE_FLTINV: return EXCEPTION_FLT_INVALID_OPERATION;
        case FPE_FLTSUB: return EXCEPTION_FLT_STACK_CHECK;
        default: return EXCEPTION_INT_DIVIDE_BY_ZERO;
      }
    case SIGBUS: return code == BUS_ADRALN ? EXCEPTION_DATATYPE_MISALIGNMENT : EXCEPTION_IN_PAGE_ERROR;
    default: return EXCEPTION_ACCESS_VIOLATION;
  }
}

// A fault that lands within a page or so of the stack pointer, on the
// alternate stack's behalf, is the main stack running out.
bool IsStackOverflow(const siginfo_t* info, const ucontext_t* uc) {
#if defined(__x86_64__) && defined(__linux__)
  auto sp = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
  auto addr = reinterpret_cast<std::uintptr_t>(info->si_addr);
  return addr + 65536 >= sp && addr <= sp + 65536;
#else
  (void)info;
  (void)uc;
  return false;
#endif
}

void OnFault(int sig, siginfo_t* info, void* uc) {
  EXCEPTION_RECORD record{CodeOfSignal(sig, info->si_code), 0};
  if (sig == SIGSEGV && IsStackOverflow(info, static_cast<ucontext_t*>(uc))) record.ExceptionCode = EXCEPTION_STACK_OVERFLOW;
  if (registration && registration->Handler)
    registration->Handler(&record, registration, static_cast<CONTEXT*>(uc), nullptr);
  // Continue search: the system's default handling. Put the default action
  // back; the faulting instruction runs again and the signal ends the process.
  signal(sig, SIG_DFL);
  if (info->si_code <= 0) raise(sig);  // sent, not raised by an instruction
}

}  // namespace

void RegisterExceptionHandler(EXCEPTION_REGISTRATION_RECORD* record) {
  record->Next = registration;
  registration = record;
  stack_t ss{};
  ss.ss_sp = alternateStack;
  ss.ss_size = sizeof alternateStack;
  sigaltstack(&ss, nullptr);
  struct sigaction sa {};
  sa.sa_sigaction = OnFault;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : kFaultSignals) sigaction(sig, &sa, nullptr);
}

EXCEPTION_REGISTRATION_RECORD* RegisteredExceptionHandler() { return registration; }

}  // namespace os
