#include "stream/stream.h"

#include <cstring>

#include "pool/memory_pool.h"
#include "pool/runtime_locks.h"
#include "stream/handle.h"
#include "stream/line_feeds.h"

namespace varnock {
namespace {

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

void SetIoState(Stream* s, std::uint8_t state) {
  s->state = static_cast<std::uint8_t>((s->state & ~kIoStateMask) | state);
}

bool Readable(const Stream* s) { return s->mode & kModeReadable; }
bool Writable(const Stream* s) { return s->mode & kModeWritable; }
bool ReadOnly(const Stream* s) { return (s->mode & (kModeReadable | kModeWritable | kModeAppend)) == kModeReadable; }
bool Closed(const Stream* s) { return KindOf(s) == kKindClosed; }
bool TextStream(const Stream* s) { return !(s->mode & kModeBinary); }

std::uint32_t CountLineFeeds(const std::uint8_t* p, std::uint32_t n) {
  std::uint32_t lfs = 0;
  for (std::uint32_t i = 0; i < n; ++i) lfs += p[i] == '\n';
  return lfs;
}

// Positions are 32-bit signed values that wrap rather than overflow.
std::int32_t Advance(std::int32_t position, std::uint32_t by) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(position) + by);
}

// Where reading or writing has got to, counting what the buffer holds.
std::int32_t LogicalPosition(const Stream* s) {
  auto used = static_cast<std::uint32_t>(s->cursor - s->bufferStart);
  std::uint32_t lfs = TextStream(s) ? CountLineFeeds(s->bufferStart, used) : 0;
  // A pushed-back byte is one not yet read again.
  auto unread = [s](std::uint8_t b) { return 1u + (TextStream(s) && b == '\n'); };
  switch (IoStateOf(s)) {
    case kStateWriting: return Advance(s->position, used + lfs);
    case kStateReading: return Advance(s->bufferPosition, used + lfs);
    case kStateOnePushed: return Advance(s->bufferPosition, used + lfs - unread(s->pushBack[0]));
    case kStateTwoPushed:
      return Advance(s->bufferPosition, used + lfs - unread(s->pushBack[0]) - unread(s->pushBack[1]));
    default: return s->position;
  }
}

int StringRead(std::uint32_t, std::uint8_t*, std::uint32_t* count, std::uint32_t) {
  *count = 0;
  return 2;
}
int StringWrite(std::uint32_t, const std::uint8_t*, std::uint32_t*, std::uint32_t) { return 0; }
int StringClose(std::uint32_t) { return 0; }

}  // namespace

constinit Stream StreamTable[kStreamCount] = {
    StandardStream(0, 0x0124, standardInputBuffer),   // read only, line, console
    StandardStream(1, 0x0128, standardOutputBuffer),  // write only, line, console
    StandardStream(2, 0x0108, standardErrorBuffer),   // write only, none, console
};

constinit CloseAllRoutine CloseAllHook = nullptr;

int CheckOrientation(Stream* s, int wanted) {
  if (Closed(s)) return 0;
  switch (OrientationOf(s)) {
    case kOrientationNone:
      if (wanted != 0) {
        unsigned o = wanted > 0 ? kOrientationWide : kOrientationByte;
        s->mode = static_cast<std::uint16_t>((s->mode & ~kOrientationMask) | (o << kOrientationShift));
      }
      return wanted;
    case kOrientationByte: return -1;
    default: return 1;
  }
}

void ResetBuffer(Stream* s) {
  s->cursor = s->bufferStart;
  s->count = s->bufferSize - (static_cast<std::uint32_t>(s->position) & s->alignmentMask);
  s->bufferPosition = s->position;
}

int RefillBuffer(Stream* s) {
  ResetBuffer(s);
  std::uint32_t n = s->count;
  int status = s->readProc(s->handleIndex, s->bufferStart, &n, s->context);
  if (status != 0) {
    s->count = 0;
    return status;
  }
  s->count = n;
  s->position = Advance(s->position, n + (TextStream(s) ? CountLineFeeds(s->bufferStart, n) : 0));
  return 0;
}

