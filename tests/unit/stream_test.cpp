// Streams and the handle layer, driven through the fake operating system.
#include <algorithm>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "pool/memory_pool.h"
#include "stream/line_feeds.h"
#include "tests/unit/rows.h"
#include "tests/unit/world.h"

namespace varnock {
namespace {

using fakeos::Call;

class StreamTest : public World {};

void Put(const std::string& text, Stream* s) {
  for (char c : text) PutByte(static_cast<std::uint8_t>(c), s);
}

std::string DrainStdIn() {
  std::string got;
  for (int b; (b = GetByte(StandardInput)) >= 0;) got += static_cast<char>(b);
  return got;
}

TEST_F(StreamTest, LineGoesOutAsOneWriteWithCrLfAtItsLineFeed) {
  Put("2: Beer", StandardOutput);
  EXPECT_TRUE(fakeos::Writes().empty());
  PutByte('\n', StandardOutput);
  EXPECT_EQ(WritesTo(fakeos::StdOut()), std::vector<std::string>{"2: Beer\r\n"});
  PutBytes(reinterpret_cast<const std::uint8_t*>("\x80\x8b\xe9\xff 35\n4"), 9, StandardOutput);  // a run, 8-bit
  EXPECT_EQ(WritesTo(fakeos::StdOut()).back(), "\x80\x8b\xe9\xff 35\r\n");
}

TEST_F(StreamTest, FullLineBufferIsWrittenWhenTheNextByteArrives) {
  std::string text(300, 'x');
  Put(text.substr(0, 256), StandardOutput);
  EXPECT_TRUE(fakeos::Writes().empty());
  PutBytes(reinterpret_cast<const std::uint8_t*>("x"), 1, StandardOutput);  // the 257th, as a line's run
  ASSERT_EQ(fakeos::Writes().size(), 1u);
  EXPECT_EQ(fakeos::Writes()[0].bytes.size(), 256u);
  Put(text.substr(257), StandardOutput);
  EXPECT_EQ(fakeos::Writes().size(), 1u);  // the other 44 wait
  EXPECT_EQ(FlushStream(StandardOutput), 0);
  EXPECT_EQ(StdOutBytes(), text);
  Put(std::string(256, 'y') + "\n", StandardOutput);  // the buffer exactly full when the line feed comes
  EXPECT_EQ(WritesTo(fakeos::StdOut()).back(), "\r\n");
}

TEST_F(StreamTest, StandardOutputIsFlushedBeforeStandardInputIsRefilled) {
  FeedStdIn("7\r\n");
  Put("order? ", StandardOutput);
  EXPECT_EQ(GetByte(StandardInput), '7');
  EXPECT_EQ(fakeos::Log(), (std::vector<std::string>{"WriteFile out 7", "ReadFile in 256"}));
}

TEST_F(StreamTest, StandardErrorWritesEveryByteAtOnce) {
  PutByte('a', StandardError);
  PutByte('b', StandardError);
  WriteBlock("c\nd", 1, 3, StandardError);  // a block at once too, its line feed not last
  EXPECT_EQ(WritesTo(fakeos::StdErr()), (std::vector<std::string>{"a", "b", "c\r\nd"}));
}

TEST_F(StreamTest, PushedBackBytesComeBackLastInFirstOut) {
  FeedStdIn("xyz");
  EXPECT_EQ(GetByte(StandardInput), 'x');
  EXPECT_EQ(UngetByte('a', StandardInput), 'a');
  EXPECT_EQ(UngetByte('b', StandardInput), 'b');
  EXPECT_EQ(UngetByte('c', StandardInput), -1);  // a third is refused
  EXPECT_EQ(UngetByte(-1, StandardInput), -1);
  EXPECT_EQ(FlushStream(StandardInput), 0);  // read only: keeps them all
  EXPECT_EQ(DrainStdIn(), "bayz");
}

TEST_F(StreamTest, PushBackAfterEndOfInputClearsTheFlagAndIsDelivered) {
  EXPECT_EQ(GetByte(StandardInput), -1);
  EXPECT_TRUE(AtEndOfInput(StandardInput));
  UngetByte('q', StandardInput);
  EXPECT_FALSE(AtEndOfInput(StandardInput));
  EXPECT_EQ(GetByte(StandardInput), 'q');
}

TEST_F(StreamTest, ExhaustedInputAsksTheSystemAgainOnEveryRead) {
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(GetByte(StandardInput), -1);
    EXPECT_EQ(fakeos::Calls(Call::ReadFile), static_cast<unsigned>(i));
  }
}

TEST_F(StreamTest, ErrorFlagSticksUntilCleared) {
  EXPECT_EQ(GetByte(StandardOutput), -1);  // wrong direction
  EXPECT_TRUE(StandardOutput->error);
  EXPECT_EQ(PutByte('a', StandardOutput), -1);
  EXPECT_EQ(WriteBlock("b\n", 1, 2, StandardOutput), 0u);
  EXPECT_EQ(FlushStream(StandardOutput), -1);
  EXPECT_TRUE(fakeos::Writes().empty());
  ClearStreamFlags(StandardOutput);
  EXPECT_EQ(PutByte('\n', StandardOutput), '\n');
  EXPECT_EQ(StdOutBytes(), "\r\n");
}

TEST_F(StreamTest, FailedWriteDropsTheLineAndEverythingAfterIt) {
  fakeos::FailNth(Call::WriteFile, 2);
  Put("one\ntwo\nthree\n", StandardOutput);
  EXPECT_EQ(StdOutBytes(), "one\r\n");
  EXPECT_EQ(fakeos::Writes().size(), 2u);  // nothing tried after the failure
  EXPECT_EQ(FlushStream(StandardOutput), -1);
  EXPECT_EQ(FlushStream(nullptr), -1);  // every stream, one of them failed
  EXPECT_EQ(LastOsError, os::ERROR_GEN_FAILURE);
}

TEST_F(StreamTest, ShortWriteOfConvertedLineEndsIsAFailure) {
  // "a\nb\n" goes out as 6 bytes; taking 4 of them loses a line end even
  // though 4 is as many as were handed down.
  fakeos::State(fakeos::StdOut()).acceptLimit = 4;
  EXPECT_EQ(WriteBlock("a\nb\ncd", 3, 2, StandardOutput), 2u);  // the second item went out in part
  EXPECT_TRUE(StandardOutput->error);
  EXPECT_EQ(HandleWrite(1, reinterpret_cast<const std::uint8_t*>("a\nb\n"), 4), 3u);  // a, LF, b went out whole
  fakeos::State(fakeos::StdOut()).acceptLimit = 6;
  EXPECT_EQ(HandleWrite(1, reinterpret_cast<const std::uint8_t*>("a\nb\n"), 4), 6u);
}

TEST_F(StreamTest, WithoutPoolMemoryConvertedOutputGoesOutInPiecesUnchanged) {
  std::string text(127, 'x');  // the first piece ends where an LF would need two bytes
  for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + "\n";
  std::string expected;
  for (char c : text) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
  fakeos::FailNth(Call::GlobalAlloc, 1);  // a copy this large needs a block of its own
  auto n = HandleWrite(1, reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<std::uint32_t>(text.size()));
  EXPECT_TRUE(fakeos::FaultFired());
  EXPECT_EQ(n, expected.size());
  EXPECT_EQ(StdOutBytes(), expected);
  EXPECT_GT(fakeos::Writes().size(), 1u);
  const std::string lines(1500, '\n');
  const auto* lineFeeds = reinterpret_cast<const std::uint8_t*>(lines.data());
  fakeos::FailNth(Call::GlobalAlloc, 1);
  fakeos::FailNth(Call::WriteFile, 13);  // after twelve pieces, 1536 bytes, more than the data
  EXPECT_EQ(HandleWrite(1, lineFeeds, 1500), 0u);
  fakeos::FailNth(Call::GlobalAlloc, 1);
  fakeos::State(fakeos::StdOut()).acceptLimit = 100;  // the system takes part of the first piece
  EXPECT_EQ(HandleWrite(1, lineFeeds, 1500), 50u);    // 50 line ends whole, and nothing after them
}

TEST_F(StreamTest, WriteBlockGoesOutThroughItsLastLineFeed) {
  Put("> ", StandardOutput);
  EXPECT_EQ(WriteBlock("ab\ncd\nef", 1, 8, StandardOutput), 8u);
  EXPECT_EQ(WritesTo(fakeos::StdOut()), std::vector<std::string>{"> ab\r\ncd\r\n"});
  EXPECT_EQ(WriteBlock("\n", 1, 1, StandardOutput), 1u);
  EXPECT_EQ(StdOutBytes(), "> ab\r\ncd\r\nef\r\n");
  EXPECT_EQ(WriteBlock("abc", 2, 2, StandardOutput), 0u + 2u);  // items, partial counted
  PutByte('\n', StandardOutput);                                // what the block left for the next byte
  EXPECT_EQ(WritesTo(fakeos::StdOut()).back(), std::string("abc\0\r\n", 6));
}

// Lengths on both sides of the eight-byte step, the line feed anywhere or
// nowhere (lf == n), a second one after it: the bytes before the first are
// copied and counted, none past n is written (or, under ASan, read).
class CopyUntilLineFeedTest : public testing::TestWithParam<std::uint32_t> {};

TEST_P(CopyUntilLineFeedTest, AnyPositionAndNothingPastTheEnd) {
  const std::uint32_t n = GetParam();
  for (std::uint32_t lf = 0; lf <= n; ++lf) {
    std::vector<std::uint8_t> from(n), to(n + 8, '#');
    for (std::uint32_t i = 0; i < n; ++i) from[i] = static_cast<std::uint8_t>(i == lf || i == n - 1 ? '\n' : 'a' + i);
    if (lf == n && n > 0) from[n - 1] = 'z';
    ASSERT_EQ(CopyUntilLineFeed(from.data(), n, to.data()), lf);
    EXPECT_TRUE(std::equal(from.begin(), from.begin() + lf, to.begin())) << lf;
    EXPECT_EQ(std::count(to.begin() + n, to.end(), '#'), 8) << lf;
  }
}
INSTANTIATE_TEST_SUITE_P(, CopyUntilLineFeedTest, testing::Range(0u, 21u),
                         [](const auto& info) { return "Length" + std::to_string(info.param); });

TEST_F(StreamTest, CloseAllHookIsSetByTheFirstConsoleWrite) {
  FeedStdIn("1\n");
  GetByte(StandardInput);
  EXPECT_EQ(CloseAllHook, nullptr);
  PutByte('x', StandardOutput);
  EXPECT_EQ(CloseAllHook, &CloseAllStreams);
}

TEST_F(StreamTest, CloseStreamClosesTheHandleEvenWhenTheFlushFails) {
  Put("pending", StandardOutput);
  fakeos::FailNth(Call::WriteFile, 1);
  EXPECT_EQ(CloseStream(StandardOutput), -1);
  EXPECT_TRUE(StandardOutput->error);
  EXPECT_TRUE(fakeos::State(fakeos::StdOut()).closed);
  EXPECT_EQ(HandleTable[1], nullptr);
  auto calls = fakeos::Log().size();
  EXPECT_EQ(CloseStream(StandardOutput), 0);  // already closed: nothing runs
  EXPECT_EQ(fakeos::Log().size(), calls);
  EXPECT_EQ(PutByte('x', StandardOutput), -1);
}

TEST_F(StreamTest, CloseAllStreamsFlushesAndClosesEveryStandardHandleUnderTheStreamLock) {
  Put("tail", StandardOutput);
  CloseAllStreams();
  EXPECT_EQ(StdOutBytes(), "tail");
  for (os::HANDLE h : {fakeos::StdIn(), fakeos::StdOut(), fakeos::StdErr()}) EXPECT_TRUE(fakeos::State(h).closed);
  EXPECT_EQ(PutByte('x', StandardOutput), -1);
  PoolRelease();
  EXPECT_EQ(fakeos::LiveBlocks(), 0u);
}

TEST_F(StreamTest, SeekOnAConsoleStreamFailsAndChangesNothing) {
  FeedStdIn("ab");
  GetByte(StandardInput);
  Stream before = *StandardInput;
  EXPECT_EQ(SeekStream(StandardInput, 0, 0), -1);
  EXPECT_EQ(0, std::memcmp(&before, StandardInput, sizeof before));
}

TEST_F(StreamTest, EmptyHandleSlotReadsAsEndAndFailsWrites) {
  HandleTable[0] = HandleTable[1] = nullptr;
  EXPECT_EQ(GetByte(StandardInput), -1);
  EXPECT_TRUE(AtEndOfInput(StandardInput));
  EXPECT_EQ(PutByte('\n', StandardOutput), -1);
  EXPECT_TRUE(StandardOutput->error);
  EXPECT_EQ(HandleClose(1), -1);
  fakeos::FailNth(Call::CloseHandle, 1, os::ERROR_INVALID_HANDLE);
  EXPECT_EQ(HandleClose(2), -1);
  EXPECT_EQ(LastOsError, os::ERROR_INVALID_HANDLE);
}

TEST_F(StreamTest, StringStreamKeepsWhatFitsAndCountsTheRest) {
  std::uint8_t buffer[4];
  Stream s;
  OpenStringStream(&s, buffer, sizeof buffer, kStateWriting);
  EXPECT_EQ(WriteBlock("abcdef", 1, 6, &s), 6u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 4), "abcd");
  EXPECT_EQ(SeekStream(&s, 0, 0), -1);
}

