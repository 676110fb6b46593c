// The standard streams: the stream table as the process starts with it, and
// the console procedures its three standard streams carry, which move their
// bytes through the handle layer.
#include "stream/handle.h"
#include "stream/stream.h"

namespace varnock {
namespace {

constexpr std::uint16_t kStandardInputMode = ModeWord(kModeReadable, kBufferLine, kKindConsole, false);
constexpr std::uint16_t kStandardOutputMode = ModeWord(kModeWritable, kBufferLine, kKindConsole, false);
constexpr std::uint16_t kStandardErrorMode = ModeWord(kModeWritable, kBufferNone, kKindConsole, false);
static_assert(kStandardInputMode == 0x0124 && kStandardOutputMode == 0x0128 && kStandardErrorMode == 0x0108);

// The count may be a stream's own: it is taken before the flush, which
// resets standard output's.
int ConsoleReadProc(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* count, std::uint32_t) {
  std::uint32_t wanted = *count;
  FlushStream(StandardOutput);  // a prompt without a line end shows before the wait
  std::uint32_t n = HandleRead(index, buffer, wanted);
  *count = n;
  return n == 0 ? 2 : 0;  // a failed read looks like the end of input
}

int ConsoleWriteProc(std::uint32_t index, const std::uint8_t* buffer, std::uint32_t* count, std::uint32_t) {
  std::uint32_t n = HandleWrite(index, buffer, *count);
  int status = n < *count ? 1 : 0;
  *count = n;
  return status;
}

int ConsoleCloseProc(std::uint32_t index) { return HandleClose(index) == -1 ? 1 : 0; }

std::uint8_t standardInputBuffer[kStandardBufferSize];
std::uint8_t standardOutputBuffer[kStandardBufferSize];
std::uint8_t standardErrorBuffer[kStandardBufferSize];

constexpr Stream StandardStream(std::uint32_t index, std::uint16_t mode, std::uint8_t* buffer) {
  Stream s{};
  s.handleIndex = index;
  s.mode = mode;
  s.bufferStart = buffer;
  s.bufferSize = kStandardBufferSize;
  s.cursor = buffer;
  s.readProc = ConsoleReadProc;
  s.writeProc = ConsoleWriteProc;
  s.closeProc = ConsoleCloseProc;
  return s;
}

}  // namespace

constinit Stream StreamTable[kStreamCount] = {
    StandardStream(0, kStandardInputMode, standardInputBuffer),
    StandardStream(1, kStandardOutputMode, standardOutputBuffer),
    StandardStream(2, kStandardErrorMode, standardErrorBuffer),
};

}  // namespace varnock
