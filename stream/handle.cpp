#include "stream/handle.h"

#include <cstring>

#include "pool/memory_pool.h"
#include "stream/stream.h"

namespace varnock {

HandleRecord* HandleTable[kHandleSlots];
os::DWORD LastOsError;

namespace {

HandleRecord* RecordAt(std::uint32_t index) { return index < kHandleSlots ? HandleTable[index] : nullptr; }

// Removes every CR that an LF follows among the n bytes; returns the new length.
std::uint32_t JoinLineEnds(std::uint8_t* p, std::uint32_t n) {
  auto* cr = static_cast<std::uint8_t*>(std::memchr(p, '\r', n));
  if (!cr) return n;
  std::uint32_t out = static_cast<std::uint32_t>(cr - p);
  for (std::uint32_t i = out; i < n; ++i) {
    if (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n') continue;
    p[out++] = p[i];
  }
  return out;
}

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
// through a small buffer of our own: slower, but nothing is lost.
std::uint32_t WriteInPieces(HandleRecord* r, const std::uint8_t* data, std::uint32_t count) {
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
    *r = HandleRecord{os::GetStdHandle(kWhich[slot]), 1, 0, 0, 0};
  }
}

std::uint32_t HandleRead(std::uint32_t index, std::uint8_t* buffer, std::uint32_t count) {
  HandleRecord* r = RecordAt(index);
  if (!r || count == 0) return 0;
  std::uint32_t n = 0;
  if (r->hasCarry) {
    std::uint8_t carried = r->carry;
    r->hasCarry = 0;
    if (count == 1 && carried == '\r') {
      // One place for a carried CR: the next byte decides whether the pair
      // becomes one LF.
      std::uint8_t next;
      os::DWORD got = 0;
      if (!os::ReadFile(r->handle, &next, 1, &got, nullptr)) LastOsError = os::GetLastError();
      buffer[0] = got == 1 && next == '\n' ? '\n' : '\r';
      if (got == 1 && next != '\n') {
        r->hasCarry = 1;
        r->carry = next;
      }
      return 1;
    }
    buffer[n++] = carried;
  }
  os::DWORD got = 0;
  if (n < count && !os::ReadFile(r->handle, buffer + n, count - n, &got, nullptr)) {
    LastOsError = os::GetLastError();
    got = 0;
  }
  n += got;
  if (n == 0 || !r->textMode) return n;
  std::uint32_t kept = JoinLineEnds(buffer, n);
  if (got > 0 && buffer[kept - 1] == '\r') {
    // The byte after this CR has not been read: it may be the LF of a pair.
    // After a full read a file moves back to read the CR again; anything
    // else keeps it for the next read, which also delivers it if it finds
    // the end of input.
    --kept;
    bool movedBack = n == count && n > 1 && HandleSeek(index, -1, 1) != 0xFFFFFFFFu;
    if (!movedBack) {
      r->hasCarry = 1;
      r->carry = '\r';
    }
    // A read that was only that CR must still deliver something, or it
    // would look like the end of input.
    if (kept == 0) return HandleRead(index, buffer, count);
  }
  return kept;
}

std::uint32_t HandleWrite(std::uint32_t index, const std::uint8_t* data, std::uint32_t count) {
  HandleRecord* r = RecordAt(index);
  if (!r) return 0;
  std::uint32_t lfs = 0;
  if (r->textMode)
    for (std::uint32_t i = 0; i < count; ++i) lfs += data[i] == '\n';
  if (r->append) HandleSeek(index, 0, 2);
  if (lfs == 0) {
    std::uint32_t accepted;
    return WriteRaw(r, data, count, &accepted) ? accepted : 0;
  }
  std::uint64_t length = std::uint64_t{count} + lfs;
  auto* copy = length <= 0xFFFFFFFFu ? static_cast<std::uint8_t*>(PoolTake(static_cast<std::uint32_t>(length)))
                                     : nullptr;
  if (!copy) return WriteInPieces(r, data, count);
  std::uint32_t used;
  SplitLineEnds(data, count, copy, static_cast<std::uint32_t>(length), &used);
  std::uint32_t accepted;
  bool ok = WriteRaw(r, copy, static_cast<std::uint32_t>(length), &accepted);
  PoolReturn(copy);
  if (!ok) return 0;
  // A short write must look short to the caller, who compares against the
  // bytes it handed down: count only the data whose CR LF went out whole.
  if (accepted < length) return DataCovered(data, count, accepted);
  return accepted;
}

std::uint32_t HandleSeek(std::uint32_t index, std::int32_t offset, int whence) {
  HandleRecord* r = RecordAt(index);
  if (!r || whence < 0 || whence > 2) return 0xFFFFFFFFu;
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

int ConsoleReadProc(std::uint32_t index, std::uint8_t* buffer, std::uint32_t* count, std::uint32_t) {
  FlushStream(StandardOutput);  // a prompt without a line end shows before the wait
  std::uint32_t n = HandleRead(index, buffer, *count);
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

}  // namespace varnock
