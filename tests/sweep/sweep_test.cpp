// A whole process, start-up to exit, once for every operating-system call of
// a kind that the night makes: the Nth WriteFile, ReadFile, GlobalAlloc or
// CloseHandle fails, for N = 1, 2, ... until a run no longer reaches the
// fault. What each run must end with is worked out from fault-free runs.
#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "game/messages.h"
#include "pool/memory_pool.h"
#include "runtime/runtime.h"
#include "tests/unit/world.h"

namespace varnock {
namespace {

using fakeos::Call;

// The warning, 1, no number, 2 (the 6 is dropped), 3, 3: 17 points, E17.
const std::vector<std::string> kLines = {"4\r\n", "1\r\n", "x\r\n", "2 6\r\n", "3\r\n", "3\r\n"};
const os::UINT kFailed = static_cast<os::UINT>(-1);

struct Outcome {
  std::string out;                       // what standard output received
  std::vector<std::string> writes, log;  // the bytes of each WriteFile; every call
  os::UINT status = 0;
  std::vector<int> slotsLeft;  // handle slots still filled at the end
  bool outError = false, fired = false;
  unsigned calls = 0;  // of the swept kind
  std::size_t liveBlocks = 0;
};

Outcome Night(std::size_t lines, bool console, Call call = Call::GlobalAlloc, unsigned failing = 0) {
  ResetWorld();
  for (auto& slot : HandleTable) PoolReturn(std::exchange(slot, nullptr));  // start-up installs them
  PoolRelease();
  std::string input;
  std::vector<std::size_t> chunks;  // a line per read, as a console gives them
  for (std::size_t i = 0; i < lines; ++i) input += kLines[i], chunks.push_back(kLines[i].size());
  fakeos::Feed(fakeos::StdIn(), input, chunks);
  if (console) fakeos::State(fakeos::StdOut()).fileType = os::FILE_TYPE_CHAR;
  fakeos::Feed(fakeos::ConsoleIn(), "\r\n");
  unsigned before = fakeos::Calls(call);
  if (failing) fakeos::FailNth(call, failing);
  Outcome r;
  try {
    ProgramEntry();
  } catch (const fakeos::ProcessExit& exit) {
    r.status = exit.code;
  }
  r.out = fakeos::State(fakeos::StdOut()).output;
  for (const fakeos::Write& w : fakeos::Writes()) r.writes.push_back(w.bytes);
  r.log = fakeos::Log();
  for (int i = 0; i < 3; ++i)
    if (HandleTable[i]) r.slotsLeft.push_back(i);
  r.outError = StandardOutput->error;
  r.fired = fakeos::FaultFired();
  r.calls = fakeos::Calls(call) - before;
  PoolRelease();
  r.liveBlocks = fakeos::LiveBlocks();
  return r;
}

// The nth (1-based) call of a name in the log, with its handle: "ReadFile conin".
std::string NthCall(const Outcome& r, const std::string& name, unsigned n) {
  for (const std::string& line : r.log)
    if (line.starts_with(name + " ") && --n == 0) return line.substr(0, line.find(' ', name.size() + 1));
  return "";
}

// By fakeos::Call.
const char* const kNames[] = {"ReadFile", "WriteFile", "SetFilePointer", "CloseHandle", "GlobalAlloc"};

class Sweep : public ::testing::TestWithParam<std::tuple<Call, bool>> {};

TEST_P(Sweep, EveryFaultEndsTheProcessTheWayItImplies) {
  auto [call, console] = GetParam();
  const Outcome ref = Night(kLines.size(), console, call);
  const CountedString g3 = messages::G3;  // the game's status is that of its last line
  const auto lastLine = std::find(ref.writes.begin(), ref.writes.end(),
                                  std::string(reinterpret_cast<const char*>(g3.Chars()), g3.Length()) + "\r\n") -
                        ref.writes.begin();
  unsigned n = 1;
  for (;; ++n) {
    SCOPED_TRACE("failing call " + std::to_string(n));
    Outcome r = Night(kLines.size(), console, call, n);
    EXPECT_EQ(r.liveBlocks, 0u);
    if (!r.fired) {
      EXPECT_EQ(r.out, ref.out);
      EXPECT_EQ(r.status, ref.status);
      break;
    }
    Outcome want = ref;
    want.outError = false;
    if (call == Call::WriteFile) {  // that line lost, and all later output
      want.out.clear();
      for (unsigned i = 0; i + 1 < n; ++i) want.out += ref.writes[i];
      want.status = n <= lastLine + 1 ? kFailed : ref.status;  // not when the pause prompt is lost
      want.outError = true;
      EXPECT_EQ(r.writes.size(), n);
    } else if (call == Call::ReadFile && NthCall(ref, "ReadFile", n) == "ReadFile in") {
      want = Night(std::min<std::size_t>(n - 1, kLines.size()), console);  // the input ends there
    } else if (call == Call::ReadFile) {  // the console pause could not read the keyboard
      want.out += "exit routine error GetLastError=" + std::to_string(os::ERROR_GEN_FAILURE) + " \r\n";
    } else if (call == Call::CloseHandle) {  // the slot keeps its record
      std::string name = NthCall(ref, "CloseHandle", n);
      want.slotsLeft = {name == "CloseHandle in" ? 0 : name == "CloseHandle out" ? 1 : 2};
    } else if (r.out != ref.out) {  // GlobalAlloc: a standard handle without its record
      want = Night(0, console);  // standard input: as if it were empty
      if (r.out.empty()) want.out.clear(), want.status = kFailed, want.outError = true;  // standard output
      want.slotsLeft = r.slotsLeft;
    }
    EXPECT_EQ(r.out, want.out);
    EXPECT_EQ(r.status, want.status);
    EXPECT_EQ(r.outError, want.outError);
    EXPECT_EQ(r.slotsLeft, want.slotsLeft);
  }
  EXPECT_EQ(n - 1, ref.calls) << "every call the night makes was failed once";
  std::printf("%s%s: %u injection points\n", kNames[static_cast<int>(call)], console ? " (console)" : "", n - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, Sweep,
    ::testing::Combine(::testing::Values(Call::WriteFile, Call::ReadFile, Call::GlobalAlloc, Call::CloseHandle),
                       ::testing::Bool()),
    [](const auto& p) {
      return kNames[static_cast<int>(std::get<0>(p.param))] + std::string(std::get<1>(p.param) ? "OnConsole" : "ToFile");
    });

}  // namespace
}  // namespace varnock