namespace {
int WriteOutBytes(Stream* s) {
  auto n = static_cast<std::uint32_t>(s->cursor - s->bufferStart);
  int status = s->writeProc(s->handleIndex, s->bufferStart, &n, s->context);
  if (status != 0) return status;  // the bytes stay where they are, unwritten
  s->position = Advance(s->position, n);
  ResetBuffer(s);
  return 0;
}
}  // namespace

int WriteOutBuffer(Stream* s) {
  if (s->cursor != s->bufferStart) return WriteOutBytes(s);
  ResetBuffer(s);  // nothing to write: the flush after a line feed
  return 0;
}

int GetByteSlow(Stream* s) {
  s->count = 0;  // undoes the fast path's decrement
  if (CheckOrientation(s, -1) >= 0) return -1;
  if (s->error) return -1;
  unsigned state = IoStateOf(s);
  if (state == kStateWriting || !Readable(s)) {
    s->error = 1;
    return -1;
  }
  if (state == kStateTwoPushed) {
    SetIoState(s, kStateOnePushed);
    return s->pushBack[1];
  }
  if (state == kStateOnePushed) {
    SetIoState(s, kStateReading);
    s->count = s->savedCount;
    return s->pushBack[0];
  }
  SetIoState(s, kStateReading);
  int status = RefillBuffer(s);
  if (status == 0 && s->count > 0) {
    --s->count;
    return *s->cursor++;
  }
  if (status == 1) {
    s->error = 1;
  } else {
    SetIoState(s, kStateNeutral);
    s->eof = 1;
  }
  s->count = 0;
  return -1;
}

int UngetByte(int value, Stream* s) {
  if (CheckOrientation(s, -1) >= 0) return -1;
  unsigned state = IoStateOf(s);
  if (state == kStateWriting || state == kStateTwoPushed || value == -1) return -1;
  auto b = static_cast<std::uint8_t>(value);
  if (state == kStateOnePushed) {
    SetIoState(s, kStateTwoPushed);
    s->pushBack[1] = b;
  } else {
    s->savedCount = s->count;
    s->count = 0;
    SetIoState(s, kStateOnePushed);
    s->pushBack[0] = b;
  }
  s->eof = 0;
  return b;
}

namespace {

// A line-buffered stream that is writing, open, byte-oriented and without
// error, as it is between the line feeds of a line: a byte that is not a
// line feed and fits only goes into the buffer.
bool InLine(const Stream* s) {
  constexpr std::uint16_t fields = kBufferingMask | kOrientationMask;
  constexpr std::uint16_t lineBytes = (kBufferLine << kBufferingShift) | (kOrientationByte << kOrientationShift);
  return (s->mode & fields) == lineBytes && IoStateOf(s) == kStateWriting && !s->error && !Closed(s);
}

// Stores bytes that PutByte would only have stored; returns how many.
std::uint32_t StoreInLine(const std::uint8_t* p, std::uint32_t n, Stream* s) {
  auto room = s->bufferSize - static_cast<std::uint32_t>(s->cursor - s->bufferStart);
  // The room past the cursor is free, so the copy may run on there.
  std::uint32_t take = CopyUntilLineFeed(p, n < room ? n : room, s->cursor);
  if (take == 0) return 0;
  if (KindOf(s) == kKindConsole) CloseAllHook = CloseAllStreams;
  s->cursor += take;
  s->count = 0;
  return take;
}

}  // namespace

// InLine, or about to be: a neutral stream that PutByte's slow path would
// turn to writing is turned here the same way.
bool StartLine(Stream* s) {
  if (IoStateOf(s) == kStateNeutral && Writable(s)) {
    const std::uint8_t state = s->state;
    SetIoState(s, kStateWriting);
    if (!InLine(s)) {
      s->state = state;
      return false;
    }
    ResetBuffer(s);
    s->count = 0;  // a line-buffered stream never lets the fast path store
    return true;
  }
  return InLine(s);
}

