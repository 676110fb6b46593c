// Linked only into programs that start without the C run-time. Compiled
// with -fno-tree-loop-distribute-patterns: the compiler must not turn the
// loops in these bodies into calls of the very functions they define.
#include "platform/win32/freestanding.h"

extern "C" {

void* memcpy(void* to, const void* from, std::size_t count) { return freestanding::Copy(to, from, count); }
void* memmove(void* to, const void* from, std::size_t count) { return freestanding::Move(to, from, count); }
void* memset(void* to, int value, std::size_t count) { return freestanding::Fill(to, value, count); }
int memcmp(const void* a, const void* b, std::size_t count) { return freestanding::Compare(a, b, count); }
void* memchr(const void* block, int value, std::size_t count) { return freestanding::Find(block, value, count); }

}  // extern "C"
