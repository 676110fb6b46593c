// Handles and files over POSIX: handles are file descriptors, and errno
// becomes the Win32 error code a Windows program would see for the same
// failure.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/console_device.h"
#include "platform/last_error.h"
#include "platform/posix/posix.h"

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

DWORD FailedMove(DWORD code) {
  lastError = code;
  return INVALID_SET_FILE_POINTER;
}

}  // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

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
// where a Windows handle would simply wait: wait for it here. Out of line,
// so that its poll record does not make every read and write a frame the
// stack protector guards.
[[gnu::noinline, gnu::cold]] bool WaitAndRetry(int fd, short events) {
  if (errno == EINTR) return true;
  if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
  struct pollfd p {
    fd, events, 0
  };
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
  if (::isatty(fd)) return FailedMove(ERROR_INVALID_HANDLE);  // what a console handle gives
  // Where the move starts, found without moving.
  off_t base = 0;
  struct stat st;
  if (method == FILE_CURRENT) base = ::lseek(fd, 0, SEEK_CUR);
  if (method == FILE_END) base = ::fstat(fd, &st) == 0 ? st.st_size : -1;
  if (method > FILE_END || base < 0)
    return FailedMove(method > FILE_END ? ERROR_INVALID_PARAMETER : ErrorFromErrno(errno));
  std::int64_t target = static_cast<std::int64_t>(base) + MoveDistance(distance, distanceHigh);
  if (DWORD refused = RefusedMove(target, distanceHigh)) return FailedMove(refused);
  if (::lseek(fd, static_cast<off_t>(target), SEEK_SET) < 0) return FailedMove(ErrorFromErrno(errno));
  return MovedTo(static_cast<std::uint64_t>(target), distanceHigh, &lastError);
}

BOOL CloseHandle(HANDLE object) {
  if (::close(FdOf(object)) != 0 && errno != EINTR) return Fail(ErrorFromErrno(errno));
  return kTrue;
}


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

BOOL PeekNamedPipe(HANDLE pipe, void* buffer, DWORD size, DWORD* read, DWORD* totalAvailable, DWORD* leftThisMessage) {
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

HANDLE CreateFileA(const char* name, DWORD access, DWORD, SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD,
                   HANDLE) {
  const char* path = name;
  int flags = O_NOCTTY;
  // The console's input and output devices are the controlling terminal.
  if (ConsoleDeviceNamed(name) != ConsoleDevice::None) path = "/dev/tty";
  bool r = access & GENERIC_READ, w = access & GENERIC_WRITE;
  flags |= r && w ? O_RDWR : w ? O_WRONLY : O_RDONLY;
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
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

}  // namespace os
