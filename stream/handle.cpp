#include "stream/handle.h"

#include <cstring>

#include "pool/memory_pool.h"
#include "stream/line_feeds.h"

namespace varnock {

HandleRecord* HandleTable[kHandleSlots];
os::DWORD LastOsError;

namespace {

HandleRecord* RecordAt(std::uint32_t index) { return index < kHandleSlots ? HandleTable[index] : nullptr; }

// Copies data to `to` with a CR before every LF, stopping when the next
// byte's expansion would not fit; returns the bytes stored, and in `used`
// the data consumed.
std::uint32_t SplitLineEnds(const std::uint8_t* data, std::uint32_t count, std::uint8_t* to, std::uint32_t room,
                            std::uint32_t* used) {
  std::uint32_t out = 0, i = 0;
  for (; i < count; ++i) {
    if (data[i] == '\n') {
      if (room - out < 2) break;
      to[out++] = '\r';
    } else if (room - out < 1) {
      break;
    }
    to[out++] = data[i];
  }
  *used = i;
  return out;
}

// Copies data to `to`, which has room for twice as much, with a CR before
// every LF, a run between line feeds at a time; returns the bytes stored.
// A run's copy may spill past its line feed, never past that room: what
// it spills is overwritten by what follows.
std::uint32_t ExpandLineEnds(const std::uint8_t* data, std::uint32_t count, std::uint8_t* to) {
  std::uint8_t* start = to;
  for (;;) {
    std::uint32_t run = CopyUntilLineFeed(data, count, to);
    to += run;
    if (run == count) break;
    *to++ = '\r';
    *to++ = '\n';
    data += run + 1;
    count -= run + 1;
  }
  return static_cast<std::uint32_t>(to - start);
}

// How many of the `count` data bytes the first `accepted` converted bytes
// cover completely.
std::uint32_t DataCovered(const std::uint8_t* data, std::uint32_t count, std::uint32_t accepted) {
  std::uint32_t i = 0;
  for (std::uint32_t taken = 0; i < count; ++i) {
    std::uint32_t width = data[i] == '\n' ? 2 : 1;
    if (taken + width > accepted) break;
    taken += width;
  }
  return i;
}

bool WriteRaw(HandleRecord* r, const std::uint8_t* bytes, std::uint32_t length, std::uint32_t* accepted) {
  os::DWORD written = 0;
  bool ok = os::WriteFile(r->handle, bytes, length, &written, nullptr);
  *accepted = written;
  if (!ok) LastOsError = os::GetLastError();
  return ok;
}

// Without a pool block for the converted copy, the data goes out in pieces
// through a small buffer of our own: slower, but nothing is lost. Out of
// line, so that the buffer makes only this rare path's frame one the stack
// protector guards, not every write's.
[[gnu::noinline, gnu::cold]] std::uint32_t WriteInPieces(HandleRecord* r, const std::uint8_t* data,
                                                         std::uint32_t count) {
  std::uint8_t piece[128];
  std::uint32_t total = 0, done = 0;
  while (done < count) {
    std::uint32_t used;
    std::uint32_t length = SplitLineEnds(data + done, count - done, piece, sizeof piece, &used);
    std::uint32_t accepted;
    if (!WriteRaw(r, piece, length, &accepted)) return 0;
    total += accepted;
    if (accepted < length) return DataCovered(data, count, total);
    done += used;
  }
  return total;
}

}  // namespace

void InstallStandardHandles() {
  static constexpr os::DWORD kWhich[3] = {os::STD_INPUT_HANDLE, os::STD_OUTPUT_HANDLE, os::STD_ERROR_HANDLE};
  for (unsigned slot = 0; slot < 3; ++slot) {
    auto* r = static_cast<HandleRecord*>(PoolTake(sizeof(HandleRecord)));
    HandleTable[slot] = r;
    if (!r) continue;
    *r = HandleRecord{os::GetStdHandle(kWhich[slot]), 1, 0, 0, 0, kTypeNotAsked};
  }
}

namespace {

// True when the handle has bytes that a read would return at once: a pipe
// with data waiting. Files, consoles and empty pipes say no.
bool BytesWaiting(HandleRecord* r) {
  os::DWORD available = 0;
  return os::PeekNamedPipe(r->handle, nullptr, 0, nullptr, &available, nullptr) && available > 0;
}

// Only a disk file reads a byte again after moving back over it. A pipe or
// a console may well accept the move and not move at all, so whether a
// move back can work is never judged by its result.
bool IsDiskFile(HandleRecord* r) {
  if (r->fileType == kTypeNotAsked) r->fileType = static_cast<std::uint8_t>(os::GetFileType(r->handle));
  return r->fileType == os::FILE_TYPE_DISK;
}

// Removes in place the CR of every CR LF pair among the n bytes, after a
// byte carried from the previous read. The bytes go out through one byte
// held back, `last`: a CR is only known to be half of a pair when the byte
// after it is seen. Output never runs ahead of input. Returns the bytes
// before the one held back; `holding` says whether there is one.
std::uint32_t JoinLineEnds(std::uint8_t* buffer, std::uint32_t n, bool* holding, std::uint8_t* last) {
  std::uint32_t out = 0;
  for (std::uint32_t i = 0; i < n; ++i) {
    std::uint8_t b = buffer[i];
    if (*holding && !(*last == '\r' && b == '\n')) buffer[out++] = *last;
    *last = b;
    *holding = true;
  }
  return out;
}

enum class HeldByte { kDeliver, kCarry, kReadAgain };

// Whether the byte held back after a read of n bytes (out delivered, room
// for count) goes out now, waits for the next read, or is read again.
HeldByte Hold(HandleRecord* r, std::uint32_t index, std::uint8_t last, std::uint32_t n, std::uint32_t count,
              std::uint32_t out) {
  if (last != '\r') return out == count ? HeldByte::kCarry : HeldByte::kDeliver;  // a carried byte pushed it out
  if (n == count && n > 1) {
    // After a full read the LF may be next: a disk file moves back to read
    // the CR again; any other handle, or a file that cannot move, keeps it.
    bool keep = !IsDiskFile(r) || os::MoveFailed(HandleSeek(index, -1, 1));
    return keep ? HeldByte::kCarry : HeldByte::kReadAgain;
  }
  // A short read: the CR waits for its LF only when the rest of the input
  // is already there, so a line ended by a lone CR is never held up
  // waiting for the player's next line. Whether its LF is there yet is a
  // matter of timing on a pipe, so "5\r\n" may arrive as "5\n" or as "5\r"
  // then "\n". The reader cannot tell the two apart: a CR and an LF each
  // end a line, and an LF before a number is a blank.
  bool keep = n == count || (n > 0 && BytesWaiting(r));
  return keep ? HeldByte::kCarry : HeldByte::kDeliver;
}

}  // namespace

std::uint32_t HandleRead(std::uint32_t index, std::uint8_t* buffer, std::uint32_t count) {
  HandleRecord* r = RecordAt(index);
  if (!r || count == 0) return 0;
  os::DWORD n = 0;
  if (!os::ReadFile(r->handle, buffer, count, &n, nullptr)) {
    LastOsError = os::GetLastError();
    n = 0;
  }
  if (!r->textMode) return n;
  bool holding = r->hasCarry;
  std::uint8_t last = r->carry;
  r->hasCarry = 0;
  std::uint32_t out = JoinLineEnds(buffer, n, &holding, &last);
  if (!holding) return 0;
  switch (Hold(r, index, last, n, count, out)) {
    case HeldByte::kDeliver: buffer[out++] = last; return out;
    case HeldByte::kReadAgain: return out;
    case HeldByte::kCarry: break;
  }
  r->hasCarry = 1;
  r->carry = last;
  // A read that gave only the held byte must not look like the end of input.
  return out > 0 ? out : HandleRead(index, buffer, count);
}

std::uint32_t HandleWrite(std::uint32_t index, const std::uint8_t* data, std::uint32_t count) {
  HandleRecord* r = RecordAt(index);
  if (!r) return 0;
  if (r->append) HandleSeek(index, 0, 2);
  const std::uint8_t* bytes = data;
  std::uint32_t length = count;
  std::uint8_t* copy = nullptr;
  if (r->textMode && count > 0 && (data[count - 1] == '\n' || std::memchr(data, '\n', count))) {
    // Room for a CR before every byte spares a pass to count the line
    // feeds; a line of the standard buffers fits a pool block either way.
    std::uint64_t room = std::uint64_t{count} * 2;
    copy = room <= 0xFFFFFFFFu ? static_cast<std::uint8_t*>(PoolTake(static_cast<std::uint32_t>(room))) : nullptr;
    if (!copy) return WriteInPieces(r, data, count);
    length = ExpandLineEnds(data, count, copy);
    bytes = copy;
  }
  std::uint32_t accepted;
  bool ok = WriteRaw(r, bytes, length, &accepted);
  PoolReturn(copy);
  if (!ok) return 0;
  // A short write must look short to the caller, who compares against the
  // bytes it handed down: count only the data whose CR LF went out whole.
  if (copy && accepted < length) return DataCovered(data, count, accepted);
  return accepted;
}

std::uint32_t HandleSeek(std::uint32_t index, std::int32_t offset, int whence) {
  HandleRecord* r = RecordAt(index);
  if (!r || whence < 0 || whence > 2) return os::INVALID_SET_FILE_POINTER;
  return os::SetFilePointer(r->handle, offset, nullptr, static_cast<os::DWORD>(whence));
}

int HandleClose(std::uint32_t index) {
  HandleRecord* r = RecordAt(index);
  if (!r) return -1;
  if (!os::CloseHandle(r->handle)) {
    LastOsError = os::GetLastError();
    return -1;
  }
  PoolReturn(r);
  HandleTable[index] = nullptr;
  return 0;
}

}  // namespace varnock