void PutBytes(const std::uint8_t* p, std::uint32_t n, Stream* s) {
  while (n > 0) {
    std::uint32_t stored = StartLine(s) ? StoreInLine(p, n, s) : 0;
    if (stored == 0) {
      PutByte(*p, s);
      stored = 1;
    }
    p += stored;
    n -= stored;
  }
}

namespace {
// The end of a put that writes the buffer out: the byte, or -1 and a
// stuck error flag.
int WriteOutAfterPut(std::uint8_t b, Stream* s) {
  int status = WriteOutBuffer(s);
  s->count = 0;
  if (status != 0) {
    s->error = 1;
    return -1;
  }
  return b;
}
}  // namespace

int PutByteSlow(int value, Stream* s) {
  s->count = 0;  // undoes the fast path's decrement
  auto b = static_cast<std::uint8_t>(value);
  if (InLine(s)) {
    // Within a line, the same steps as below without the checks it has passed.
    if (b != '\n') {
      if (StoreInLine(&b, 1, s)) return b;
    } else if (static_cast<std::uint32_t>(s->cursor - s->bufferStart) < s->bufferSize) {
      if (KindOf(s) == kKindConsole) CloseAllHook = CloseAllStreams;
      *s->cursor++ = b;
      return WriteOutAfterPut(b, s);
    }
  }
  if (CheckOrientation(s, -1) >= 0) return -1;
  if (s->error) return -1;
  if (KindOf(s) == kKindConsole) CloseAllHook = CloseAllStreams;
  if (IoStateOf(s) == kStateNeutral && Writable(s)) {
    SetIoState(s, kStateWriting);
    ResetBuffer(s);
  }
  if (IoStateOf(s) != kStateWriting) {
    s->error = 1;
    s->count = 0;
    return -1;
  }
  unsigned buffering = BufferingOf(s);
  if (buffering == kBufferFull || static_cast<std::uint32_t>(s->cursor - s->bufferStart) == s->bufferSize) {
    if (WriteOutBuffer(s) != 0) {
      s->error = 1;
      s->count = 0;
      return -1;
    }
  }
  *s->cursor++ = b;
  if (buffering == kBufferFull) {
    s->count = s->bufferSize - static_cast<std::uint32_t>(s->cursor - s->bufferStart);
    return b;
  }
  if (buffering == kBufferLine && b != '\n') {
    s->count = 0;
    return b;
  }
  return WriteOutAfterPut(b, s);
}

std::uint32_t WriteBlock(const void* data, std::uint32_t size, std::uint32_t items, Stream* s) {
  if (OrientationOf(s) == kOrientationNone)
    s->mode = static_cast<std::uint16_t>(s->mode | (kOrientationByte << kOrientationShift));
  std::uint64_t total = std::uint64_t{size} * items;
  if (total == 0 || s->error || Closed(s)) return 0;
  if (KindOf(s) == kKindConsole) CloseAllHook = CloseAllStreams;
  if (IoStateOf(s) == kStateNeutral && Writable(s)) {
    SetIoState(s, kStateWriting);
    ResetBuffer(s);
  }
  if (IoStateOf(s) != kStateWriting) {
    s->error = 1;
    s->count = 0;
    return 0;
  }
  const unsigned buffering = BufferingOf(s);
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::uint64_t remaining = total, written = 0;
  s->count = s->bufferSize - static_cast<std::uint32_t>(s->cursor - s->bufferStart);
  for (;;) {
    auto chunk = static_cast<std::uint32_t>(remaining < s->count ? remaining : s->count);
    bool lineEnd = false;
    if (buffering == kBufferLine) {
      for (std::uint32_t i = chunk; i > 0; --i) {
        if (p[i - 1] == '\n') {
          chunk = i;
          lineEnd = true;
          break;
        }
      }
    }
    if (chunk) std::memcpy(s->cursor, p, chunk);
    s->cursor += chunk;
    p += chunk;
    written += chunk;
    remaining -= chunk;
    s->count -= chunk;
    if (KindOf(s) == kKindString && s->count == 0) {
      written += remaining;  // a full string buffer drops the rest but counts it
      break;
    }
    if (s->count == 0 || lineEnd || buffering == kBufferNone) {
      if (WriteOutBuffer(s) != 0) {
        s->error = 1;
        s->count = 0;
        break;
      }
    }
    if (remaining == 0) break;
  }
  if (buffering != kBufferFull) s->count = 0;
  return static_cast<std::uint32_t>((written + size - 1) / size);
}

