// SplitCommandLine over any line: measuring and filling agree, and neither
// goes past the room measured. And any argument vector, quoted by the rules
// a Windows program's line is split by, splits back to itself.
//
// The first byte chooses how the vector is quoted; the rest, split at its
// zero bytes, is the vector (the program's name first), and all of it,
// up to its first zero byte, is also a line as it is.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/feed.h"
#include "platform/win32/command_line.h"

namespace {

using fuzz::Require;
using Words = std::vector<std::string>;

// Splits into exactly the room measured, so that the sanitizers catch a
// byte stored or read past it.
Words Split(const char* line) {
  const os::CommandLineSize size = os::SplitCommandLine(line, nullptr, nullptr);
  Require(size.count >= 1 && size.characters >= size.count, "a name at least, and a zero for each argument");
  Require(size.characters <= std::strlen(line) + 1, "no more characters than the line and a zero");
  auto vector = std::make_unique<char*[]>(size.count + 1);
  auto text = std::make_unique<char[]>(size.characters);
  for (std::size_t i = 0; i <= size.count; ++i) vector[i] = text.get();
  const os::CommandLineSize filled = os::SplitCommandLine(line, vector.get(), text.get());
  Require(filled.count == size.count && filled.characters == size.characters, "filling gives what measuring gave");
  Require(vector[size.count] == nullptr, "the vector ends in a null");
  Words words;
  std::size_t at = 0;
  for (std::size_t i = 0; i < size.count; ++i) {
    Require(vector[i] == text.get() + at, "each argument follows the one before");
    words.emplace_back(vector[i]);
    at += words.back().size() + 1;
  }
  Require(at == size.characters, "the arguments fill the text");
  return words;
}

// An argument as the rules read it back: bare when that is unambiguous,
// else in double quotes, where a run of backslashes is doubled before a
// double quote (which then takes one more) and before the closing one.
std::string Quote(const std::string& word, bool always) {
  if (!always && !word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
  std::string quoted = "\"";
  for (std::size_t i = 0; i <= word.size(); ++i) {
    std::size_t backslashes = 0;
    for (; i < word.size() && word[i] == '\\'; ++i) ++backslashes;
    if (i == word.size()) {
      quoted.append(2 * backslashes, '\\');
    } else if (word[i] == '"') {
      quoted.append(2 * backslashes + 1, '\\').push_back('"');
    } else {
      quoted.append(backslashes, '\\').push_back(word[i]);
    }
  }
  return quoted + "\"";
}

// The program's name: its backslashes are themselves and it ends at a blank
// or, quoted, at the next double quote, so it cannot hold one.
std::string QuoteName(const std::string& name, bool always) {
  bool bare = !always && !name.empty() && name.find_first_of(" \t\"") == std::string::npos;
  return bare ? name : "\"" + name + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  Split(input.c_str());
  if (size == 0) return 0;

  const unsigned how = data[0];
  Words words{""};
  for (char c : input.substr(1))
    if (c)
      words.back().push_back(c);
    else
      words.emplace_back();
  std::erase(words[0], '"');
  const std::string blanks = how & 4 ? "\t " : " ";
  std::string line = QuoteName(words[0], how & 1);
  for (std::size_t i = 1; i < words.size(); ++i) line += blanks + Quote(words[i], how & 2);
  if (how & 8) line += blanks;
  Require(Split(line.c_str()) == words, "a quoted vector splits back to itself");
  return 0;
}
