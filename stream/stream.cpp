#include "stream/stream.h"

#include <cstring>

#include "pool/memory_pool.h"
#include "pool/runtime_locks.h"
#include "stream/line_feeds.h"

namespace varnock {
namespace {

void SetIoState(Stream* s, std::uint8_t state) {
  s->state = static_cast<std::uint8_t>((s->state & ~kIoStateMask) | state);
}

void SetOrientation(Stream* s, unsigned orientation) {
  s->mode = static_cast<std::uint16_t>((s->mode & ~kOrientationMask) | (orientation << kOrientationShift));
}

bool Readable(const Stream* s) { return s->mode & kModeReadable; }
bool Writable(const Stream* s) { return s->mode & kModeWritable; }
bool ReadOnly(const Stream* s) { return (s->mode & (kModeReadable | kModeWritable | kModeAppend)) == kModeReadable; }
bool Closed(const Stream* s) { return HasKind(s, kKindClosed); }
bool TextStream(const Stream* s) { return !(s->mode & kModeBinary); }
std::uint32_t Used(const Stream* s) { return static_cast<std::uint32_t>(s->cursor - s->bufferStart); }

// Every failure of a stream: the error flag sticks, and count 0 keeps the
// fast paths off it until it is cleared.
int Fail(Stream* s) {
  s->error = 1;
  s->count = 0;
  return -1;
}

// A console stream that has been written to is flushed and closed when the
// process ends; setting the hook again changes nothing.
void ArmCloseHook(const Stream* s) {
  if (HasKind(s, kKindConsole)) CloseAllHook = CloseAllStreams;
}

void ResetBuffer(Stream* s) {
  s->cursor = s->bufferStart;
  s->count = s->bufferSize - (static_cast<std::uint32_t>(s->position) & s->alignmentMask);
  s->bufferPosition = s->position;
}

// A neutral stream that may write starts writing with an empty buffer; one
// that is reading, or may not write, fails. True when the stream writes.
bool StartWriting(Stream* s) {
  if (IoStateOf(s) == kStateWriting) return true;
  if (IoStateOf(s) != kStateNeutral || !Writable(s)) {
    Fail(s);
    return false;
  }
  SetIoState(s, kStateWriting);
  ResetBuffer(s);
  return true;
}

// 0 for a closed stream; fixes an unset orientation (wide for wanted > 0,
// byte for wanted < 0) and gives wanted; -1 for a byte stream, 1 for a wide one.
int CheckOrientation(Stream* s, int wanted) {
  if (Closed(s)) return 0;
  if (HasOrientation(s, kOrientationByte)) return -1;
  if (!HasOrientation(s, kOrientationNone)) return 1;
  if (wanted != 0) SetOrientation(s, wanted > 0 ? kOrientationWide : kOrientationByte);
  return wanted;
}

// What every put does before it stores: a byte stream, open and without
// error, armed to be closed and writing. False when nothing may be stored.
bool BeginPut(Stream* s) {
  if (CheckOrientation(s, -1) >= 0 || s->error) return false;
  ArmCloseHook(s);
  return StartWriting(s);
}

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
  std::uint32_t used = Used(s);
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

// The procedures take their count by address: it is the stream's own,
// which the buffer reset after the transfer, or the failure, sets again. A
// local in its place would have its address taken, and the stack protector
// would guard the frame of every byte path that writes out or refills.
int RefillBuffer(Stream* s) {
  ResetBuffer(s);
  int status = s->readProc(s->handleIndex, s->bufferStart, &s->count, s->context);
  if (status != 0) {
    s->count = 0;
    return status;
  }
  s->position = Advance(s->position, s->count + (TextStream(s) ? CountLineFeeds(s->bufferStart, s->count) : 0));
  return 0;
}

int WriteOutBuffer(Stream* s) {
  if ((s->count = Used(s)) != 0) {  // none: the flush after a line feed
    int status = s->writeProc(s->handleIndex, s->bufferStart, &s->count, s->context);
    if (status != 0) return status;  // the bytes stay where they are, unwritten
    s->position = Advance(s->position, s->count);
  }
  ResetBuffer(s);
  return 0;
}

// WriteOutBuffer, failing the stream when the bytes did not go out.
int WriteOutOrFail(Stream* s) { return WriteOutBuffer(s) == 0 ? 0 : Fail(s); }

int StringRead(std::uint32_t, std::uint8_t*, std::uint32_t* count, std::uint32_t) {
  *count = 0;
  return 2;
}
int StringWrite(std::uint32_t, const std::uint8_t*, std::uint32_t*, std::uint32_t) { return 0; }
int StringClose(std::uint32_t) { return 0; }

}  // namespace

constinit CloseAllRoutine CloseAllHook = nullptr;

int GetByteSlow(Stream* s) {
  s->count = 0;  // undoes the fast path's decrement
  if (CheckOrientation(s, -1) >= 0 || s->error) return -1;
  unsigned state = IoStateOf(s);
  if (state == kStateWriting || !Readable(s)) return Fail(s);
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
  if (status == 1) return Fail(s);
  SetIoState(s, kStateNeutral);  // the end of input; a failed refill left count 0
  s->eof = 1;
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

int PutByteSlow(int value, Stream* s) {
  s->count = 0;  // undoes the fast path's decrement
  if (!BeginPut(s)) return -1;
  auto b = static_cast<std::uint8_t>(value);
  bool full = HasBuffering(s, kBufferFull);
  if ((full || Used(s) == s->bufferSize) && WriteOutOrFail(s) != 0) return -1;
  *s->cursor++ = b;
  if (full) {
    s->count = s->bufferSize - Used(s);
    return b;
  }
  s->count = 0;  // line and no buffering take every byte through here
  if (HasBuffering(s, kBufferLine) && b != '\n') return b;
  if (WriteOutOrFail(s) != 0) return -1;
  s->count = 0;
  return b;
}

void PutBytes(const std::uint8_t* p, std::uint32_t n, Stream* s) {
  while (n > 0) {
    // The bytes before a line feed that PutByteSlow would only store, as
    // many as fit, go into a line-buffered stream in one copy.
    std::uint32_t stored = 0;
    if (s->count == 0 && HasBuffering(s, kBufferLine) && BeginPut(s)) {
      std::uint32_t room = s->bufferSize - Used(s);
      // The room past the cursor is free, so the copy may run on there.
      stored = CopyUntilLineFeed(p, n < room ? n : room, s->cursor);
      s->cursor += stored;
      s->count = 0;
    }
    if (stored == 0) {
      PutByte(*p, s);
      stored = 1;
    }
    p += stored;
    n -= stored;
  }
}

namespace {

// Shortens a chunk for a line-buffered stream to end just after its last
// line feed; true when it has one.
bool EndAtLastLineFeed(const std::uint8_t* p, std::uint32_t* chunk) {
  for (std::uint32_t i = *chunk; i > 0; --i) {
    if (p[i - 1] == '\n') {
      *chunk = i;
      return true;
    }
  }
  return false;
}

// Copies a block through the buffer of a writing stream, writing it out
// where a put would; the bytes taken, or fewer when a write-out failed.
std::uint64_t CopyThrough(const std::uint8_t* p, std::uint64_t remaining, Stream* s) {
  const bool line = HasBuffering(s, kBufferLine), unbuffered = HasBuffering(s, kBufferNone);
  std::uint64_t written = 0;
  s->count = s->bufferSize - Used(s);
  for (;;) {
    auto chunk = static_cast<std::uint32_t>(remaining < s->count ? remaining : s->count);
    bool lineEnd = line && EndAtLastLineFeed(p, &chunk);
    if (chunk) std::memcpy(s->cursor, p, chunk);
    s->cursor += chunk;
    p += chunk;
    written += chunk;
    remaining -= chunk;
    s->count -= chunk;
    // A full string buffer drops the rest but counts it.
    if (HasKind(s, kKindString) && s->count == 0) return written + remaining;
    bool writeOut = s->count == 0 || lineEnd || unbuffered;
    if ((writeOut && WriteOutOrFail(s) != 0) || remaining == 0) return written;
  }
}

}  // namespace

std::uint32_t WriteBlock(const void* data, std::uint32_t size, std::uint32_t items, Stream* s) {
  if (HasOrientation(s, kOrientationNone)) SetOrientation(s, kOrientationByte);
  std::uint64_t total = std::uint64_t{size} * items;
  if (total == 0 || s->error || Closed(s)) return 0;
  ArmCloseHook(s);
  if (!StartWriting(s)) return 0;
  std::uint64_t written = CopyThrough(static_cast<const std::uint8_t*>(data), total, s);
  if (!HasBuffering(s, kBufferFull)) s->count = 0;
  return static_cast<std::uint32_t>((written + size - 1) / size);
}

int FlushStream(Stream* s) {
  if (!s) return FlushAllStreams();
  if (s->error || Closed(s)) return -1;
  if (ReadOnly(s)) return 0;  // read-ahead and pushed-back bytes are kept
  unsigned state = IoStateOf(s);
  if (state == kStateWriting && WriteOutOrFail(s) != 0) return -1;
  // Read-ahead and pushed-back bytes are dropped.
  if (state != kStateNeutral) s->count = 0;
  SetIoState(s, kStateNeutral);
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
  if (!HasKind(s, kKindDisk) || s->error || !s->positionProc) return -1;
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

static_assert(ModeWord(kModeReadable | kModeWritable, kBufferFull, kKindString, true) == 0x11CC);

int OpenStringStream(Stream* s, std::uint8_t* buffer, std::uint32_t size, std::uint8_t state) {
  *s = Stream{};
  // Size 0 writes through the record's own byte, unbuffered.
  bool unbuffered = size == 0;
  s->mode = ModeWord(kModeReadable | kModeWritable, unbuffered ? kBufferNone : kBufferFull, kKindString, true);
  s->bufferStart = unbuffered ? &s->oneByte : buffer;
  s->bufferSize = unbuffered ? 1 : size;
  s->readProc = StringRead;
  s->writeProc = StringWrite;
  s->closeProc = StringClose;
  s->state = state;
  ResetBuffer(s);
  return 0;
}

}  // namespace varnock
