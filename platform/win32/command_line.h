// The argument count and vector of a Win32 program, split from the one
// command line the system keeps for the process. Pure code: it neither asks
// the system for the line nor allocates, so it is the same on every build
// and the tests run it anywhere.
#pragma once

#include <cstddef>

namespace os {

// What the arguments of a command line take: how many there are, and the
// characters of all of them, each argument's terminating zero included.
struct CommandLineSize {
  std::size_t count;
  std::size_t characters;
};

// Splits a command line the way Windows programs split theirs (the C
// run-time's argv, CommandLineToArgvW):
// - The first argument is the program's name: from a leading double quote to
//   the next one, both dropped, or else up to the first blank (space or
//   tab). It is a path, full of backslashes, so they mean nothing here. It
//   is always there, empty if the line is.
// - The other arguments are separated by runs of blanks.
// - A double quote opens or closes a quoted part, where blanks are kept.
//   Inside one, two double quotes give a double quote and close the part.
// - Backslashes are themselves, except before a double quote: 2n of them
//   give n and the quote does its work; 2n+1 give n and a double quote.
// With vector and text both null it only measures the line. Otherwise
// vector has room for count + 1 pointers (the last is set to null) and text
// for the characters, as measured on the same line.
CommandLineSize SplitCommandLine(const char* line, char** vector, char* text);

}  // namespace os
