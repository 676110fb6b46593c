// The built programs as whole processes: a night on a pseudo-terminal and its
// console pause, redirected, closed and broken standard handles, huge input,
// and how a process dies of a fault or an uncaught exception.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/process/handles.h"

namespace {

using handles::Put;
using handles::Slurp;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What reaches standard output, CR LF line ends and all.
const std::string kMenu =
    "1: Vesh-Kol' Drop down mixture\r\n2: Beer\r\n3: Vodka\r\n4: some prissy fruit beverage\r\n"
    "5: rubbing alcohol\r\n6: Irish Whisky\r\n";
const std::string kGreeting = "hey pilot, welcome to the Thessara Varnock\r\nwhat can I get you?\r\n" + kMenu;
const std::string kVodka = "this is a bit stronger!\r\n";
const std::string kFarewell =
    "\r\n-=GAME OVER=-\r\n\r\n\r\nthank you for playing Varnock choose your own adventure\r\n"
    "send me money if you want, but I don't really care.\r\n";
const std::string kNight331 = kGreeting + kVodka + kMenu + kVodka + kMenu +
                              "you gulp one down. It tastes funny, kinda... ethnic\r\n\r\n\r\n"
                              "you streak Yux's office\r\n" +
                              kFarewell;
const std::string kNight333 = kGreeting + kVodka + kMenu + kVodka + kMenu + kVodka +
                              "\r\nYou consumed so much alcohol in one night that you are a legend!\r\n" + kFarewell;
const std::string kNoInputNight = kGreeting + "\r\n" + kFarewell;
const std::string kPause = "\r\n \r\n Press Enter to continue \r\n";

// The read end of a pipe that holds `text` and then ends.
int Feed(const std::string& text) {
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0 || write(p[1], text.data(), text.size()) != ssize_t(text.size())) std::abort();
  close(p[1]);
  return p[0];
}

// A file that a child writes one of its handles to.
struct Capture {
  int fd = memfd_create("capture", MFD_CLOEXEC);
  ~Capture() { close(fd); }
};

