// Whole nights played by the built program: standard input from a file or a
// pipe, standard output to a file or a pipe, every byte and the exit status
// compared. VARNOCK_PROGRAM names another program to run, VARNOCK_RUNNER the
// words to run it with (e.g. VARNOCK_RUNNER=/usr/lib/wine/wine).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// What the player reads, one message a line; R2, R4_WARNING, R5 and E17 are
// the messages that always come in pairs or threes.
const Lines W1{"hey pilot, welcome to the Thessara Varnock"}, W2{"what can I get you?"};
const Lines MENU{"1: Vesh-Kol' Drop down mixture",
                 "2: Beer",
                 "3: Vodka",
                 "4: some prissy fruit beverage",
                 "5: rubbing alcohol",
                 "6: Irish Whisky"};
const Lines R1{"you gulp one down. It tastes funny, kinda... ethnic"};
const Lines R2{"It must be from the planet Americ, because it's in a can", "and it tastes like distilled water!"};
const Lines R3{"this is a bit stronger!"};
const Lines R4{"the bartender looks at you. The whole wing looks at you."};
const Lines R4_WARNING{"finally the WC talks to you aside:",
                       "\"Look, I know you're new around here, but we drink seriously.", "Now order something else.\""};
const Lines R4x{"I don't think you are gonna fit in here son. Go back to the Korvanis"};
const Lines R5{"you immediately pass out.", "The officers hold a short ceremony, and resume drinking."};
const Lines R6{"Hmmm.. This is good!"}, RX{"we don't have that!"};
const Lines E13{"Congrats, you made a night without doing something stupid!"};
const Lines E14{"You get in a brawl with Obi-Wan Kenobi, he cuts off your arm."};
const Lines E15{"you get carded, and you forgot your ID, sorry."}, E16{"you streak Yux's office"};
const Lines E17{"you wake up next to CPT Vintershade's fiance!", "There goes your carrer"};
const Lines E18{"You consumed so much alcohol in one night that you are a legend!"};
const Lines BLANK{""};
const Lines GREETING = Join({W1, W2, MENU});
Lines Finale(const Lines& ending) {
  return Join({BLANK,
               ending,
               BLANK,
               {"-=GAME OVER=-"},
               BLANK,
               BLANK,
               {"thank you for playing Varnock choose your own adventure",
                "send me money if you want, but I don't really care."}});
}
const Lines NO_ENDING = Finale({});                                                       // after an early end
const Lines WORKED_NIGHT = Join({GREETING, R3, MENU, R3, MENU, R1, BLANK, Finale(E16)});  // 3, 3, 1
template <class Sequence>
Sequence Times(int n, const Sequence& once) {
  Sequence all;
  while (n-- > 0) all.insert(all.end(), once.begin(), once.end());
  return all;
}

struct Night {
  Night(std::string n, std::string in, std::initializer_list<Lines> out, std::vector<std::string> a = {})
      : name(n), input(in), args(a) {
    for (const std::string& line : Join(out)) transcript += line + "\r\n";
  }
  std::string name, input, transcript;
  std::vector<std::string> args;  // given on the command line
};
void PrintTo(const Night& night, std::ostream* os) { *os << night.name; }

