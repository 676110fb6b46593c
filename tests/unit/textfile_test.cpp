// Text files over the standard streams and over a file that can move back.
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "tests/unit/rows.h"
#include "tests/unit/world.h"
#include "textfile/textfile.h"

namespace varnock {
namespace {

class TextFileTest : public World {};

constexpr CountedText<7> kBeer{"2: Beer"};

// A counted string's length byte must match its text, or it does not compile.
static_assert(std::is_constructible_v<CountedText<7>, const char (&)[8]>);
static_assert(!std::is_constructible_v<CountedText<6>, const char (&)[8]>);
static_assert(!std::is_constructible_v<CountedText<8>, const char (&)[8]>);

TEST_F(TextFileTest, StandardFilesStartBoundToTheStandardStreams) {
  EXPECT_EQ(Input->stream, StandardInput);
  EXPECT_EQ(Output->stream, StandardOutput);
  EXPECT_EQ(ErrOutput->stream, StandardError);
  EXPECT_EQ(Input->flags, 0x2112u);
  EXPECT_EQ(Output->flags, 0x4212u);
  EXPECT_EQ(ErrOutput->flags, 0x8212u);
}

struct ReadRow {
  std::string line;
  std::int32_t value;
  std::int16_t positive;
};
class ReadingTable : public World, public testing::WithParamInterface<ReadRow> {};

TEST_P(ReadingTable, NumberCodeAndTheRestOfTheLine) {
  const ReadRow& row = GetParam();
  // The next line tells whether ReadLn took exactly this line's rest.
  FeedStdIn(row.line + "\r\n9\n");
  EXPECT_EQ(ReadInteger(Input), row.value);
  EXPECT_EQ(IoResult.positive, row.positive);
  EXPECT_EQ(IoResult.negative, 0);
  ReadLn(Input);
  EXPECT_EQ(ReadInteger(Input), 9);
}
const ReadRow kReadRows[] = {
    {"7", 7, 0},
    {"  7", 7, 0},
    {"+5", 5, 0},
    {"-3", -3, 0},
    {"7abc", 7, 0},
    {"7 8", 7, 0},
    {"abc", 0, 34},
    {"99999", 99999, 0},
    {"4294967297", 1, 0},
    {"-65535", -65535, 0},
    {"- 5", 0, 0},
    {"+", 0, 0},
    {"+-5", 0, 0},
    {"5-3", 5, 0},
    {"\f5", 0, 34},
    {"\t5", 5, 0},
    {"5\xff", 5, 0},
    {"\x80", 0, 34},
    {"\n \n\t\n\v\r 42", 42, 0},
    {"-2147483648", INT32_MIN, 0},
    {"-4294967295", 1, 0},
    {std::string("\0005", 2), 0, 34},  // a NUL, then 5
};
INSTANTIATE_TEST_SUITE_P(, ReadingTable, testing::ValuesIn(kReadRows),
                         [](const auto& info) { return rows::Name(info.index, info.param.line); });

struct EndRow {
  std::string input;
  std::int32_t value;
  std::int16_t positive;
  bool exhausted;
};
class EndOfInput : public World, public testing::WithParamInterface<EndRow> {};

TEST_P(EndOfInput, BeforeAndAfterDigits) {
  const EndRow& row = GetParam();
  FeedStdIn(row.input);
  EXPECT_EQ(ReadInteger(Input), row.value);
  EXPECT_EQ(IoResult.positive, row.positive);
  ReadLn(Input);
  EXPECT_EQ(InputExhausted(Input), row.exhausted);
}
INSTANTIATE_TEST_SUITE_P(, EndOfInput,
                         testing::Values(EndRow{"", 0, 34, true}, EndRow{" \n\n", 0, 34, true},
                                         EndRow{"12", 12, 0, false}, EndRow{"-", 0, 0, false}),
                         [](const auto& info) { return rows::Name(info.index, info.param.input); });

TEST_F(TextFileTest, ReadLnStopsAtTheLineEndWithoutWaitingForMore) {
  FeedStdIn("5\r\n", {3});
  FeedStdIn("6\n");
  ReadInteger(Input);
  ReadLn(Input);
  EXPECT_EQ(fakeos::Calls(fakeos::Call::ReadFile), 1u);
}

struct WidthRow {
  std::int32_t width;
  std::string bytes;
};
class WidthTable : public World, public testing::WithParamInterface<WidthRow> {};

TEST_P(WidthTable, PadsCutsOrWritesNothing) {
  WriteString(Output, kBeer, GetParam().width);
  EXPECT_EQ(WriteLn(Output), 0);
  EXPECT_EQ(StdOutBytes(), GetParam().bytes + "\r\n");
}
INSTANTIATE_TEST_SUITE_P(, WidthTable,
                         testing::Values(WidthRow{-1, "2: Beer"}, WidthRow{7, "2: Beer"}, WidthRow{10, "   2: Beer"},
                                         WidthRow{3, "2: "}, WidthRow{0, ""}, WidthRow{-5, ""}),
                         [](const auto& info) {
                           return (info.param.width < 0 ? "Minus" : "") + std::to_string(std::abs(info.param.width));
                         });

TEST_F(TextFileTest, EmptyAndLongestStrings) {
  static constexpr CountedText<0> empty{""};
#define FIFTY_ONE "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXY"
  static constexpr CountedText<255> longest{FIFTY_ONE FIFTY_ONE FIFTY_ONE FIFTY_ONE FIFTY_ONE};
#undef FIFTY_ONE
  WriteString(Output, empty, -1);
  WriteLn(Output);
  WriteString(Output, longest, -1);
  WriteLn(Output);
  std::string expected(reinterpret_cast<const char*>(longest.bytes + 1), 255);
  EXPECT_EQ(StdOutBytes(), "\r\n" + expected + "\r\n");
}

TextFile unopened{nullptr, nullptr, 1, 0x0212};
TextFileVariable none = nullptr, closed = &unopened;
struct RefusedRow {
  const char* name;
  TextFileVariable* file;
  std::int16_t code;
};
class RefusedWrite : public World, public testing::WithParamInterface<RefusedRow> {};

TEST_P(RefusedWrite, WritesNothingAndLeavesItsCode) {
  WriteString(*GetParam().file, kBeer, -1);
  EXPECT_EQ(IoResult.positive, GetParam().code);
  WriteLn(*GetParam().file);
  EXPECT_EQ(IoResult.positive, GetParam().code);
  EXPECT_TRUE(fakeos::Log().empty());
}
const RefusedRow kRefused[] = {{"ToInput", &Input, 1}, {"ToNoFile", &none, 9}, {"ToAFileNotOpen", &closed, 9}};
INSTANTIATE_TEST_SUITE_P(, RefusedWrite, testing::ValuesIn(kRefused), rows::ByName);

TEST_F(TextFileTest, RefusedReadsReadNothingAndLeaveTheirCode) {
  EXPECT_EQ(ReadInteger(Output), 0);
  EXPECT_EQ(IoResult.positive, 1);
  ReadLn(ErrOutput);
  EXPECT_EQ(IoResult.positive, 1);
  EXPECT_TRUE(fakeos::Log().empty());
  WriteLn(Output);  // the next call that passes its checks resets the code
  EXPECT_EQ(IoResult.positive, 0);
}

TEST_F(TextFileTest, WriteLnReportsTheFirstFailedFlushAndEveryOneAfter) {
  EXPECT_EQ(WriteLn(Output), 0);
  fakeos::FailNth(fakeos::Call::WriteFile, 1);
  WriteString(Output, kBeer, -1);
  EXPECT_EQ(WriteLn(Output), -1);
  EXPECT_EQ(WriteLn(Output), -1);
  EXPECT_EQ(IoResult.positive, 0);
  EXPECT_EQ(IoResult.negative, 0);
  EXPECT_EQ(StdOutBytes(), "\r\n");
}

// A text file on a stream that can move back: a disk-kind stream over a
// string, binary, so positions are plain offsets.
struct DiskFile {
  static inline std::string content;
  static inline bool seekFails = false;
  std::uint8_t buffer[8];
  std::uint8_t lookahead[1];
  Stream stream{};
  TextFile record{};
  TextFileVariable variable = &record;