// Blocks at the edges of the size classes, of the largest class and just
// above it, where each block comes from the system on its own.
class PoolBlocks : public World, public testing::WithParamInterface<std::uint32_t> {};

TEST_P(PoolBlocks, HoldTheirSizeAndAreReusedOrGivenBack) {
  const std::uint32_t size = GetParam();
  std::size_t systemBlocks = fakeos::LiveBlocks();
  auto* a = static_cast<std::uint8_t*>(PoolTake(size));
  auto* b = static_cast<std::uint8_t*>(PoolTake(size));
  std::memset(a, 0xFF, size);  // up to the next block's header, not into it
  std::memset(b, 0xFF, size);
  PoolReturn(b);
  PoolReturn(a);
  if (size > 2048) {
    EXPECT_EQ(fakeos::LiveBlocks(), systemBlocks);
  } else {  // the last one returned is the first taken again, and only once
    EXPECT_EQ(PoolTake(size), a);
    EXPECT_EQ(PoolTake(size), b);
  }
}
INSTANTIATE_TEST_SUITE_P(, PoolBlocks, testing::Values(16u, 17u, 2048u, 2049u, 70000u),
                         [](const auto& info) { return "Size" + std::to_string(info.param); });

// Whatever the chunking, the kind of handle and what a move back does,
// standard input delivers the bytes with every CR LF pair made one LF and
// nothing else changed.
std::string JoinCrLf(const std::string& in) {
  std::string out;
  for (std::size_t i = 0; i < in.size(); ++i)
    if (!(in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n')) out += in[i];
  return out;
}

struct Case {
  std::string input;
  std::vector<std::size_t> chunks;
};
const std::vector<Case>& CrLfCases() {
  static const std::vector<Case> cases = [] {
    std::vector<Case> cases = {
        {"12\r" + std::string(253, 'x') + "3\r", {}},  // CR ends a full read
        {std::string(255, 'a') + "\r\nb", {}},         // pair split at the buffer's edge
        {std::string(255, 'a') + "\r\r\nb", {}},
        {"12\r3\r\n", {3, 1, 3}},  // lone CR, then a pair split by the pipe
        {"\r\r\r\n\n\r", {1, 1, 1, 1, 1, 1}},
        {std::string(255, 'a') + "\r", {}},                                   // CR last of all
        {std::string(255, 'a') + "\r" + std::string(255, 'b') + "\r\n", {}},  // two full reads ending in CR
    };
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i) {
      Case c;
      std::size_t n = random() % 700;
      for (std::size_t k = 0; k < n; ++k) c.input += "ab\r\n7"[random() % 5];
      for (std::size_t left = n; left > 0;) {
        std::size_t chunk = 1 + random() % 300;
        c.chunks.push_back(chunk);
        left -= std::min(chunk, left);
      }
      cases.push_back(c);
    }
    return cases;
  }();
  return cases;
}

struct InputHandle {
  const char* name;
  os::DWORD type;
  bool seekable, seekIgnored;
  long long origin = 0;
};
class CrLfBecomesLf : public World, public testing::WithParamInterface<InputHandle> {};

TEST_P(CrLfBecomesLf, AcrossAnyChunking) {
  const InputHandle& h = GetParam();
  for (const Case& c : CrLfCases()) {
    ResetWorld();
    fakeos::HandleState& in = fakeos::State(fakeos::StdIn());
    std::tie(in.fileType, in.seekable, in.seekIgnored, in.origin) =
        std::tuple(h.type, h.seekable, h.seekIgnored, h.origin);
    // Only a pipe says what waits in it, which a CR ending a short read needs.
    FeedStdIn(c.input, h.type == os::FILE_TYPE_PIPE ? c.chunks : std::vector<std::size_t>{});
    ASSERT_EQ(DrainStdIn(), JoinCrLf(c.input)) << "input size " << c.input.size();
    EXPECT_LE(std::count(fakeos::Log().begin(), fakeos::Log().end(), "GetFileType in"), 1) << "once a handle";
  }
}
const InputHandle kInputHandles[] = {
    {"Pipe", os::FILE_TYPE_PIPE, false, false},
    {"PipeAcceptingMovesItIgnores", os::FILE_TYPE_PIPE, false, true},
    {"ConsoleAcceptingMovesItIgnores", os::FILE_TYPE_CHAR, false, true},
    {"File", os::FILE_TYPE_DISK, true, false},
    {"FileThatCannotMove", os::FILE_TYPE_DISK, false, false},
    {"FileWhoseFirstReadEndsAt4GiB", os::FILE_TYPE_DISK, true, false, 0x100000000ll - 256},
};
INSTANTIATE_TEST_SUITE_P(, CrLfBecomesLf, testing::ValuesIn(kInputHandles), rows::ByName);

// Whether the LF of a CR LF is in the pipe yet when a short read ends in
// the CR is a matter of timing: the line arrives as "5\n" or as "5\r" and
// then "\n". Both end the line for the reader; what must never happen is a
// wait for the LF while the player waits for the program.
class CrEndingAShortPipeRead : public World, public testing::WithParamInterface<bool> {};

TEST_P(CrEndingAShortPipeRead, EndsTheLineWhateverTheTiming) {
  const bool lfAlreadyThere = GetParam();
  FeedStdIn(lfAlreadyThere ? "5\r\n" : "5\r", {2, 1});
  std::string got;
  got += static_cast<char>(GetByte(StandardInput));
  got += static_cast<char>(GetByte(StandardInput));
  EXPECT_EQ(fakeos::Calls(Call::ReadFile), lfAlreadyThere ? 2u : 1u);
  FeedStdIn(lfAlreadyThere ? "" : "\n");
  if (got.back() == '\r') got += static_cast<char>(GetByte(StandardInput));
  EXPECT_TRUE(got == "5\n" || got == "5\r\n") << got;
}
INSTANTIATE_TEST_SUITE_P(, CrEndingAShortPipeRead, testing::Bool(),
                         [](const auto& info) { return info.param ? "LfAlreadyThere" : "LfLater"; });

TEST_F(StreamTest, EveryReadAsksForTheWholeBuffer) {
  FeedStdIn(std::string(255, 'a') + "\r\n" + std::string(300, 'b') + "\r", {256, 100, 1000});
  DrainStdIn();
  for (const std::string& call : fakeos::Log())
    if (call.starts_with("ReadFile")) {
      EXPECT_EQ(call, "ReadFile in 256");
    }
}

TEST_F(StreamTest, OneByteReadsStillJoinCrLf) {
  fakeos::HandleState& in = fakeos::State(fakeos::StdIn());
  std::tie(in.fileType, in.seekable) = std::tuple(os::FILE_TYPE_DISK, true);  // a file: one byte is no full read
  fakeos::Feed(fakeos::StdIn(), "a\r\r\nb\r");
  std::string got;
  for (std::uint8_t b; HandleRead(0, &b, 1) == 1;) got += static_cast<char>(b);
  EXPECT_EQ(got, "a\r\nb\r");
}

}  // namespace
}  // namespace varnock