// Starts a program with the handles that `arrange` sets up in the child;
// given `master`, on a new pseudo-terminal that is its controlling terminal.
// VARNOCK_RUNNER, read when the tests run, holds the words to start it with
// (an emulator, for a cross build).
pid_t Start(const std::function<void()>& arrange, int* master = nullptr, const char* program = VARNOCK_PROGRAM,
            const char* argument = nullptr) {
  pid_t pid = master ? forkpty(master, nullptr, nullptr, nullptr) : fork();
  if (pid == 0) {
    arrange();
    signal(SIGPIPE, SIG_DFL);  // the test's own signal dispositions do not reach the program
    rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    std::vector<std::string> words;
    std::istringstream runner(std::getenv("VARNOCK_RUNNER") ? std::getenv("VARNOCK_RUNNER") : "");
    for (std::string word; runner >> word;) words.push_back(word);
    words.push_back(program);
    if (argument) words.push_back(argument);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  if (master && pid > 0) fcntl(*master, F_SETFD, FD_CLOEXEC);
  return pid;
}

// A started process; killed and reaped if the test leaves it running.
struct Child {
  pid_t pid;
  int status = 0;
  long peakRssKiB = 0;
  ~Child() {
    if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
  }
  // Waits up to `limit` for the end; false while it still runs.
  bool Wait(std::chrono::milliseconds limit) {
    for (auto until = Clock::now() + limit;; std::this_thread::sleep_for(2ms)) {
      rusage use{};
      if (wait4(pid, &status, WNOHANG, &use) == pid) return pid = 0, peakRssKiB = use.ru_maxrss, true;
      if (Clock::now() >= until) return false;
    }
  }
  bool Exited(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
};

// The master side of a pseudo-terminal: what the screen has shown.
struct Screen {
  int fd;
  std::string shown{};
  size_t seen = 0;
  ~Screen() { close(fd); }
  // What arrives within `ms`; false when nothing did or the slave side is gone.
  bool Read(int ms) {
    pollfd p{fd, POLLIN, 0};
    char b[4096];
    ssize_t n = poll(&p, 1, ms) == 1 ? read(fd, b, sizeof b) : 0;
    if (n > 0) shown.append(b, size_t(n));
    return n > 0;
  }
  // Waits for `text` to show after what was waited for before.
  bool Await(const std::string& text, std::chrono::milliseconds limit = 20s) {
    size_t at;
    for (auto until = Clock::now() + limit; (at = shown.find(text, seen)) == std::string::npos;)
      if (!Read(100) && Clock::now() >= until) return false;
    seen = at + text.size();
    return true;
  }
  void Drain() {
    while (Read(20000)) {}
  }
};

// A night on the controlling terminal, the choices typed there or piped into
// standard input; either way the pause waits for Enter at the terminal.
class TerminalNight : public testing::TestWithParam<bool> {};

TEST_P(TerminalNight, FarewellThenPromptThenWaitsForEnter) {
  const bool typed = GetParam();
  int in = Feed("3\n3\n1\n"), master;
  Child child{Start(
      [&] {
        termios t;  // the screen shows exactly what is written; input stays line by line, Enter a line feed
        tcgetattr(0, &t);
        t.c_lflag &= ~tcflag_t{ECHO};
        t.c_oflag &= ~tcflag_t{OPOST};
        tcsetattr(0, TCSANOW, &t);
        if (!typed) Put(in, 0);
      },
      &master)};
  close(in);
  Screen screen{master};
  for (const char* choice : {"3\r", "3\r", "1\r"}) {
    ASSERT_TRUE(screen.Await(kMenu)) << screen.shown;
    ASSERT_TRUE(!typed || write(master, choice, 2) == 2);
  }
  ASSERT_TRUE(screen.Await(kPause)) << screen.shown;
  EXPECT_FALSE(child.Wait(300ms)) << "ended without waiting for Enter";
  EXPECT_EQ(screen.shown, kNight331 + kPause);
  ASSERT_EQ(write(master, "\r", 1), 1);
  ASSERT_TRUE(child.Wait(10s)) << "still waiting after Enter";
  screen.Drain();
  EXPECT_EQ(screen.shown, kNight331 + kPause) << "nothing more after Enter";
  EXPECT_TRUE(child.Exited(0)) << child.status;
}
INSTANTIATE_TEST_SUITE_P(, TerminalNight, testing::Bool(), [](auto& info) { return info.param ? "Typed" : "Piped"; });

// Ctrl-D at the terminal: the turn that meets it reads no further. On an
// empty line it ends the night at once; after digits (pressed twice: once
// to hand over the digits, once as the end) the number is served, and the
// next line typed is the next turn's.
struct EndKey {
  const char* name;
  std::vector<std::pair<std::string, std::string>> typedThenShown;
};
void PrintTo(const EndKey& c, std::ostream* os) { *os << c.name; }
class TerminalEnd : public testing::TestWithParam<EndKey> {};

TEST_P(TerminalEnd, EndsTheTurnsReadingAtOnce) {
  int master;
  Child child{Start(
      [] {
        termios t;
        tcgetattr(0, &t);
        t.c_lflag &= ~tcflag_t{ECHO};
        t.c_oflag &= ~tcflag_t{OPOST};
        tcsetattr(0, TCSANOW, &t);
      },
      &master)};
  Screen screen{master};
  ASSERT_TRUE(screen.Await(kGreeting)) << screen.shown;
  std::string expected = kGreeting;
  for (const auto& [typed, shown] : GetParam().typedThenShown) {
    ASSERT_EQ(write(master, typed.data(), typed.size()), ssize_t(typed.size()));
    ASSERT_TRUE(screen.Await(shown, 1s)) << screen.shown;
    expected += shown;
  }
  ASSERT_EQ(write(master, "\r", 1), 1);
  ASSERT_TRUE(child.Wait(10s)) << "still waiting after Enter";
  screen.Drain();
  EXPECT_EQ(screen.shown, expected);
  EXPECT_TRUE(child.Exited(0)) << child.status;
}
INSTANTIATE_TEST_SUITE_P(, TerminalEnd,
                         testing::Values(EndKey{"OnAnEmptyLine",
                                                {{"3\r", kVodka + kMenu}, {"\x04", "\r\n" + kFarewell + kPause}}},
                                         EndKey{"AfterANumber",
                                                {{"3\x04\x04", kVodka + kMenu},
                                                 {"6\r", "Hmmm.. This is good!\r\n\r\n" + kMenu},
                                                 {"\x04", "\r\n" + kFarewell + kPause}}}),
                         [](auto& info) { return info.param.name; });

// Output on a terminal, but no controlling terminal: the console cannot be
// read, the failed read is reported on the output, and the night's status stands.
TEST(TerminalWithoutControl, PauseReportsTheFailedRead) {
  int master, slave, in = Feed("3\n3\n1\n");
  termios raw;
  cfmakeraw(&raw);
  ASSERT_EQ(openpty(&master, &slave, nullptr, &raw, nullptr), 0);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  Capture err;
  Child child{Start([&] { setsid(), Put(in, 0), Put(slave, 1), Put(err.fd, 2); })};
  close(slave);
  close(in);
  Screen screen{master};
  screen.Drain();
  ASSERT_TRUE(child.Wait(10s)) << "waited for a console it cannot have";
  EXPECT_EQ(screen.shown, kNight331 + kPause + "exit routine error GetLastError=6 \r\n");
  EXPECT_EQ(Slurp(err.fd), "");
  EXPECT_TRUE(child.Exited(0)) << child.status;
}

// Standard handles redirected, closed or broken, with a controlling terminal
// present: no pause, nothing on the terminal, and the night's status.
enum Handle { kChoices331, kClosed, kFile, kPipe, kReaderGone };
struct Redirection {
  const char* name;
  Handle in, out;
  int status;
  const std::string* transcript;  // of a file or pipe output
};
void PrintTo(const Redirection& c, std::ostream* os) { *os << c.name; }
class Redirected : public testing::TestWithParam<Redirection> {};

TEST_P(Redirected, NoPauseAndTheNightsStatus) {
  const Redirection& c = GetParam();
  Capture file;
  int in = Feed("3\n3\n1\n"), p[2], master;
  ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
  if (c.out == kReaderGone) close(p[0]);
  Child child{Start(
      [&] {
        c.in == kClosed ? close(0) : dup2(in, 0);
        c.out == kClosed ? close(1) : dup2(c.out == kFile ? file.fd : p[1], 1);
      },
      &master)};
  close(in);
  close(p[1]);
  Screen screen{master};
  ASSERT_TRUE(child.Wait(10s)) << "waited although output is no console";
  screen.Drain();
  EXPECT_TRUE(child.Exited(c.status)) << "status " << child.status;
  EXPECT_EQ(screen.shown, "") << "on the terminal";
  if (c.transcript) {
    EXPECT_EQ(Slurp(c.out == kFile ? file.fd : p[0]), *c.transcript) << "output";
  }
  if (c.out != kReaderGone) close(p[0]);
}
INSTANTIATE_TEST_SUITE_P(, Redirected,
                         testing::Values(Redirection{"ToFile", kChoices331, kFile, 0, &kNight331},
                                         Redirection{"ToPipe", kChoices331, kPipe, 0, &kNight331},
                                         Redirection{"OutputClosed", kChoices331, kClosed, 255, nullptr},
                                         Redirection{"OutputReaderGone", kChoices331, kReaderGone, 255, nullptr},
                                         Redirection{"InputClosed", kClosed, kFile, 0, &kNoInputNight}),
                         [](auto& info) { return info.param.name; });

// Input of VARNOCK_HUGE_INPUT bytes (1 GiB unless set), made as it is read.
struct Huge {
  const char* name;
  std::string before, each, after;  // `each` repeated to the huge size
};
void PrintTo(const Huge& c, std::ostream* os) { *os << c.name; }
class HugeInput : public testing::TestWithParam<Huge> {};

// A night with `each` repeated to `size` bytes in its input.
std::string Play(const Huge& h, std::uint64_t size, Child& child) {
  int p[2];
  Capture file;
  if (pipe2(p, O_CLOEXEC) != 0) std::abort();
  Child maker{fork()};
  if (maker.pid == 0) {
    close(p[0]);
    std::string block;
    while (block.size() < 65536) block += h.each;
    auto put = [&](const char* d, size_t n) { write(p[1], d, n) == ssize_t(n) || (_exit(1), 0); };
    put(h.before.data(), h.before.size());
    for (std::uint64_t left = size, n; left > 0; left -= n) put(block.data(), n = std::min(left, block.size()));
    put(h.after.data(), h.after.size());
    _exit(0);
  }
  child.pid = Start([&] { setsid(), Put(p[0], 0), Put(file.fd, 1); });
  close(p[0]);
  close(p[1]);
  child.Wait(9min);
  return Slurp(file.fd);
}

TEST_P(HugeInput, FlatMemoryAndTheRightNight) {
  const char* set = std::getenv("VARNOCK_HUGE_INPUT");
  const std::uint64_t size = set ? std::strtoull(set, nullptr, 0) : std::uint64_t{1} << 30;
  Child small{0}, huge{0};
  EXPECT_EQ(Play(GetParam(), 1, small), kNight333);
  auto start = Clock::now();
  EXPECT_EQ(Play(GetParam(), size, huge), kNight333);
  std::printf("%llu bytes: %.1f s, peak RSS %ld KiB (%ld KiB with one repeat)\n", (unsigned long long)size,
              std::chrono::duration<double>(Clock::now() - start).count(), huge.peakRssKiB, small.peakRssKiB);
  ASSERT_EQ(huge.pid, 0) << "still running";
  EXPECT_TRUE(huge.Exited(0)) << huge.status;
  EXPECT_LT(huge.peakRssKiB, small.peakRssKiB + 4096);
}
INSTANTIATE_TEST_SUITE_P(, HugeInput,
                         testing::Values(Huge{"LongLineAfterAChoice", "3", "x", "\n3\n3\n"},
                                         Huge{"BlankLinesBeforeAChoice", "", "\n", "3\n3\n3\n"}),
                         [](auto& info) { return info.param.name; });

// A fault with no controlling terminal: the report on standard error, then
// death by the signal. A write to data the start-up relocated is one: those
// pages are read-only once the program runs. An uncaught C++ exception (no signal): status 1 and
// no report. Either way output still in the buffers is lost.
struct Crash {
  const char* name;
  const char* fault;
  int signal;
  const char* codes;
  const char* program = FAULTING_NIGHT;
};
void PrintTo(const Crash& c, std::ostream* os) { *os << c.name; }
class Death : public testing::TestWithParam<Crash> {};

TEST_P(Death, ReportOnStandardErrorOnlyForAFault) {
  const Crash& c = GetParam();
  Capture out, err;
  int in = Feed("");
  Child child{Start([&] { setsid(), Put(in, 0), Put(out.fd, 1), Put(err.fd, 2); }, nullptr, c.program, c.fault)};
  close(in);
  ASSERT_TRUE(child.Wait(60s));
  const std::string report = Slurp(err.fd), site = Slurp(out.fd);  // the faulting function's address
  if (!c.signal) {
    EXPECT_TRUE(child.Exited(1)) << "status " << child.status;
    EXPECT_EQ(report + site, "");
    return;
  }
  EXPECT_TRUE(WIFSIGNALED(child.status) && WTERMSIG(child.status) == c.signal) << "status " << child.status;
  std::smatch m;
  ASSERT_TRUE(std::regex_match(report, m,
                               std::regex(std::string("Unhandled Exception\nUnhandled exception: (") + c.codes +
                                          ")\nAt address:          ([0-9a-f]{8}|[1-9a-f][0-9a-f]{8,})\n")))
      << report;
  const std::uintptr_t at = std::stoull(m[2], nullptr, 16), start = std::stoull(site, nullptr, 16);
  EXPECT_TRUE(at >= start && at < start + 1024) << m[2] << " is not in the function at " << site;
  EXPECT_EQ(site.find("pending"), std::string::npos);
}
#if defined(__aarch64__)  // a trap there is BRK, a breakpoint
constexpr Crash kTrap{"IllegalInstruction", "trap", SIGTRAP, "80000003"};
#else
constexpr Crash kTrap{"IllegalInstruction", "trap", SIGILL, "c000001d"};
#endif
INSTANTIATE_TEST_SUITE_P(, Death,
                         testing::Values(Crash{"NullWrite", "null-write", SIGSEGV, "c0000005"},
                                         Crash{"WriteToRelocatedData", "relocated-write", SIGSEGV, "c0000005"},
                                         Crash{"IntegerDivideByZero", "divide", SIGFPE, "c0000094"}, kTrap,
                                         Crash{"StackOverflow", "overflow", SIGSEGV, "c0000005|c00000fd"},
                                         Crash{"UncaughtException", "throw", 0, "", THROWING_NIGHT}),
                         [](auto& info) { return info.param.name; });

}  // namespace
