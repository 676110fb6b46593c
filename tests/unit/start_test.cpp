// What a Win32 program starts with when no C run-time is there: its
// arguments split from the command line, and the C library's memory
// functions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/command_line.h"
#include "platform/win32/freestanding.h"
#include "tests/unit/rows.h"

namespace {

using Words = std::vector<std::string>;

// Splits into exactly the measured room, so a store past it is caught by
// the sanitizers, and reads back the vector.
Words Split(const char* line) {
  os::CommandLineSize size = os::SplitCommandLine(line, nullptr, nullptr);
  std::vector<char*> vector(size.count + 1, reinterpret_cast<char*>(&size));
  std::vector<char> text(size.characters);
  os::SplitCommandLine(line, vector.data(), text.data());
  EXPECT_EQ(vector[size.count], nullptr) << line;
  Words words;
  std::size_t characters = 0;
  for (std::size_t i = 0; i < size.count; ++i) {
    words.emplace_back(vector[i]);
    characters += words.back().size() + 1;
  }
  EXPECT_EQ(characters, size.characters) << line;
  return words;
}

struct LineRow {
  const char* line;
  Words words;
};
class CommandLineTest : public testing::TestWithParam<LineRow> {};

TEST_P(CommandLineTest, SplitsAsWindowsProgramsDo) { EXPECT_EQ(Split(GetParam().line), GetParam().words); }
const LineRow kLines[] = {
    {"", {""}},
    {"varnock", {"varnock"}},
    {"  varnock 5", {"", "varnock", "5"}},
    {"v\ta \t b \t", {"v", "a", "b"}},
    // The program's name: a path, quoted or up to the first blank.
    {R"("C:\Program Files\varnock.exe" x)", {R"(C:\Program Files\varnock.exe)", "x"}},
    {R"("C:\bar\"v x)", {R"(C:\bar\)", "v", "x"}},
    {R"(C:\a"b c)", {R"(C:\a"b)", "c"}},
    {R"("unended name)", {"unended name"}},
    // The other arguments.
    {R"(v "a b c" d e)", {"v", "a b c", "d", "e"}},
    {R"(v "ab\"c" "\\" d)", {"v", R"(ab"c)", R"(\)", "d"}},
    {R"(v a\\\b d"e f"g h)", {"v", R"(a\\\b)", "de fg", "h"}},
    {R"(v a\\\"b c d)", {"v", R"(a\"b)", "c", "d"}},
    {R"(v a\\\\"b c" d e)", {"v", R"(a\\b c)", "d", "e"}},
    {R"(v a"b"" c d)", {"v", R"(ab")", "c", "d"}},
    {R"(v """ x)", {"v", R"(")", "x"}},
    {R"(v "" x)", {"v", "", "x"}},
    {R"(v a\ b\\)", {"v", R"(a\)", R"(b\\)"}},
    {R"(v "unended \" arg)", {"v", R"(unended " arg)"}},
};
INSTANTIATE_TEST_SUITE_P(, CommandLineTest, testing::ValuesIn(kLines),
                         [](const auto& info) { return rows::Name(info.index, info.param.line); });

TEST(FreestandingTest, MemoryFunctionsAgreeWithTheCLibrary) {
  char a[] = "abcdefgh";
  freestanding::Move(a + 2, a, 5);  // target inside the source: from the end down
  EXPECT_STREQ(a, "ababcdeh");
  freestanding::Move(a, a + 3, 5);
  EXPECT_STREQ(a, "bcdehdeh");
  freestanding::Fill(a, 0x141, 3);  // the value taken as an unsigned char
  EXPECT_STREQ(a, "AAAehdeh");

  const unsigned char high[] = {'a', 0xE9, 'b'}, low[] = {'a', 0x7F, 'b'};
  EXPECT_GT(freestanding::Compare(high, low, 3), 0);
  EXPECT_LT(freestanding::Compare(low, high, 3), 0);
  EXPECT_EQ(freestanding::Compare(high, low, 1), 0);
  EXPECT_EQ(freestanding::Find(high, static_cast<char>(0xE9), 3), high + 1);
  EXPECT_EQ(freestanding::Find(high, 'b', 2), nullptr);
}

}  // namespace
