// A recording test double of the operating-system seam.
//
// Handles are scripted byte sources and sinks: reads come in the chunk sizes
// a test asks for, every write is logged with its bytes, and a write, a
// close or an allocation can be made to fail on its Nth occurrence, the way
// a disk fills up or a pipe breaks at the worst moment. (Whole processes on
// real handles, any call failing, run over platform/wrapper.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/os.h"

namespace os {
// What the double passes as a thread context.
struct CONTEXT {
  std::uintptr_t Eip;
};
}  // namespace os

namespace fakeos {

// The calls counted; all but ReadFile can be made to fail.
enum class Call { ReadFile, WriteFile, CloseHandle, GlobalAlloc, kCount };

struct Write {
  os::HANDLE handle;
  std::string bytes;  // what the call handed over
  os::DWORD accepted;
  bool ok;
};

struct HandleState {
  std::string input;               // bytes for ReadFile, from `position` on
  std::size_t position = 0;        // read position (and, when seekable, the file pointer)
  long long origin = 0;            // the file position of input[0], for files that end past 4 GiB
  std::deque<std::size_t> chunks;  // each ReadFile delivers at most the next chunk
  bool seekable = false;
  bool seekIgnored = false;  // moves "succeed" and move nothing, as a pipe may answer
  os::DWORD fileType = os::FILE_TYPE_PIPE;
  std::string output;                                      // every byte accepted by WriteFile
  std::size_t acceptLimit = static_cast<std::size_t>(-1);  // most bytes one WriteFile takes
  bool closed = false;
};

// Runs `entry` as a process runs: until ExitProcess, which comes back here
// with its status. It leaves the frames in between with a long jump, not a
// throw: they are the product's, built without exceptions and holding
// nothing to destroy, which a long jump may leave and a throw cannot count
// on.
os::UINT RunProcess(void (*entry)());

// Forgets every handle, log, fault and block; the standard handles become
// fresh pipes with nothing to read.
void Reset();

os::HANDLE StdIn();
os::HANDLE StdOut();
os::HANDLE StdErr();
// The handle CreateFileA gives for "CONIN$".
os::HANDLE ConsoleIn();
HandleState& State(os::HANDLE handle);

// Appends bytes to a handle's input; with chunk sizes, reads deliver them
// in at most those pieces.
void Feed(os::HANDLE handle, std::string_view bytes, std::vector<std::size_t> chunks = {});

// The nth call of that kind from now on (1 = the next) fails with `error`.
void FailNth(Call call, unsigned n, os::DWORD error = os::ERROR_GEN_FAILURE);
// Calls of that kind since Reset.
unsigned Calls(Call call);
// Set once any scheduled fault has fired.
bool FaultFired();

const std::vector<Write>& Writes();
// A line per call, in order: "ReadFile h1 256", "WriteFile h2 9", ...
const std::vector<std::string>& Log();
std::string NameOf(os::HANDLE handle);

// Blocks GlobalAlloc gave and GlobalFree has not taken back.
std::size_t LiveBlocks();

struct MessageBoxCall {
  std::string text, caption;
  os::UINT type;
  os::HANDLE owner;
};
const std::vector<MessageBoxCall>& MessageBoxes();

// Lock events in order: 'I'nit, 'E'nter, 'L'eave, 'D'elete, with the lock.
struct LockEvent {
  char what;
  os::CRITICAL_SECTION* lock;
};
const std::vector<LockEvent>& LockEvents();

// Raises an exception at the registered handler, as the system would.
os::EXCEPTION_DISPOSITION Raise(os::DWORD code, os::DWORD flags, std::uintptr_t eip);
bool HandlerRegistered();

}  // namespace fakeos