const std::vector<Night> kNights = {
    {"WorkedNight", "3\n3\n1\n", {WORKED_NIGHT}},
    {"Ending13", "3\n3\n2\n", {GREETING, R3, MENU, R3, MENU, R2, BLANK, Finale(E13)}},
    {"Ending14", "1\n1\n3\n", {GREETING, R1, BLANK, MENU, R1, BLANK, MENU, R3, Finale(E14)}},
    {"Ending15", "1\n3\n6\n", {GREETING, R1, BLANK, MENU, R3, MENU, R6, BLANK, Finale(E15)}},
    {"Ending17", "3\n3\n6\n", {GREETING, R3, MENU, R3, MENU, R6, BLANK, Finale(E17)}},
    {"Ending18", "3\n3\n3\n", {GREETING, R3, MENU, R3, MENU, R3, Finale(E18)}},
    {"FruitTwiceSendsYouAway", "4\n4\n3\n", {GREETING, R4, R4_WARNING, BLANK, MENU, R4, R4x, BLANK, NO_ENDING}},
    {"FruitTwiceAroundADrink",
     "4\n1\n4\n",
     {GREETING, R4, R4_WARNING, BLANK, MENU, R1, BLANK, MENU, R4, R4x, BLANK, NO_ENDING}},
    {"FruitOnceAddsNothing",
     "4\n3\n3\n1\n",
     {GREETING, R4, R4_WARNING, BLANK, MENU, R3, MENU, R3, MENU, R1, BLANK, Finale(E16)}},
    {"RubbingAlcoholFirst", "5\n3\n3\n3\n", {GREETING, R5, BLANK, NO_ENDING}},
    {"OffMenu",
     "0\n7\n-1\n100\nabc\n\f5\n3\n+3\n1\n",  // a form feed is not a blank
     {GREETING, Times(6, Join({RX, MENU})), R3, MENU, R3, MENU, R1, BLANK, Finale(E16)}},
    {"EmptyLinesAndBlanks", "\n\n   \n\t\v \n  3\n\r\n3 \n1\n", {WORKED_NIGHT}},
    {"TwoNumbersOnALine", "2 6\n3\n3\n", {GREETING, R2, BLANK, MENU, R3, MENU, R3, Finale(E13)}},
    {"Low16Bits", "65537\n65536\n-65535\n3\n", {GREETING, R1, BLANK, MENU, RX, MENU, R1, BLANK, MENU, R3, Finale(E14)}},
    {"CrLfLines", "3\r\n3\r\n1\r\n", {WORKED_NIGHT}},
    {"LoneCrLines", "3\r3\r1\r", {WORKED_NIGHT}},
    {"CrLfAcrossReads", std::string(254, ' ') + "3\r\n3\r\n1\r\n", {WORKED_NIGHT}},  // CR last of 256 bytes
    {"LongLines", std::string(300, ' ') + "3" + std::string(600, 'x') + "\n3\n1\n", {WORKED_NIGHT}},
    {"ThirteenBeers",
     Times(13, std::string("2\n")),
     {GREETING, Times(12, Join({R2, BLANK, MENU})), R2, BLANK, Finale(E13)}},
    {"InputEndsMidNight", "3\n3\n", {GREETING, R3, MENU, R3, MENU, NO_ENDING}},
    {"InputEndsOnFirstTurn", "", {GREETING, NO_ENDING}},
    {"InputOfBlanksOnly", " \n\n\t\r\n", {GREETING, NO_ENDING}},
    {"LettersThenEnd", "abc", {GREETING, RX, MENU, NO_ENDING}},
    {"LastLineWithoutLineEnd", "3\n3\n1", {WORKED_NIGHT}},
    {"OnlyADigit", "3", {GREETING, R3, MENU, NO_ENDING}},
    {"LoneSignAtEnd", "3\n-", {GREETING, R3, MENU, RX, MENU, NO_ENDING}},
    {"ArgumentsChangeNothing", "3\n3\n1\n", {WORKED_NIGHT}, {"5", "--help", "-", "two words", ""}},
};

// Where a standard handle of the program goes. An unread pipe has lost its
// reader before the program starts, so that every write to it fails.
enum class Via { File, Pipe, UnreadPipe };
const char* NameOf(Via via) { return via == Via::File ? "File" : via == Via::Pipe ? "Pipe" : "UnreadPipe"; }
void PrintTo(Via via, std::ostream* os) { *os << NameOf(via); }

// A program that never stops is ended after a minute, or as soon as its
// output passes the limit. (Not by RLIMIT_FSIZE, which would also cut the
// files of a wine prefix that the runner creates.)
constexpr unsigned kTimeLimit = 60;
constexpr std::size_t kOutputLimit = 1 << 20;

struct TempFile {  // lasts as long as one run
  std::string path = (std::filesystem::temp_directory_path() / "varnock-e2e-XXXXXX").string();
  int fd = ::mkostemp(path.data(), O_CLOEXEC);
  ~TempFile() {
    ::close(fd);
    ::unlink(path.c_str());
  }
};

