// A whole process, start-up to its real exit, once for every operating-
// system call of a kind that the night makes: the Nth WriteFile, ReadFile,
// GlobalAlloc or CloseHandle fails, for N = 1, 2, ... until a run no longer
// reaches the fault. Each run is a fresh wrapped_night, the night over the
// double that wraps the real POSIX seam, on real handles: standard input
// typed ahead at a terminal (a line a read, as a console gives them) or
// waiting in a pipe, standard output to a file, a pipe or that terminal,
// which is then the console the pause reads. What each run must end with is
// worked out from fault-free runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "game/messages.h"
#include "platform/os.h"
#include "tests/process/handles.h"

namespace {

using handles::Put;
using handles::Slurp;

// The warning, 1, no number, 2 (the 6 is dropped), 3, 3: 17 points, E17.
const std::string kInput = "4\r\n1\r\nx\r\n2 6\r\n3\r\n3\r\n";
const os::UINT kFailed = static_cast<os::UINT>(-1);

enum class Setup { kTypedToFile, kThroughPipes, kOnConsole };

struct Call {
  std::string name;
  long handle;
  unsigned asked, moved;
};

struct Outcome {
  std::string out;          // what standard output received
  std::vector<Call> calls;  // of the kinds that can fail, in order
  os::UINT status = 0;
  std::string slotsLeft;  // handle slots still filled at the end ("-": none)
  bool outError = false, fired = false;
  std::size_t liveBlocks = 0;
  std::string trouble;  // how a run went wrong that did not end with its report
};

// Everything that comes out of the descriptors until each one ends (a
// pipe's writer or a terminal's slave side gone), within 30 s.
bool Collect(std::vector<std::pair<int, std::string*>> from) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!from.empty() && std::chrono::steady_clock::now() < until) {
    pollfd p{from.back().first, POLLIN, 0};
    if (poll(&p, 1, 100) < 1) continue;
    char b[4096];
    ssize_t n = read(p.fd, b, sizeof b);
    if (n > 0)
      from.back().second->append(b, size_t(n));
    else
      from.pop_back();
  }
  return from.empty();
}

// A night on `input`, with the fault `failing` ("WriteFile 3") if any.
Outcome Night(const std::string& input, Setup setup, const std::string& failing = "") {
  const bool typed = setup != Setup::kThroughPipes;
  int report[2], in[2] = {-1, -1}, out[2] = {-1, -1}, master = -1, slave = -1;
  int file = memfd_create("out", MFD_CLOEXEC), err = memfd_create("err", MFD_CLOEXEC);
  if (pipe2(report, O_CLOEXEC) != 0) std::abort();
  if (typed) {
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) std::abort();
    termios t;  // the line as typed, nothing echoed, the output as written
    tcgetattr(slave, &t);
    t.c_lflag &= ~tcflag_t{ECHO | ECHONL};
    t.c_iflag &= ~tcflag_t{ICRNL | INLCR | IGNCR};
    t.c_oflag &= ~tcflag_t{OPOST};
    tcsetattr(slave, TCSANOW, &t);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    const std::string keys = input + "\x04\r\n";  // the end of input, then Enter for the pause
    if (write(master, keys.data(), keys.size()) != ssize_t(keys.size())) std::abort();
  } else if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 ||
             write(in[1], input.data(), input.size()) != ssize_t(input.size())) {
    std::abort();
  }
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    if (typed) ioctl(slave, TIOCSCTTY, 0);
    Put(typed ? slave : in[0], 0);
    Put(setup == Setup::kOnConsole ? slave : setup == Setup::kTypedToFile ? file : out[1], 1);
    Put(err, 2);
    Put(report[1], 3);
    if (!failing.empty()) setenv("VARNOCK_FAIL", failing.c_str(), 1);
    signal(SIGPIPE, SIG_DFL);
    execl(WRAPPED_NIGHT, WRAPPED_NIGHT, nullptr);
    _exit(127);
  }
  for (int fd : {slave, in[0], in[1], out[1], report[1]})
    if (fd >= 0) close(fd);
  Outcome r;
  std::string reported, shown;
  std::vector<std::pair<int, std::string*>> from{{report[0], &reported}};
  if (typed) from.push_back({master, &shown});
  if (out[0] >= 0) from.push_back({out[0], &shown});
  if (!Collect(from)) kill(pid, SIGKILL), r.trouble = "still running after 30 s; ";
  int status = 0;
  waitpid(pid, &status, 0);
  r.out = setup == Setup::kTypedToFile ? Slurp(file) : shown;
  std::istringstream lines(reported);
  for (std::string word; lines >> word;) {
    if (word != "end") {
      Call c{word, 0, 0, 0};
      int injected;
      lines >> c.handle >> c.asked >> c.moved >> injected;
      r.calls.push_back(c);
      continue;
    }
    lines >> r.status >> r.outError >> r.slotsLeft >> r.liveBlocks >> r.fired;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != int(r.status & 0xFF)) r.trouble += "exit status wrong; ";
    status = -1;
  }
  if (status != -1) r.trouble += "no report (status " + std::to_string(status) + "): " + Slurp(err);
  for (int fd : {report[0], out[0], master, file, err})
    if (fd >= 0) close(fd);
  return r;
}

