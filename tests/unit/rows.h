// Tables whose rows are tests of their own (TEST_P), so that an assertion
// that fails stops its row alone.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace rows {

// A row's name: its number, then the letters and digits of what it is
// about ("r3_2Beer"), unique in its table and readable in a test's name.
inline std::string Name(std::size_t index, std::string_view about) {
  std::string name = "r" + std::to_string(index) + "_";
  for (char c : about)
    if (std::isalnum(static_cast<unsigned char>(c))) name += c;
  return name;
}

// The name generator of a table whose rows carry their own name.
inline constexpr auto ByName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace rows
