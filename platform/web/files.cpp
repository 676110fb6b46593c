// Handles in a web page: the program is WebAssembly with one thread, its
// console is a terminal in the page, and the page's JavaScript (varnock.js)
// is the system underneath. Every handle is a console handle, for the
// terminal's input or its screen, and behaves as a Windows console handle
// does: a character device, never positionable, not a pipe. The page has no
// files, so the consoles are all that CreateFileA can open.
//
// ReadFile on the console waits for the player. The program cannot block
// the page's only thread, so the read is an asynchronous import: Asyncify
// saves the WebAssembly stack, returns to the browser, and rebuilds the
// stack when the line is typed.
#include "platform/console_device.h"
#include "platform/last_error.h"
#include "platform/web/imports.h"

// The system's side, in varnock.js. A negative count is a buffer that lies
// outside the program's memory.
extern "C" {
VARNOCK_IMPORT("console_read") std::int32_t varnock_console_read(void* buffer, os::DWORD size);
VARNOCK_IMPORT("console_write") std::int32_t varnock_console_write(const void* data, os::DWORD size);
}

namespace os {
namespace {

constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_NOACCESS = 998;

enum class Device : std::uint8_t { None, Keyboard, Screen };

struct Handle {
  Device device;
  bool readable, writable;
};

// Handle values are small multiples of four, as the system hands them out;
// 0 and INVALID_HANDLE_VALUE are never one. The standard handles come first.
constexpr unsigned kHandles = 64;
Handle handles[kHandles] = {{Device::Keyboard, true, true}, {Device::Screen, true, true}, {Device::Screen, true, true}};
DWORD lastError = ERROR_SUCCESS;

HANDLE HandleValue(unsigned slot) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(slot + 1) * 4); }

Handle* Lookup(HANDLE h) {
  auto v = reinterpret_cast<std::uintptr_t>(h);
  if (v % 4 != 0 || v == 0 || v / 4 > kHandles) return nullptr;
  Handle* handle = &handles[v / 4 - 1];
  return handle->device == Device::None ? nullptr : handle;
}

BOOL Fail(DWORD code) {
  lastError = code;
  return kFalse;
}

}  // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

HANDLE GetStdHandle(DWORD which) {
  switch (which) {
    case STD_INPUT_HANDLE: return HandleValue(0);
    case STD_OUTPUT_HANDLE: return HandleValue(1);
    case STD_ERROR_HANDLE: return HandleValue(2);
    default: lastError = ERROR_INVALID_PARAMETER; return INVALID_HANDLE_VALUE;
  }
}

// The console's line-input mode: a read waits for Enter and returns the
// line, CR LF included, or as much of it as fits; the rest waits in the
// console for the next read. A line that starts with Ctrl+Z returns nothing.
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void*) {
  if (read) *read = 0;
  Handle* h = Lookup(file);
  if (!h || h->device != Device::Keyboard) return Fail(ERROR_INVALID_HANDLE);
  if (!h->readable) return Fail(ERROR_ACCESS_DENIED);
  if (toRead == 0) return kTrue;
  std::int32_t n = varnock_console_read(buffer, toRead);
  if (n < 0) return Fail(ERROR_NOACCESS);
  if (read) *read = static_cast<DWORD>(n);
  return kTrue;
}

// The screen takes every byte as it is: CR LF is what a terminal wants.
BOOL WriteFile(HANDLE file, const void* data, DWORD toWrite, DWORD* written, void*) {
  if (written) *written = 0;
  Handle* h = Lookup(file);
  if (!h || h->device != Device::Screen) return Fail(ERROR_INVALID_HANDLE);
  if (!h->writable) return Fail(ERROR_ACCESS_DENIED);
  if (varnock_console_write(data, toWrite) < 0) return Fail(ERROR_NOACCESS);
  if (written) *written = toWrite;
  return kTrue;
}

DWORD SetFilePointer(HANDLE file, LONG, LONG*, DWORD) {
  lastError = Lookup(file) ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE;
  return INVALID_SET_FILE_POINTER;
}

BOOL CloseHandle(HANDLE object) {
  Handle* h = Lookup(object);
  if (!h) return Fail(ERROR_INVALID_HANDLE);
  *h = Handle{};
  return kTrue;
}

DWORD GetFileType(HANDLE file) {
  if (Lookup(file)) return FILE_TYPE_CHAR;
  lastError = ERROR_INVALID_HANDLE;
  return FILE_TYPE_UNKNOWN;
}

// A console is no pipe; the system answers as it does for a console handle.
BOOL PeekNamedPipe(HANDLE, void*, DWORD, DWORD* read, DWORD* totalAvailable, DWORD* leftThisMessage) {
  if (read) *read = 0;
  if (totalAvailable) *totalAvailable = 0;
  if (leftThisMessage) *leftThisMessage = 0;
  return Fail(ERROR_INVALID_HANDLE);
}

HANDLE CreateFileA(const char* name, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD, HANDLE) {
  Device device = Device::None;
  if (!name) {
    lastError = ERROR_PATH_NOT_FOUND;
  } else if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    lastError = ERROR_INVALID_PARAMETER;
  } else if (ConsoleDeviceNamed(name) == ConsoleDevice::Input) {
    device = Device::Keyboard;
  } else if (ConsoleDeviceNamed(name) == ConsoleDevice::Output) {
    device = Device::Screen;
  } else {
    lastError = ERROR_FILE_NOT_FOUND;
  }
  if (device == Device::None) return INVALID_HANDLE_VALUE;
  for (unsigned slot = 0; slot < kHandles; ++slot) {
    if (handles[slot].device != Device::None) continue;
    handles[slot] = Handle{device, (access & GENERIC_READ) != 0, (access & GENERIC_WRITE) != 0};
    return HandleValue(slot);
  }
  lastError = ERROR_TOO_MANY_OPEN_FILES;
  return INVALID_HANDLE_VALUE;
}

}  // namespace os