std::string ReadAll(int fd) {
  ::lseek(fd, 0, SEEK_SET);  // fails on a pipe, harmlessly
  std::string bytes;
  char chunk[4096];
  for (ssize_t n; bytes.size() < kOutputLimit && (n = ::read(fd, chunk, sizeof chunk)) > 0;)
    bytes.append(chunk, static_cast<std::size_t>(n));
  return bytes;
}

std::vector<std::string> CommandLine(const std::vector<std::string>& args) {
  std::vector<std::string> words;
  std::istringstream runner(std::getenv("VARNOCK_RUNNER") ? std::getenv("VARNOCK_RUNNER") : "");
  for (std::string word; runner >> word;) words.push_back(word);
  const char* program = std::getenv("VARNOCK_PROGRAM");
  words.push_back(program && *program ? program : VARNOCK_BUILT_PROGRAM);
  words.insert(words.end(), args.begin(), args.end());
  return words;
}

struct Outcome {
  std::string out, err;
  int status;  // the exit status, or 128 + the signal that ended the program
};

Outcome Play(const std::string& input, Via in, Via out, const std::vector<std::string>& args = {}) {
  ::signal(SIGPIPE, SIG_IGN);  // the program may leave before it has read all its input
  TempFile inFile, outFile, errFile;
  int inPipe[2], outPipe[2];
  if (::pipe2(inPipe, O_CLOEXEC) != 0 || ::pipe2(outPipe, O_CLOEXEC) != 0) return {"", "no pipes", -1};
  if (out == Via::UnreadPipe) ::close(outPipe[0]);
  EXPECT_EQ(::pwrite(inFile.fd, input.data(), input.size(), 0), static_cast<ssize_t>(input.size()));
  std::vector<std::string> words = CommandLine(args);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in == Via::File ? inFile.fd : inPipe[0], 0);
    ::dup2(out == Via::File ? outFile.fd : outPipe[1], 1);
    ::dup2(errFile.fd, 2);
    ::signal(SIGPIPE, SIG_DFL);
    ::alarm(kTimeLimit);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(inPipe[0]);
  ::close(outPipe[1]);
  if (in == Via::Pipe) {  // all at once: every input here is smaller than PIPE_BUF
    EXPECT_EQ(::write(inPipe[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  }
  ::close(inPipe[1]);
  std::string piped = out == Via::Pipe ? ReadAll(outPipe[0]) : "";
  if (piped.size() >= kOutputLimit) ::kill(pid, SIGKILL);
  if (out != Via::UnreadPipe) ::close(outPipe[0]);
  int status = 0;
  for (struct stat file; ::waitpid(pid, &status, WNOHANG) == 0; ::usleep(2000))
    if (::fstat(outFile.fd, &file) == 0 && file.st_size > static_cast<off_t>(kOutputLimit)) ::kill(pid, SIGKILL);
  return {out == Via::File ? ReadAll(outFile.fd) : piped, ReadAll(errFile.fd),
          WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

class NightTest : public testing::TestWithParam<std::tuple<Night, Via, Via>> {};

TEST_P(NightTest, TranscriptAndStatus) {
  const auto& [night, in, out] = GetParam();
  Outcome got = Play(night.input, in, out, night.args);
  SCOPED_TRACE("standard error:\n" + got.err);
  // As exact as comparing the whole output, and short even when it runs away.
  EXPECT_EQ(got.out.substr(0, night.transcript.size() + 512), night.transcript);
  EXPECT_EQ(got.status, 0);
}

std::string TestName(const testing::TestParamInfo<NightTest::ParamType>& info) {
  const auto& [night, in, out] = info.param;
  return night.name + "_" + NameOf(in) + "To" + NameOf(out);
}

INSTANTIATE_TEST_SUITE_P(Nights, NightTest,
                         testing::Combine(testing::ValuesIn(kNights), testing::Values(Via::File, Via::Pipe),
                                          testing::Values(Via::File, Via::Pipe)),
                         TestName);

// Every write fails; the night still runs to its end and says so in the status.
TEST(UnwritableOutput, EndsWithStatus255) {
  Outcome got = Play("3\n3\n1\n", Via::File, Via::UnreadPipe);
  SCOPED_TRACE("standard error:\n" + got.err);
  EXPECT_EQ(got.status, 255);
}

}  // namespace
