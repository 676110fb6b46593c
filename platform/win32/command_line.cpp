#include "platform/win32/command_line.h"

namespace os {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Collects the arguments as the line is read: always counted, and stored
// too when there is somewhere to store them.
class Arguments {
 public:
  Arguments(char** vector, char* text) : vector_(vector), text_(text) {}
  void Begin() {
    if (vector_) vector_[size_.count] = text_ + size_.characters;
    ++size_.count;
  }
  void Put(char c) {
    if (text_) text_[size_.characters] = c;
    ++size_.characters;
  }
  void Put(char c, std::size_t times) {
    while (times--) Put(c);
  }
  void End() { Put('\0'); }
  CommandLineSize Finish() {
    if (vector_) vector_[size_.count] = nullptr;
    return size_;
  }

 private:
  char** vector_;
  char* text_;
  CommandLineSize size_{0, 0};
};

}  // namespace

CommandLineSize SplitCommandLine(const char* line, char** vector, char* text) {
  Arguments arguments(vector, text);
  const char* p = line;

  arguments.Begin();
  if (*p == '"') {
    for (++p; *p && *p != '"'; ++p) arguments.Put(*p);
    if (*p) ++p;
  } else {
    for (; *p && !IsBlank(*p); ++p) arguments.Put(*p);
  }
  arguments.End();

  for (;;) {
    while (IsBlank(*p)) ++p;
    if (!*p) break;
    arguments.Begin();
    bool quoted = false;
    while (*p && (quoted || !IsBlank(*p))) {
      std::size_t backslashes = 0;
      for (; *p == '\\'; ++p) ++backslashes;
      if (*p != '"') {
        arguments.Put('\\', backslashes);
        // The backslashes may have ended the line or the argument.
        if (*p && (quoted || !IsBlank(*p))) arguments.Put(*p++);
        continue;
      }
      arguments.Put('\\', backslashes / 2);
      if (backslashes % 2) {
        arguments.Put('"');
      } else if (quoted && p[1] == '"') {
        arguments.Put('"');
        ++p;
        quoted = false;
      } else {
        quoted = !quoted;
      }
      ++p;
    }
    arguments.End();
  }
  return arguments.Finish();
}

}  // namespace os