  explicit DiskFile(const std::string& text) {
    content = text;
    seekFails = false;
    stream.mode = static_cast<std::uint16_t>(kModeReadable | (kBufferFull << kBufferingShift) |
                                             (kKindDisk << kKindShift) | kModeBinary);
    stream.bufferStart = stream.cursor = buffer;
    stream.bufferSize = sizeof buffer;
    stream.readProc = [](std::uint32_t, std::uint8_t* to, std::uint32_t* count, std::uint32_t) {
      Stream* s = Current();
      auto at = static_cast<std::size_t>(s->position);
      std::size_t n = at < content.size() ? std::min<std::size_t>(*count, content.size() - at) : 0;
      std::memcpy(to, content.data() + at, n);
      *count = static_cast<std::uint32_t>(n);
      return n ? 0 : 2;
    };
    stream.positionProc = [](std::uint32_t, std::int32_t*, int, std::uint32_t) {  // the target is taken as it is
      return seekFails ? 1 : 0;
    };
    stream.closeProc = [](std::uint32_t) { return 0; };
    record = TextFile{&stream, lookahead, 1, 0x0112};
    Current() = &stream;
  }
  static Stream*& Current() {
    static Stream* s;
    return s;
  }
};

TEST_F(TextFileTest, ReadLnOnAFileReadsAheadAndTheNextReadGivesItBack) {
  DiskFile f("12 x\n34\n");
  EXPECT_EQ(ReadInteger(f.variable), 12);
  ReadLn(f.variable);
  EXPECT_EQ(f.record.flags & kLookaheadMask, kLookaheadPending);
  EXPECT_EQ(f.lookahead[0], '3');
  EXPECT_EQ(ReadInteger(f.variable), 34);  // the seek-back returned the 3
  EXPECT_EQ(f.record.flags & kLookaheadMask, 0u);
  EXPECT_EQ(IoResult.negative, 0);
}

TEST_F(TextFileTest, FillLookaheadAtALineEndKeepsTheLineEndAndMarksIt) {
  DiskFile f("1\n\n7");
  ReadInteger(f.variable);
  ReadLn(f.variable);  // the next line is empty
  EXPECT_EQ(f.lookahead[0], ' ');
  EXPECT_TRUE(f.record.flags & kEndOfLineMark);
  EXPECT_EQ(f.record.flags & kLookaheadMask, 0u);
  EXPECT_EQ(ReadInteger(f.variable), 7);
  ReadLn(f.variable);  // at the end: nothing read ahead to give back
  EXPECT_EQ(ReadInteger(f.variable), 0);
}

TEST_F(TextFileTest, FailedSeekBackLeavesMinusOneAndClearsThePendingElement) {
  DiskFile f("1\n2\n");
  ReadInteger(f.variable);
  ReadLn(f.variable);
  DiskFile::seekFails = true;
  DiscardLookahead(f.variable);
  EXPECT_EQ(IoResult.negative, -1);
  EXPECT_EQ(IoResult.positive, 0);
  EXPECT_EQ(f.record.flags & kLookaheadMask, 0u);
}

TEST_F(TextFileTest, StandardStreamsNeverSeekBackWhateverTheirState) {
  Input->flags |= kLookaheadPending;
  FeedStdIn("8\n");
  EXPECT_EQ(ReadInteger(Input), 8);
  EXPECT_EQ(IoResult.negative, 0);
  EXPECT_EQ(Input->flags & kLookaheadMask, kLookaheadPending);
}

}  // namespace
}  // namespace varnock
