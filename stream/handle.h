// The handle layer under the console streams: a table of operating-system
// handles by index, and reads and writes that convert line ends - CR LF
// outside the program, a lone LF inside it.
#pragma once

#include <cstdint>

#include "platform/os.h"

namespace varnock {

struct HandleRecord {
  os::HANDLE handle;
  std::uint8_t textMode;  // 1: convert line ends
  std::uint8_t append;    // 1: move to the end before every write
  // A byte read but not yet delivered: the CR that ended a full read from a
  // handle that could not move back one byte. It goes before the next read's
  // bytes, or joins an LF that begins them into one LF. Never lost.
  std::uint8_t hasCarry;
  std::uint8_t carry;
  // GetFileType's answer, asked the first time a full read ends in a CR
  // (the only time it matters), or kTypeNotAsked.
  std::uint8_t fileType;
};
constexpr std::uint8_t kTypeNotAsked = 0xFF;

constexpr unsigned kHandleSlots = 256;
extern HandleRecord* HandleTable[kHandleSlots];

// The code GetLastError gave for the last failed close, read or write.
extern os::DWORD LastOsError;

// Slots 0, 1 and 2: standard input, output and error, in text mode.
void InstallStandardHandles();

// Bytes delivered after line-end conversion; 0 at end of input and on failure.
std::uint32_t HandleRead(std::uint32_t index, std::uint8_t* buffer, std::uint32_t count);
// 0 on failure. A whole write: the bytes the operating system accepted,
// counted after conversion, each LF with its CR (so more than `count` where
// there were line feeds). A short write: the data bytes whose converted
// form went out whole, an LF only once both bytes of its CR LF did - less
// than `count` even when the system took as many bytes as it was handed.
// The caller tells a short write by comparing the answer with `count`, and
// a line end cut in half must look unwritten.
std::uint32_t HandleWrite(std::uint32_t index, const std::uint8_t* data, std::uint32_t count);
// The new position, or os::INVALID_SET_FILE_POINTER.
std::uint32_t HandleSeek(std::uint32_t index, std::int32_t offset, int whence);
int HandleClose(std::uint32_t index);

}  // namespace varnock
