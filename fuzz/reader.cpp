// ReadInteger and ReadLn on Input over any bytes in any read sizes, against a
// small reader of our own written from the rules alone.
#include <string>
#include <string_view>
#include <tuple>

#include "fuzz/feed.h"
#include "textfile/textfile.h"
#include "tests/unit/world.h"

namespace {

// The bytes Input delivers: every CR LF pair as one LF, the rest unchanged.
struct Reference {
  std::string bytes;
  std::size_t at = 0;
  int Get() { return at < bytes.size() ? static_cast<unsigned char>(bytes[at++]) : -1; }

  // The number, the positive IoResult word, and whether end of input came
  // before any sign or digit.
  std::tuple<std::int32_t, std::int16_t, bool> ReadInteger() {
    std::uint32_t value = 0;
    int sign = 0, b;  // sign: 0 none, 1 plus, -1 minus
    while ((b = Get()) >= 0) {
      if (b >= '0' && b <= '9') {
        sign = sign ? sign : 1;
        value = value * 10 + static_cast<std::uint32_t>(b - '0');
      } else if (sign == 0 && (b == '+' || b == '-')) {
        sign = b == '+' ? 1 : -1;
      } else if (sign != 0 || std::string_view("\t\n\v\r ").find(static_cast<char>(b)) == std::string_view::npos) {
        --at;  // stays for the next read
        break;
      }
    }
    if (sign == 0) return {0, 34, b < 0};
    return {static_cast<std::int32_t>(sign < 0 ? 0u - value : value), 0, false};
  }
  void ReadLn() {
    for (int b = Get(); b >= 0 && b != '\n' && b != '\r';) b = Get();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace varnock;
  using fuzz::Require;
  ResetWorld();
  std::string_view fed = fuzz::FeedStandardInput(data, size);
  Reference ref;
  for (std::size_t i = 0; i < fed.size(); ++i)
    if (!(fed[i] == '\r' && i + 1 < fed.size() && fed[i + 1] == '\n')) ref.bytes += fed[i];
  for (int pastEnd = 0; pastEnd < 2;) {  // one pair more after the end: it is met again
    auto [value, code, atEnd] = ref.ReadInteger();
    Require(ReadInteger(Input) == value, "ReadInteger value");
    Require(IoResult.positive == code && IoResult.negative == 0, "IoResult after ReadInteger");
    Require(InputExhausted(Input) == atEnd, "end of input");
    ReadLn(Input);
    ref.ReadLn();
    Require(IoResult.positive == 0 && IoResult.negative == 0, "IoResult after ReadLn");
    pastEnd += atEnd;
  }
  // Whole-buffer requests; a look at whether a pipe holds more, for a CR
  // that ended a short read; after a full read that ended in CR, the
  // handle's type, and on a disk file an attempt to move back one byte.
  for (const std::string& call : fakeos::Log())
    Require(call == "ReadFile in 256" || call == "PeekNamedPipe in" || call == "GetFileType in" ||
                call == "SetFilePointer in -1 1",
            "only standard input is read, a buffer at a time");
  return 0;
}
