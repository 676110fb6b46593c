// Start-up, the ends of the process and the exception report, on the fake
// operating system, with the real night as the game.
#include <algorithm>
#include <climits>

#include "pool/runtime_locks.h"
#include "runtime/format.h"
#include "runtime/runtime.h"
#include "tests/unit/rows.h"
#include "tests/unit/world.h"

namespace varnock {
namespace {

class RuntimeTest : public World {
 protected:
  // Runs the process from its entry point; returns its exit code.
  static os::UINT RunProcess() { return fakeos::RunProcess(ProgramEntry); }
  static std::vector<std::string> LogFrom(const std::string& first) {
    const auto& log = fakeos::Log();
    auto it = std::find(log.begin(), log.end(), first);
    return {it, log.end()};
  }
};

TEST_F(RuntimeTest, NightOnAConsoleEndsWithThePauseThenClosesEverything) {
  fakeos::State(fakeos::StdOut()).fileType = os::FILE_TYPE_CHAR;
  FeedStdIn("5\n");
  fakeos::Feed(fakeos::ConsoleIn(), "\r\n");
  EXPECT_EQ(RunProcess(), 0u);
  std::string out = StdOutBytes();
  EXPECT_TRUE(
      out.ends_with("send me money if you want, but I don't really care.\r\n\r\n \r\n Press Enter to continue \r\n"));
  EXPECT_EQ(LogFrom("GetFileType out"),
            (std::vector<std::string>{"GetFileType out", "WriteFile out 32",
                                      "CreateFileA CONIN$ 3221225472 3 sa(12,null,1) 3 0 null", "ReadFile conin 1",
                                      "CloseHandle in", "CloseHandle out", "CloseHandle err", "ExitProcess 0"}));
}

TEST_F(RuntimeTest, StartUpRegistersTheReportFirstThenTheLocksInOrder) {
  FeedStdIn("5\n");
  RunProcess();
  EXPECT_EQ(fakeos::Log().front(), "RegisterExceptionHandler");
  EXPECT_TRUE(fakeos::HandlerRegistered());
  // Lock 0 is held across the pause check and released before the streams
  // are closed under lock 2; every lock is deleted at the very end.
  std::string order;
  for (const auto& e : fakeos::LockEvents())
    for (unsigned i = 0; i < kRuntimeLockCount; ++i)
      if (e.lock == &RuntimeLocks[i] && (i != kPoolLock || e.what == 'I' || e.what == 'D'))
        order += std::string(1, e.what) + std::to_string(i);
  EXPECT_TRUE(order.ends_with("I0I1I2I3I4E0L0E2L2D0D1D2D3D4")) << order;
}

TEST_F(RuntimeTest, PoolLockIsTakenInsideTheExitAndStreamLocksNeverAround) {
  fakeos::State(fakeos::StdOut()).fileType = os::FILE_TYPE_CHAR;
  FeedStdIn("5\n");
  RunProcess();
  int exitDepth = 0, streamDepth = 0, poolDepth = 0;
  bool insideExit = false, insideStreams = false;
  for (const auto& e : fakeos::LockEvents()) {
    int step = e.what == 'E' ? 1 : e.what == 'L' ? -1 : 0;
    if (e.lock == &RuntimeLocks[kExitLock] || e.lock == &RuntimeLocks[kStreamListLock]) {
      EXPECT_EQ(poolDepth, 0);  // never taken inside the pool lock
    }
    if (e.lock == &RuntimeLocks[kExitLock]) exitDepth += step;
    if (e.lock == &RuntimeLocks[kStreamListLock]) streamDepth += step;
    if (e.lock == &RuntimeLocks[kPoolLock]) {
      poolDepth += step;
      insideExit |= step > 0 && exitDepth > 0;
      insideStreams |= step > 0 && streamDepth > 0;
    }
  }
  EXPECT_TRUE(insideExit);     // the prompt's converted copy
  EXPECT_TRUE(insideStreams);  // the handle records given back
  EXPECT_EQ(exitDepth + streamDepth + poolDepth, 0);
}

// The pause comes with a console for output, whether or not output still
// works; the status is always the night's.
struct PauseRow {
  const char* name;
  os::DWORD type;
  bool fails;
  bool prompt;
  unsigned consoleReads;
  os::UINT status;
};
class PauseAndStatus : public RuntimeTest, public testing::WithParamInterface<PauseRow> {};

TEST_P(PauseAndStatus, ByWhatStandardOutputIs) {
  const PauseRow& row = GetParam();
  fakeos::State(fakeos::StdOut()).fileType = row.type;
  if (row.fails) fakeos::FailNth(fakeos::Call::WriteFile, 1);
  FeedStdIn("5\n");
  fakeos::Feed(fakeos::ConsoleIn(), "\r\n");
  EXPECT_EQ(RunProcess(), row.status);
  EXPECT_EQ(StdOutBytes().find("Press Enter") != std::string::npos, row.prompt);
  EXPECT_EQ(std::count(fakeos::Log().begin(), fakeos::Log().end(), "ReadFile conin 1"), row.consoleReads);
}
const PauseRow kPauses[] = {
    {"Disk", os::FILE_TYPE_DISK, false, false, 0, 0},
    {"Pipe", os::FILE_TYPE_PIPE, false, false, 0, 0},
    {"FailingPipe", os::FILE_TYPE_PIPE, true, false, 0, 0xFFFFFFFFu},
    {"FailingConsole", os::FILE_TYPE_CHAR, true, false, 1, 0xFFFFFFFFu},  // no prompt to see, yet still a pause
};
INSTANTIATE_TEST_SUITE_P(, PauseAndStatus, testing::ValuesIn(kPauses), rows::ByName);

// A console reports an end of input (Ctrl-D, Ctrl-Z) once and reads on
// after it. The turn that meets it reads no further: no line typed later is
// swallowed, and an end before any number ends the night at once.
struct EndRow {
  const char* name;
  const char* typed;
  std::vector<std::size_t> reads;  // 0: the end of input
  unsigned readFiles;
  bool drinksOne;
};
class EndOfInputFromAConsole : public RuntimeTest, public testing::WithParamInterface<EndRow> {};

TEST_P(EndOfInputFromAConsole, EndsTheTurnsReading) {
  const EndRow& row = GetParam();
  FeedStdIn(row.typed, row.reads);
  RunProcess();
  EXPECT_EQ(fakeos::Calls(fakeos::Call::ReadFile), row.readFiles);
  EXPECT_NE(StdOutBytes().find("this is a bit stronger!"), std::string::npos);
  EXPECT_EQ(StdOutBytes().find("you gulp one down") != std::string::npos, row.drinksOne);
}
const EndRow kEnds[] = {
    {"OnAnEmptyLine", "3\r\n1\r\n", {3, 0, 3}, 2, false},  // the 1 is never read
    {"AfterANumber", "31\r\n", {1, 0, 3}, 4, true},        // 3 then the end, then 1 on the next turn
};
INSTANTIATE_TEST_SUITE_P(, EndOfInputFromAConsole, testing::ValuesIn(kEnds), rows::ByName);

TEST_F(RuntimeTest, UnreadableConsolePrintsTheErrorLineAndStillEnds) {
  fakeos::State(fakeos::StdOut()).fileType = os::FILE_TYPE_CHAR;
  fakeos::State(fakeos::ConsoleIn()).closed = true;
  FeedStdIn("5\n");
  EXPECT_EQ(RunProcess(), 0u);
  EXPECT_TRUE(StdOutBytes().ends_with(" Press Enter to continue \r\nexit routine error GetLastError=6 \r\n"));
}

TEST_F(RuntimeTest, AbortSkipsThePauseAndTheClosing) {
  fakeos::State(fakeos::StdOut()).fileType = os::FILE_TYPE_CHAR;
  EXPECT_EQ(fakeos::RunProcess([] {
              PutByte('x', StandardOutput);
              AbortProgram();
            }),
            1u);
  EXPECT_EQ(ProcessAborted, 1u);
  EXPECT_TRUE(StdOutBytes().empty());  // the buffered byte is lost
  EXPECT_EQ(fakeos::Calls(fakeos::Call::CloseHandle), 0u);
  EXPECT_EQ(LogFrom("GetFileType out").size(), 0u);
}

struct ReportRow {
  os::DWORD code, flags;
  std::uintptr_t eip;
  const char* text;  // null: no box
};
class ExceptionReport : public RuntimeTest, public testing::WithParamInterface<ReportRow> {};

TEST_P(ExceptionReport, ShowsTheCodeAndAddressUnlessUnwinding) {
  const ReportRow& row = GetParam();
  os::EXCEPTION_REGISTRATION_RECORD record{nullptr, ReportUnhandledException};
  os::RegisterExceptionHandler(&record);
  EXPECT_EQ(fakeos::Raise(row.code, row.flags, row.eip), os::ExceptionContinueSearch);
  if (!row.text) {
    EXPECT_TRUE(fakeos::MessageBoxes().empty());
    return;
  }
  ASSERT_EQ(fakeos::MessageBoxes().size(), 1u);
  const auto& box = fakeos::MessageBoxes().back();
  EXPECT_EQ(box.text, row.text);
  EXPECT_EQ(box.text.size(), 60u);
  EXPECT_EQ(box.caption, "Unhandled Exception");
  EXPECT_EQ(box.type, os::MB_TASKMODAL);
  EXPECT_EQ(box.owner, nullptr);
}
INSTANTIATE_TEST_SUITE_P(
    , ExceptionReport,
    testing::Values(ReportRow{0xC0000005, 0, 0x0040A1B2,
                              "Unhandled exception: c0000005\nAt address:          0040a1b2\n"},
                    ReportRow{0x80000003, 0, 0x1F, "Unhandled exception: 80000003\nAt address:          0000001f\n"},
                    ReportRow{0x3, 0, 0xDEADBEEF, "Unhandled exception: 00000003\nAt address:          deadbeef\n"},
                    ReportRow{0xC0000005, os::EXCEPTION_UNWINDING, 1, nullptr},
                    ReportRow{0xC0000005, os::EXCEPTION_COLLIDED_UNWIND, 1, nullptr}),
    [](const auto& info) { return rows::Name(info.index, info.param.text ? info.param.text : "unwinding"); });

TEST_F(RuntimeTest, ALanguageExceptionEndsTheProcessAbnormally) {
  os::EXCEPTION_REGISTRATION_RECORD record{nullptr, ReportUnhandledException};
  os::RegisterExceptionHandler(&record);
  EXPECT_EQ(fakeos::RunProcess([] { fakeos::Raise(os::EXCEPTION_LANGUAGE, 0, 1); }), 1u);
  EXPECT_EQ(ProcessAborted, 1u);
}

struct FormatRow {
  const char* format;
  FormatArg value;
  const char* text;
};
class FormattedPrinting : public testing::TestWithParam<FormatRow> {};

TEST_P(FormattedPrinting, Row) {
  const FormatRow& row = GetParam();
  char buffer[96];
  FormatBufferArgs(buffer, sizeof buffer, row.format, &row.value, 1);
  EXPECT_STREQ(buffer, row.text);
}
const FormatRow kFormats[] = {
    {"%i", 0, "0"},
    {"%i", -1, "-1"},
    {"%i", INT_MIN, "-2147483648"},
    {"%i", INT_MAX, "2147483647"},
    {"%08x", 0xABC, "00000abc"},
    {"%08x", std::uint64_t{0x123456789A}, "123456789a"},
    {"%x%%", 255, "ff%"},
    {"a%qb", 1, "a%qb"},
    {"%i %i", 1, "1 %i"},  // a conversion without an argument stands as written
    {"%0200x", 1, "0000000000000000000000000000000000000000000000000000000000000001"},  // at most 64 wide
    {"100%", 1, "100%"},
};
INSTANTIATE_TEST_SUITE_P(, FormattedPrinting, testing::ValuesIn(kFormats),
                         [](const auto& info) { return rows::Name(info.index, info.param.format); });

TEST(FormatToBuffer, KeepsWhatFitsAndItsZero) {
  char small[5];
  EXPECT_EQ(FormatToBuffer(small, sizeof small, "%i", 123456), 4u);
  EXPECT_STREQ(small, "1234");
  EXPECT_EQ(FormatToBuffer(small, 1, "%i", 5), 0u);  // room for the terminating zero alone
}

}  // namespace
}  // namespace varnock
