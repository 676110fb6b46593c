// Buffered byte streams over operating-system handles.
//
// A Stream moves bytes between its buffer and a handle through the
// procedures it carries. Reading and writing a byte is, on the fast path, one
// test-and-decrement of `count` and one byte moved: the buffer has room or
// bytes left. Everything else - an empty or full buffer, pushed-back bytes,
// line or no buffering, a failed or closed stream - keeps count at 0 and so
// lands in the slow path, which starts by putting count back to 0.
#pragma once

#include <cstdint>

namespace varnock {

// Procedures a stream carries. Each returns 0 when done.
//   position: (index, position in/out, whence, context) -> 0 done, 1 failed
//   read:     (index, buffer, count in/out, context) -> 0 done, 1 error, 2 end of file
//   write:    (index, buffer, count in/out, context) -> 0 done, 1 error
//   close:    (index) -> 0 done, nonzero failed
using PositionProc = int (*)(std::uint32_t index, std::int32_t* position, int whence, std::uint32_t context);
using ReadProc = int (*)(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* count, std::uint32_t context);
using WriteProc = int (*)(std::uint32_t index, const std::uint8_t* buffer, std::uint32_t* count, std::uint32_t context);
using CloseProc = int (*)(std::uint32_t index);

// The mode word.
constexpr std::uint16_t kModeReadable = 1u << 2;
constexpr std::uint16_t kModeWritable = 1u << 3;
constexpr std::uint16_t kModeAppend = 1u << 4;
constexpr unsigned kBufferingShift = 5;
constexpr std::uint16_t kBufferingMask = 3u << kBufferingShift;
constexpr unsigned kKindShift = 7;
constexpr std::uint16_t kKindMask = 7u << kKindShift;
constexpr unsigned kOrientationShift = 10;
constexpr std::uint16_t kOrientationMask = 3u << kOrientationShift;
constexpr std::uint16_t kModeBinary = 1u << 12;

enum Buffering : unsigned { kBufferNone = 0, kBufferLine = 1, kBufferFull = 2 };
enum StreamKind : unsigned { kKindClosed = 0, kKindDisk = 1, kKindConsole = 2, kKindString = 3 };
enum Orientation : unsigned { kOrientationNone = 0, kOrientationByte = 1, kOrientationWide = 2 };

// A mode word from its fields; the orientation starts unset.
constexpr std::uint16_t ModeWord(std::uint16_t access, Buffering buffering, StreamKind kind, bool binary) {
  return static_cast<std::uint16_t>(access | buffering << kBufferingShift | kind << kKindShift |
                                    (binary ? kModeBinary : 0));
}

// The state byte: the I/O state in bits 0-2, buffer ownership in bit 3.
enum IoState : std::uint8_t {
  kStateNeutral = 0,
  kStateWriting = 1,
  kStateReading = 2,
  kStateOnePushed = 3,
  kStateTwoPushed = 4,
};
constexpr std::uint8_t kIoStateMask = 0x07;
constexpr std::uint8_t kStateOwnsBuffer = 0x08;

struct Stream {
  std::uint32_t handleIndex;  // HandleTable slot the procedures use
  std::uint16_t mode;         // access, buffering, kind, orientation, binary
  std::uint8_t state;         // I/O state and buffer ownership
  std::uint8_t eof;           // a refill yielded no bytes
  std::uint8_t error;         // sticky; cleared only by ClearStreamFlags
  std::uint8_t oneByte;       // buffer of a string stream opened with size 0
  std::uint8_t pushBack[2];   // first and second pushed-back byte
  std::int32_t position;      // file position (disk files only consult it)
  std::uint8_t* bufferStart;
  std::uint32_t bufferSize;
  std::uint8_t* cursor;         // next byte to deliver, or next place to fill
  std::uint32_t count;          // bytes left to deliver or places left to fill
  std::uint32_t alignmentMask;  // 0: a reset always makes count the whole size
  std::uint32_t savedCount;     // reading count set aside while bytes are pushed back
  std::int32_t bufferPosition;  // position of the buffer's first byte
  PositionProc positionProc;
  ReadProc readProc;
  WriteProc writeProc;
  CloseProc closeProc;
  std::uint32_t context;  // passed to the position, read and write procedures
};

constexpr unsigned kStreamCount = 35;
constexpr std::uint32_t kStandardBufferSize = 256;

// The three standard streams open the table; the rest start and stay closed.
extern Stream StreamTable[kStreamCount];
inline constexpr Stream* StandardInput = &StreamTable[0];
inline constexpr Stream* StandardOutput = &StreamTable[1];
inline constexpr Stream* StandardError = &StreamTable[2];

// Filled with CloseAllStreams when a console stream is first written;
// the process end calls it once and empties it.
using CloseAllRoutine = void (*)();
extern CloseAllRoutine CloseAllHook;

// The fields of the mode word are compared in place, a mask and a compare.
inline bool HasBuffering(const Stream* s, Buffering b) { return (s->mode & kBufferingMask) == b << kBufferingShift; }
inline bool HasKind(const Stream* s, StreamKind k) { return (s->mode & kKindMask) == k << kKindShift; }
inline bool HasOrientation(const Stream* s, Orientation o) {
  return (s->mode & kOrientationMask) == o << kOrientationShift;
}
inline unsigned IoStateOf(const Stream* s) { return s->state & kIoStateMask; }

int GetByteSlow(Stream* s);
int PutByteSlow(int value, Stream* s);

// The next byte as 0 to 255, or -1 (end of input, or failure).
inline int GetByte(Stream* s) {
  if (s->count-- > 0) return *s->cursor++;
  return GetByteSlow(s);
}

// Stores the low byte of value; returns it as 0 to 255, or -1.
inline int PutByte(int value, Stream* s) {
  if (s->count-- > 0) {
    std::uint8_t b = static_cast<std::uint8_t>(value);
    *s->cursor++ = b;
    return b;
  }
  return PutByteSlow(value, s);
}

// The same as PutByte on each of n bytes in turn, results ignored; a
// line-buffered stream takes the bytes before a line feed in one copy
// rather than one slow-path call each.
void PutBytes(const std::uint8_t* bytes, std::uint32_t n, Stream* s);

// Pushes a byte back (at most two, delivered last in, first out); returns it,
// or -1 when refused.
int UngetByte(int value, Stream* s);

// 0 or -1; a null stream flushes every stream.
int FlushStream(Stream* s);
int FlushAllStreams();
void ClearStreamFlags(Stream* s);
// Only disk files can be repositioned: -1 for every other kind.
int SeekStream(Stream* s, std::int32_t offset, int whence);
// The number of items written; a partly written item counts.
std::uint32_t WriteBlock(const void* data, std::uint32_t size, std::uint32_t count, Stream* s);
int CloseStream(Stream* s);
void CloseAllStreams();
int OpenStringStream(Stream* s, std::uint8_t* buffer, std::uint32_t size, std::uint8_t state);

// Whether the last refill found the end of input, with nothing pushed back since.
inline bool AtEndOfInput(const Stream* s) { return s->eof != 0; }

}  // namespace varnock
