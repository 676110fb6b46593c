// A test double that wraps the real POSIX seam, as SQLite's test VFS wraps
// the real VFS: a program linked with it instead of platform/posix runs on
// real pipes, files and terminals, every call goes through to the real
// seam's own code, and any call that can fail can be made to fail, once or
// from then on, with the error GetLastError then gives. A failed call does
// not reach the real seam.
#pragma once

#include <vector>

#include "platform/os.h"

namespace wrapos {

// The calls that can fail.
enum class Call {
  GetStdHandle,
  ReadFile,
  WriteFile,
  SetFilePointer,
  CloseHandle,
  GetFileType,
  PeekNamedPipe,
  CreateFileA,
  GlobalAlloc,
  GlobalFree,
  MessageBoxA,
  kCount
};
const char* NameOf(Call call);

// The nth call of that kind from now on (1: the next) fails with `error`;
// with `persist`, so does every one after it. With n = 0 none does.
void FailNth(Call call, unsigned n, os::DWORD error, bool persist = false);
// Calls of that kind so far.
unsigned Calls(Call call);
// Set once a call failed because FailNth said so.
bool FaultFired();

// Every call of the kinds above, in order: the handle it was given (null
// for none), the bytes it was asked for and those it moved (read, written,
// allocated), and whether the wrapper failed it.
struct Record {
  Call call;
  os::HANDLE handle;
  os::DWORD asked, moved;
  bool injected;
};
const std::vector<Record>& Log();

// Blocks GlobalAlloc gave and GlobalFree has not taken back.
std::size_t LiveBlocks();

// Called with the status as ExitProcess is asked to end the process, before
// the real ExitProcess ends it: what a test wants to know of the process's
// last state, it learns here.
void BeforeExit(void (*observer)(os::UINT status));

}  // namespace wrapos