int FlushStream(Stream* s) {
  if (!s) return FlushAllStreams();
  if (s->error || Closed(s)) return -1;
  if (ReadOnly(s)) return 0;  // read-ahead and pushed-back bytes are kept
  unsigned state = IoStateOf(s);
  if (state != kStateWriting) {
    // Pushed-back and read-ahead bytes are dropped.
    if (state != kStateNeutral) s->count = 0;
    SetIoState(s, kStateNeutral);
    return 0;
  }
  if (WriteOutBuffer(s) != 0) {
    s->error = 1;
    s->count = 0;
    return -1;
  }
  SetIoState(s, kStateNeutral);
  s->count = 0;
  return 0;
}

int FlushAllStreams() {
  int result = 0;
  for (Stream& s : StreamTable)
    if (!Closed(&s) && FlushStream(&s) != 0) result = -1;
  return result;
}

void ClearStreamFlags(Stream* s) {
  s->eof = 0;
  s->error = 0;
}

int SeekStream(Stream* s, std::int32_t offset, int whence) {
  if (KindOf(s) != kKindDisk || s->error || !s->positionProc) return -1;
  if (whence == 1) {
    offset = Advance(LogicalPosition(s), static_cast<std::uint32_t>(offset));
    whence = 0;
  }
  if (FlushStream(s) != 0) return -1;
  std::int32_t position = offset;
  if (s->positionProc(s->handleIndex, &position, whence, s->context) != 0) return -1;
  s->position = position;
  s->count = 0;
  s->eof = 0;
  SetIoState(s, kStateNeutral);
  return 0;
}

int CloseStream(Stream* s) {
  if (!s) return -1;
  if (Closed(s)) return 0;
  int flushed = FlushStream(s);
  int closed = s->closeProc ? s->closeProc(s->handleIndex) : 0;
  s->mode = static_cast<std::uint16_t>(s->mode & ~kKindMask);
  s->handleIndex = 0;
  s->count = 0;  // no fast path may touch a closed stream's buffer
  if (s->state & kStateOwnsBuffer) {
    PoolReturn(s->bufferStart);
    s->state = static_cast<std::uint8_t>(s->state & ~kStateOwnsBuffer);
  }
  return flushed != 0 || closed != 0 ? -1 : 0;
}

void CloseAllStreams() {
  TakeLock(kStreamListLock);
  for (Stream& s : StreamTable)
    if (!Closed(&s)) CloseStream(&s);
  ReleaseLock(kStreamListLock);
}

int OpenStringStream(Stream* s, std::uint8_t* buffer, std::uint32_t size, std::uint8_t state) {
  *s = Stream{};
  s->mode = 0x11CC;  // read and write, full buffering, string, binary
  if (size == 0) {
    s->mode = static_cast<std::uint16_t>(s->mode & ~kBufferingMask);
    buffer = &s->oneByte;
    size = 1;
  }
  s->bufferStart = buffer;
  s->bufferSize = size;
  s->readProc = StringRead;
  s->writeProc = StringWrite;
  s->closeProc = StringClose;
  s->state = state;
  ResetBuffer(s);
  return 0;
}

}  // namespace varnock