// The nth (1-based) call of a name.
const Call* NthCall(const Outcome& r, const std::string& name, unsigned n) {
  for (const Call& c : r.calls)
    if (c.name == name && --n == 0) return &c;
  return nullptr;
}

unsigned Count(const Outcome& r, const std::string& name) {
  return unsigned(std::count_if(r.calls.begin(), r.calls.end(), [&](const Call& c) { return c.name == name; }));
}

// The bytes of each WriteFile, all of them standard output's.
std::vector<std::string> Writes(const Outcome& r) {
  std::vector<std::string> writes;
  std::size_t at = 0;
  for (const Call& c : r.calls)
    if (c.name == "WriteFile") writes.push_back(r.out.substr(at, c.moved)), at += c.moved;
  EXPECT_EQ(at, r.out.size());
  return writes;
}

// The input the first n reads of standard input delivered.
std::string InputRead(const Outcome& r, unsigned n) {
  std::size_t bytes = 0;
  for (const Call& c : r.calls)
    if (c.name == "ReadFile" && n > 0 && n--) bytes += c.handle == 0 ? c.moved : 0;
  return kInput.substr(0, bytes);
}

const char* const kSetups[] = {"TypedToFile", "ThroughPipes", "OnConsole"};

class Sweep : public ::testing::TestWithParam<std::tuple<const char*, Setup>> {};

TEST_P(Sweep, EveryFaultEndsTheProcessTheWayItImplies) {
  const auto [call, setup] = GetParam();
  const Outcome ref = Night(kInput, setup);
  ASSERT_EQ(ref.trouble, "");
  EXPECT_EQ(ref.out.ends_with(" Press Enter to continue \r\n"), setup == Setup::kOnConsole);  // on the console alone
  const std::vector<std::string> writes = Writes(ref);
  const varnock::CountedString g3 = varnock::messages::G3;  // the game's status is that of its last line
  const auto lastLine = std::find(writes.begin(), writes.end(),
                                  std::string(reinterpret_cast<const char*>(g3.Chars()), g3.Length()) + "\r\n") -
                        writes.begin();
  unsigned n = 1;
  for (;; ++n) {
    SCOPED_TRACE("failing call " + std::to_string(n));
    Outcome r = Night(kInput, setup, call + (" " + std::to_string(n)));
    ASSERT_EQ(r.trouble, "");
    EXPECT_EQ(r.liveBlocks, 0u);
    if (!r.fired) {
      EXPECT_EQ(r.out, ref.out);
      EXPECT_EQ(r.status, ref.status);
      break;
    }
    Outcome want = ref;
    want.outError = false;
    const Call* failed = NthCall(ref, call, n);
    if (call == std::string("WriteFile")) {  // that line lost, and all later output
      want.out.clear();
      for (unsigned i = 0; i + 1 < n; ++i) want.out += writes[i];
      want.status = n <= lastLine + 1 ? kFailed : ref.status;  // not when the pause prompt is lost
      want.outError = true;
      EXPECT_EQ(Count(r, "WriteFile"), n);
    } else if (call == std::string("ReadFile") && failed->handle == 0) {
      want = Night(InputRead(ref, n - 1), setup);  // the input ends there
    } else if (call == std::string("ReadFile")) {  // the console pause could not read the keyboard
      want.out += "exit routine error GetLastError=" + std::to_string(os::ERROR_GEN_FAILURE) + " \r\n";
    } else if (call == std::string("CloseHandle")) {  // the slot keeps its record
      want.slotsLeft = std::to_string(failed->handle);
    } else if (r.out != ref.out) {  // GlobalAlloc: a standard handle without its record
      want = Night("", setup);      // standard input: as if it were empty
      if (r.out.empty()) want.out.clear(), want.status = kFailed, want.outError = true;  // standard output
      want.slotsLeft = r.slotsLeft;
    }
    EXPECT_EQ(r.out, want.out);
    EXPECT_EQ(r.status, want.status);
    EXPECT_EQ(r.outError, want.outError);
    EXPECT_EQ(r.slotsLeft, want.slotsLeft);
  }
  EXPECT_EQ(n - 1, Count(ref, call)) << "every call the night makes was failed once";
  std::printf("%s %s: %u injection points\n", call, kSetups[int(setup)], n - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, Sweep,
    ::testing::Combine(::testing::Values("WriteFile", "ReadFile", "GlobalAlloc", "CloseHandle"),
                       ::testing::Values(Setup::kTypedToFile, Setup::kThroughPipes, Setup::kOnConsole)),
    [](const auto& p) { return std::get<0>(p.param) + std::string(kSetups[int(std::get<1>(p.param))]); });

}  // namespace
