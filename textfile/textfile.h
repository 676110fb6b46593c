// Text files: a record over a stream with a one-element lookahead, the three
// standard files, the outcome word IoResult, and writing and reading in the
// manner of Pascal's write, writeln, read and readln.
#pragma once

#include <cstdint>

#include "stream/stream.h"
#include "textfile/counted_string.h"

namespace varnock {

struct TextFile {
  Stream* stream;             // null: the file is not open
  std::uint8_t* lookahead;    // storage for one element, read ahead by FillLookahead
  std::uint32_t elementSize;  // 1 for text files
  std::uint32_t flags;
};

// The flags word.
constexpr unsigned kFileKindShift = 4;
constexpr std::uint32_t kFileKindMask = 0xFu << kFileKindShift;
constexpr std::uint32_t kFileKindText = 1;
constexpr unsigned kFileModeShift = 8;
constexpr std::uint32_t kFileModeMask = 0xFu << kFileModeShift;
constexpr std::uint32_t kFileModeRead = 1;
constexpr std::uint32_t kFileModeWrite = 2;
constexpr unsigned kFileTagShift = 12;
constexpr unsigned kLookaheadShift = 20;
constexpr std::uint32_t kLookaheadMask = 0xFu << kLookaheadShift;
constexpr std::uint32_t kLookaheadPending = 1u << kLookaheadShift;
constexpr std::uint32_t kEndOfLineMark = 1u << 24;

// The flags word of a standard file, from its mode and tag; its low four
// bits hold 2, which nothing reads.
constexpr std::uint32_t StandardFileFlags(std::uint32_t mode, std::uint32_t tag) {
  return 2u | kFileKindText << kFileKindShift | mode << kFileModeShift | tag << kFileTagShift;
}

// A text-file variable holds a reference to its record, or none.
using TextFileVariable = TextFile*;
extern TextFileVariable Input;
extern TextFileVariable Output;
extern TextFileVariable ErrOutput;

// The outcome of the last text-file operation: at most one word is nonzero.
struct IoResultWords {
  std::int16_t positive;
  std::int16_t negative;
};
extern IoResultWords IoResult;

constexpr int kIoOk = 0;
constexpr int kIoWrongMode = 1;
constexpr int kIoNotOpen = 9;
constexpr int kIoNoNumber = 34;
constexpr int kIoSeekFailed = -1;

void SetIoResult(std::int32_t code);
void GiveBackLookahead(TextFile* file);
// The first step of every operation, with two jobs: IoResult is reset, and a
// file that read an element ahead gives it back to its stream (files on the
// standard streams never do).
inline void DiscardLookahead(TextFileVariable& file) {
  IoResult = {0, 0};
  if (file && (file->flags & kLookaheadMask) == kLookaheadPending) GiveBackLookahead(file);
}

// The text right-aligned in a field of `width` (-1: its own length),
// truncated when narrower, nothing for 0 or less.
void WriteString(TextFileVariable& file, CountedString text, std::int32_t width);
// Ends the line and flushes; the flush status (0 or -1).
std::int32_t WriteLn(TextFileVariable& file);

// A signed decimal number, modulo 2^32; blanks and line ends before it are
// skipped; the byte that ends it stays in the stream.
std::int32_t ReadInteger(TextFileVariable& file);
// Drops the rest of the line, its line end included.
void ReadLn(TextFileVariable& file);
void SkipLine(TextFileVariable& file);
void FillLookahead(TextFileVariable& file);

// True right after a ReadInteger that stopped at the end of input, with or
// without a number before it: that read took the rest of the line already.
bool ReadStoppedAtEnd(TextFileVariable& file);
// True right after a ReadInteger that met the end of input before any sign
// or digit: the input has nothing more to give.
bool InputExhausted(TextFileVariable& file);

}  // namespace varnock
