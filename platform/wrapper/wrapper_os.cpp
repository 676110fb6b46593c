#include "platform/wrapper/wrapper_os.h"

#include <mutex>

#include "platform/wrapper/posix_os.h"

namespace wrapos {
namespace {

constexpr auto kKinds = static_cast<std::size_t>(Call::kCount);
constexpr const char* kNames[kKinds] = {"GetStdHandle", "ReadFile",    "WriteFile",     "SetFilePointer",
                                        "CloseHandle",  "GetFileType", "PeekNamedPipe", "CreateFileA",
                                        "GlobalAlloc",  "GlobalFree",  "MessageBoxA"};

struct Fault {
  unsigned at = 0;  // the number of the call that fails; 0: none does
  os::DWORD error = 0;
  bool persist = false;
};

struct State {
  std::mutex lock;  // over the counts and the log, not the calls: a read may wait for another thread's write
  unsigned calls[kKinds] = {};
  Fault faults[kKinds] = {};
  bool fired = false;
  std::vector<Record> log;
  std::size_t liveBlocks = 0;
  void (*beforeExit)(os::UINT) = nullptr;
};

// Made on first use, whoever calls first (a test's static initializer may),
// and never destroyed: the process ends in _exit.
State& S() {
  static State* state = new State;
  return *state;
}

// Counts the call; true, with the real seam's last error set to the chosen
// one, when this call is to fail.
bool Injected(Call call) {
  State& s = S();
  std::lock_guard hold(s.lock);
  auto i = static_cast<std::size_t>(call);
  unsigned n = ++s.calls[i];
  const Fault& f = s.faults[i];
  if (!f.at || n < f.at || (n > f.at && !f.persist)) return false;
  posix_os::SetLastError(f.error);
  s.fired = true;
  return true;
}

// The call through to the real seam (`real`, which says what it moved), or
// `failed` without it when the call is to fail; either way logged.
template <class Result, class Real>
Result Forward(Call call, os::HANDLE handle, std::size_t asked, Result failed, Real real) {
  Record record{call, handle, static_cast<os::DWORD>(asked), 0, Injected(call)};
  Result result = record.injected ? failed : real(record.moved);
  std::lock_guard hold(S().lock);
  S().log.push_back(record);
  return result;
}

// A type of os.h and its twin of the real seam's, posix_os.h: one
// declaration read under two names, so one layout.
template <class To, class From>
To* Same(From* p) {
  return reinterpret_cast<To*>(p);
}

}  // namespace

const char* NameOf(Call call) { return kNames[static_cast<std::size_t>(call)]; }

void FailNth(Call call, unsigned n, os::DWORD error, bool persist) {
  auto i = static_cast<std::size_t>(call);
  std::lock_guard hold(S().lock);
  S().faults[i] = n ? Fault{S().calls[i] + n, error, persist} : Fault{};
}

unsigned Calls(Call call) { return S().calls[static_cast<std::size_t>(call)]; }
bool FaultFired() { return S().fired; }
const std::vector<Record>& Log() { return S().log; }
std::size_t LiveBlocks() { return S().liveBlocks; }
void BeforeExit(void (*observer)(os::UINT status)) { S().beforeExit = observer; }

}  // namespace wrapos

