#include "textfile/textfile.h"

namespace varnock {
namespace {

std::uint8_t inputLookahead[1];
std::uint8_t outputLookahead[1];
std::uint8_t errOutputLookahead[1];

TextFile inputRecord{StandardInput, inputLookahead, 1, StandardFileFlags(kFileModeRead, 2)};
TextFile outputRecord{StandardOutput, outputLookahead, 1, StandardFileFlags(kFileModeWrite, 4)};
TextFile errOutputRecord{StandardError, errOutputLookahead, 1, StandardFileFlags(kFileModeWrite, 8)};
static_assert(StandardFileFlags(kFileModeRead, 2) == 0x2112 && StandardFileFlags(kFileModeWrite, 4) == 0x4212 &&
              StandardFileFlags(kFileModeWrite, 8) == 0x8212);

// The file whose last ReadInteger stopped at the end of input, and whether
// a sign or digit came before it.
const TextFile* endedFile = nullptr;
bool endedAfterNumber = false;

std::uint32_t ModeOf(const TextFile* f) { return (f->flags & kFileModeMask) >> kFileModeShift; }
std::uint32_t KindOf(const TextFile* f) { return (f->flags & kFileKindMask) >> kFileKindShift; }

bool IsStandard(const Stream* s) { return s == StandardInput || s == StandardOutput || s == StandardError; }

// The two checks every operation starts with: a record with a stream, then a
// mode that allows the operation. Neither touches the stream.
bool PassesEntryChecks(TextFileVariable& file, std::uint32_t refusedMode) {
  if (!file || !file->stream) {
    SetIoResult(kIoNotOpen);
    return false;
  }
  if (ModeOf(file) == refusedMode) {
    SetIoResult(kIoWrongMode);
    return false;
  }
  return true;
}

bool IsBlank(int b) { return b == '\t' || b == '\n' || b == '\v' || b == '\r' || b == ' '; }
bool IsDigit(int b) { return b >= '0' && b <= '9'; }
bool IsLineEnd(int b) { return b == '\n' || b == '\r'; }

}  // namespace

TextFileVariable Input = &inputRecord;
TextFileVariable Output = &outputRecord;
TextFileVariable ErrOutput = &errOutputRecord;
IoResultWords IoResult = {0, 0};

void SetIoResult(std::int32_t code) {
  auto c = static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(code)));
  if (c > 0)
    IoResult = {c, 0};
  else
    IoResult = {0, c};
}

void GiveBackLookahead(TextFile* f) {
  if (!f->stream || IsStandard(f->stream)) return;
  ClearStreamFlags(f->stream);
  int sought = SeekStream(f->stream, -static_cast<std::int32_t>(f->elementSize), 1);
  SetIoResult(sought);
  f->flags &= ~kLookaheadMask;
}

void WriteString(TextFileVariable& file, CountedString text, std::int32_t width) {
  if (!PassesEntryChecks(file, kFileModeRead)) return;
  std::int32_t length = text.Length();
  if (width == -1) width = length;
  DiscardLookahead(file);
  Stream* s = file->stream;
  for (; width > length; --width) PutByte(' ', s);
  if (width > 0) PutBytes(text.Chars(), static_cast<std::uint32_t>(width), s);
}

std::int32_t WriteLn(TextFileVariable& file) {
  // A refused call has nothing flushed; it reports failure like a flush would.
  if (!PassesEntryChecks(file, kFileModeRead)) return -1;
  DiscardLookahead(file);
  PutByte('\n', file->stream);
  return FlushStream(file->stream);
}

std::int32_t ReadInteger(TextFileVariable& file) {
  if (!PassesEntryChecks(file, kFileModeWrite)) return 0;
  DiscardLookahead(file);
  Stream* s = file->stream;
  enum { kNone, kPlus, kMinus } sign = kNone;
  std::uint32_t value = 0;
  int b;
  for (;;) {
    b = GetByte(s);
    if (b < 0) break;
    if (IsDigit(b)) {
      if (sign == kNone) sign = kPlus;
      value = value * 10u + static_cast<std::uint32_t>(b - '0');
    } else if (sign != kNone) {
      break;
    } else if (b == '+') {
      sign = kPlus;
    } else if (b == '-') {
      sign = kMinus;
    } else if (!IsBlank(b)) {
      break;
    }
  }
  UngetByte(b, s);  // nothing is pushed back at the end of input
  endedFile = b < 0 ? file : nullptr;
  endedAfterNumber = sign != kNone;
  if (sign == kNone) {
    SetIoResult(kIoNoNumber);
    return 0;
  }
  if (sign == kMinus) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

void SkipLine(TextFileVariable& file) {
  DiscardLookahead(file);
  file->flags &= ~kEndOfLineMark;
  for (;;) {
    int b = GetByte(file->stream);
    if (b < 0 || IsLineEnd(b)) return;
  }
}

void FillLookahead(TextFileVariable& file) {
  DiscardLookahead(file);
  TextFile* f = file;
  f->flags = (f->flags & ~kLookaheadMask) | kLookaheadPending;
  for (std::uint32_t i = 0; i < f->elementSize; ++i) {
    int b = GetByte(f->stream);
    if (b < 0) {
      f->flags = (f->flags & ~kLookaheadMask) | kEndOfLineMark;
      return;
    }
    if (KindOf(f) == kFileKindText && IsLineEnd(b)) {
      f->lookahead[0] = ' ';
      UngetByte(b, f->stream);
      f->flags = (f->flags & ~kLookaheadMask) | kEndOfLineMark;
      return;
    }
    f->lookahead[i] = static_cast<std::uint8_t>(b);
  }
}

void ReadLn(TextFileVariable& file) {
  if (!PassesEntryChecks(file, kFileModeWrite)) return;
  SkipLine(file);
  if (file->stream != StandardInput) FillLookahead(file);
}

bool ReadStoppedAtEnd(TextFileVariable& file) { return file && endedFile == file; }

bool InputExhausted(TextFileVariable& file) { return ReadStoppedAtEnd(file) && !endedAfterNumber; }

}  // namespace varnock
