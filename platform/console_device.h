// The console's own devices, by the names CreateFileA takes for them:
// "CONIN$" is the console's input and "CONOUT$" its screen, whatever the
// standard handles are. Windows reads file names without regard to case,
// so "conin$" is the same device. Every seam that opens them asks here.
#pragma once

namespace os {

enum class ConsoleDevice { None, Input, Output };

inline ConsoleDevice ConsoleDeviceNamed(const char* name) {
  // The names below are upper case; only the name asked for is folded.
  auto is = [name](const char* upper) {
    const char* c = name;
    for (; *upper; ++c, ++upper)
      if ((*c >= 'a' && *c <= 'z' ? *c - 'a' + 'A' : *c) != *upper) return false;
    return *c == '\0';
  };
  if (!name) return ConsoleDevice::None;
  if (is("CONIN$")) return ConsoleDevice::Input;
  if (is("CONOUT$")) return ConsoleDevice::Output;
  return ConsoleDevice::None;
}

}  // namespace os