namespace os {
using wrapos::Call;
using wrapos::Forward;
using wrapos::Same;

HANDLE GetStdHandle(DWORD which) {
  return Forward(Call::GetStdHandle, nullptr, 0, INVALID_HANDLE_VALUE,
                 [&](DWORD&) { return posix_os::GetStdHandle(which); });
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped) {
  if (read) *read = 0;
  return Forward(Call::ReadFile, file, toRead, kFalse, [&](DWORD& moved) {
    BOOL ok = posix_os::ReadFile(file, buffer, toRead, read, overlapped);
    moved = read ? *read : 0;
    return ok;
  });
}

BOOL WriteFile(HANDLE file, const void* data, DWORD toWrite, DWORD* written, void* overlapped) {
  if (written) *written = 0;
  return Forward(Call::WriteFile, file, toWrite, kFalse, [&](DWORD& moved) {
    BOOL ok = posix_os::WriteFile(file, data, toWrite, written, overlapped);
    moved = written ? *written : 0;
    return ok;
  });
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  return Forward(Call::SetFilePointer, file, 0, INVALID_SET_FILE_POINTER,
                 [&](DWORD&) { return posix_os::SetFilePointer(file, distance, distanceHigh, method); });
}

BOOL CloseHandle(HANDLE object) {
  return Forward(Call::CloseHandle, object, 0, kFalse, [&](DWORD&) { return posix_os::CloseHandle(object); });
}

DWORD GetLastError() { return posix_os::GetLastError(); }

DWORD GetFileType(HANDLE file) {
  return Forward(Call::GetFileType, file, 0, FILE_TYPE_UNKNOWN, [&](DWORD&) { return posix_os::GetFileType(file); });
}

BOOL PeekNamedPipe(HANDLE pipe, void* buffer, DWORD size, DWORD* read, DWORD* totalAvailable, DWORD* leftThisMessage) {
  return Forward(Call::PeekNamedPipe, pipe, size, kFalse, [&](DWORD&) {
    return posix_os::PeekNamedPipe(pipe, buffer, size, read, totalAvailable, leftThisMessage);
  });
}

HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  return Forward(Call::CreateFileA, nullptr, 0, INVALID_HANDLE_VALUE, [&](DWORD&) {
    return posix_os::CreateFileA(name, access, shareMode, Same<posix_os::SECURITY_ATTRIBUTES>(security), disposition,
                                 flagsAndAttributes, templateFile);
  });
}

void InitializeCriticalSection(CRITICAL_SECTION* lock) {
  posix_os::InitializeCriticalSection(Same<posix_os::CRITICAL_SECTION>(lock));
}
void EnterCriticalSection(CRITICAL_SECTION* lock) {
  posix_os::EnterCriticalSection(Same<posix_os::CRITICAL_SECTION>(lock));
}
void LeaveCriticalSection(CRITICAL_SECTION* lock) {
  posix_os::LeaveCriticalSection(Same<posix_os::CRITICAL_SECTION>(lock));
}
void DeleteCriticalSection(CRITICAL_SECTION* lock) {
  posix_os::DeleteCriticalSection(Same<posix_os::CRITICAL_SECTION>(lock));
}

void ExitProcess(UINT exitCode) {
  if (wrapos::S().beforeExit) wrapos::S().beforeExit(exitCode);
  posix_os::ExitProcess(exitCode);
}

void* GlobalAlloc(UINT flags, std::size_t bytes) {
  return Forward(Call::GlobalAlloc, nullptr, bytes, static_cast<void*>(nullptr), [&](DWORD& moved) {
    void* block = posix_os::GlobalAlloc(flags, bytes);
    std::lock_guard hold(wrapos::S().lock);
    if (block) moved = static_cast<DWORD>(bytes), ++wrapos::S().liveBlocks;
    return block;
  });
}

// Win32's GlobalFree gives the block back when it fails.
void* GlobalFree(void* block) {
  return Forward(Call::GlobalFree, nullptr, 0, block, [&](DWORD&) {
    std::lock_guard hold(wrapos::S().lock);
    if (block) --wrapos::S().liveBlocks;
    return posix_os::GlobalFree(block);
  });
}

int MessageBoxA(HANDLE owner, const char* text, const char* caption, UINT type) {
  return Forward(Call::MessageBoxA, owner, 0, 0,
                 [&](DWORD&) { return posix_os::MessageBoxA(owner, text, caption, type); });
}

std::uintptr_t ContextInstructionPointer(const CONTEXT* context) {
  return posix_os::ContextInstructionPointer(Same<const posix_os::CONTEXT>(context));
}

void RegisterExceptionHandler(EXCEPTION_REGISTRATION_RECORD* record) {
  posix_os::RegisterExceptionHandler(Same<posix_os::EXCEPTION_REGISTRATION_RECORD>(record));
}

EXCEPTION_REGISTRATION_RECORD* RegisteredExceptionHandler() {
  return Same<EXCEPTION_REGISTRATION_RECORD>(posix_os::RegisteredExceptionHandler());
}

}  // namespace os
