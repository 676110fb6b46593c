/* The night with C stdio: line-buffered standard output, scanf and getchar.
   Built as C (night_stdio_c), as a C programmer would write it, and the
   same source as C++ (night_stdio). */
#include <stdio.h>

static void Blank(void) { fputs("\r\n", stdout); }

static void Say(const char* text, unsigned length) {
  fwrite(text, 1, length, stdout);
  Blank();
}

static int Read(int* value) {
  int got = scanf("%d", value);
  if (got == EOF) return 0;
  if (got == 0) *value = 0;
  for (int c = getchar(); c != EOF && c != '\n';) c = getchar();
  return 1;
}

#include "bench/night.h"

int main(void) {
  setvbuf(stdout, NULL, _IOLBF, BUFSIZ);
  PlayNight();
  return fflush(stdout) == 0 ? 0 : 255;
}
