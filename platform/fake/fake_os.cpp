#include "platform/fake/fake_os.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "platform/console_device.h"

namespace fakeos {
namespace {

struct World {
  std::map<std::uintptr_t, HandleState> handles;
  std::uintptr_t nextHandle = 0x100;
  os::HANDLE stdIn{}, stdOut{}, stdErr{}, conIn{};
  unsigned calls[static_cast<int>(Call::kCount)] = {};
  struct Fault {
    Call call;
    unsigned at;  // absolute call number that fails
    os::DWORD error;
  };
  std::vector<Fault> faults;
  bool faultFired = false;
  std::vector<Write> writes;
  std::vector<std::string> log;
  std::set<void*> blocks;
  std::vector<MessageBoxCall> boxes;
  std::vector<LockEvent> lockEvents;
  os::EXCEPTION_REGISTRATION_RECORD* registration = nullptr;
  os::ProcessArguments arguments{0, nullptr};
  std::jmp_buf* processEnd = nullptr;  // where ExitProcess returns to
  os::UINT exitCode = 0;
};

World& W() {
  static World* world = new World;
  return *world;
}

thread_local os::DWORD lastError = 0;

std::uintptr_t Key(os::HANDLE h) { return reinterpret_cast<std::uintptr_t>(h); }

HandleState* Find(os::HANDLE h) {
  auto it = W().handles.find(Key(h));
  if (it == W().handles.end() || it->second.closed) return nullptr;
  return &it->second;
}

// Counts the call; true when a scheduled fault says this one fails.
bool Faulted(Call call) {
  World& w = W();
  unsigned n = ++w.calls[static_cast<int>(call)];
  for (auto it = w.faults.begin(); it != w.faults.end(); ++it) {
    if (it->call == call && it->at == n) {
      lastError = it->error;
      w.faultFired = true;
      w.faults.erase(it);
      return true;
    }
  }
  return false;
}

void Note(std::string line) { W().log.push_back(std::move(line)); }

os::HANDLE NewHandle(os::DWORD fileType) {
  World& w = W();
  std::uintptr_t key = w.nextHandle++;
  w.handles[key].fileType = fileType;
  return reinterpret_cast<os::HANDLE>(key);
}

}  // namespace

void Reset() {
  for (void* b : W().blocks) std::free(b);
  World& w = W();
  w = World{};
  w.stdIn = NewHandle(os::FILE_TYPE_PIPE);
  w.stdOut = NewHandle(os::FILE_TYPE_PIPE);
  w.stdErr = NewHandle(os::FILE_TYPE_PIPE);
  w.conIn = NewHandle(os::FILE_TYPE_CHAR);
  lastError = 0;
}

os::HANDLE StdIn() { return W().stdIn; }
os::HANDLE StdOut() { return W().stdOut; }
os::HANDLE StdErr() { return W().stdErr; }
os::HANDLE ConsoleIn() { return W().conIn; }

HandleState& State(os::HANDLE handle) { return W().handles[Key(handle)]; }

void Feed(os::HANDLE handle, std::string_view bytes, std::vector<std::size_t> chunks) {
  HandleState& s = State(handle);
  s.input.append(bytes);
  for (std::size_t c : chunks) s.chunks.push_back(c);
}

void FailNth(Call call, unsigned n, os::DWORD error) {
  World& w = W();
  w.faults.push_back({call, w.calls[static_cast<int>(call)] + n, error});
}

unsigned Calls(Call call) { return W().calls[static_cast<int>(call)]; }
bool FaultFired() { return W().faultFired; }
const std::vector<Write>& Writes() { return W().writes; }
const std::vector<std::string>& Log() { return W().log; }
std::size_t LiveBlocks() { return W().blocks.size(); }
const std::vector<MessageBoxCall>& MessageBoxes() { return W().boxes; }
const std::vector<LockEvent>& LockEvents() { return W().lockEvents; }
bool HandlerRegistered() { return W().registration != nullptr; }

os::UINT RunProcess(void (*entry)()) {
  std::jmp_buf end;
  W().processEnd = &end;
  if (!setjmp(end)) {
    entry();
    std::fprintf(stderr, "the process returned from its entry point\n");
    std::abort();
  }
  W().processEnd = nullptr;
  return W().exitCode;
}


std::string NameOf(os::HANDLE handle) {
  World& w = W();
  if (handle == w.stdIn) return "in";
  if (handle == w.stdOut) return "out";
  if (handle == w.stdErr) return "err";
  if (handle == w.conIn) return "conin";
  return "h" + std::to_string(Key(handle));
}

os::EXCEPTION_DISPOSITION Raise(os::DWORD code, os::DWORD flags, std::uintptr_t eip) {
  World& w = W();
  os::EXCEPTION_RECORD record{code, flags};
  os::CONTEXT context{eip};
  if (!w.registration) return os::ExceptionContinueSearch;
  return w.registration->Handler(&record, w.registration, &context, nullptr);
}

}  // namespace fakeos

namespace os {
using fakeos::Call;
using fakeos::Faulted;
using fakeos::Find;
using fakeos::lastError;
using fakeos::Note;
using fakeos::W;

HANDLE GetStdHandle(DWORD which) {
  if (which == STD_INPUT_HANDLE) return W().stdIn;
  if (which == STD_OUTPUT_HANDLE) return W().stdOut;
  if (which == STD_ERROR_HANDLE) return W().stdErr;
  lastError = ERROR_INVALID_PARAMETER;
  return INVALID_HANDLE_VALUE;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void*) {
  Note("ReadFile " + fakeos::NameOf(file) + " " + std::to_string(toRead));
  if (read) *read = 0;
  ++W().calls[static_cast<int>(Call::ReadFile)];
  fakeos::HandleState* s = Find(file);
  if (!s) {
    lastError = ERROR_INVALID_HANDLE;
    return kFalse;
  }
  std::size_t left = s->position < s->input.size() ? s->input.size() - s->position : 0;
  std::size_t n = std::min<std::size_t>(toRead, left);
  if (!s->chunks.empty()) {
    std::size_t& chunk = s->chunks.front();
    n = std::min(n, chunk);
    chunk -= n;
    if (chunk == 0) s->chunks.pop_front();
  }
  std::memcpy(buffer, s->input.data() + s->position, n);
  s->position += n;
  if (read) *read = static_cast<DWORD>(n);
  return kTrue;
}

BOOL WriteFile(HANDLE file, const void* data, DWORD toWrite, DWORD* written, void*) {
  Note("WriteFile " + fakeos::NameOf(file) + " " + std::to_string(toWrite));
  if (written) *written = 0;
  std::string bytes(static_cast<const char*>(data), toWrite);
  if (Faulted(Call::WriteFile)) {
    W().writes.push_back({file, bytes, 0, false});
    return kFalse;
  }
  fakeos::HandleState* s = Find(file);
  if (!s) {
    lastError = ERROR_INVALID_HANDLE;
    W().writes.push_back({file, bytes, 0, false});
    return kFalse;
  }
  auto n = static_cast<DWORD>(std::min<std::size_t>(toWrite, s->acceptLimit));
  s->output.append(bytes, 0, n);
  if (written) *written = n;
  W().writes.push_back({file, bytes, n, true});
  return kTrue;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  Note("SetFilePointer " + fakeos::NameOf(file) + " " + std::to_string(distance) + " " + std::to_string(method));
  fakeos::HandleState* s = Find(file);
  if (!s) {
    lastError = ERROR_INVALID_HANDLE;
    return INVALID_SET_FILE_POINTER;
  }
  if (s->seekIgnored) return 0;
  if (!s->seekable) {
    lastError = ERROR_SEEK_ON_DEVICE;
    return INVALID_SET_FILE_POINTER;
  }
  long long base = method == FILE_BEGIN     ? 0
                   : method == FILE_CURRENT ? static_cast<long long>(s->position)
                                            : static_cast<long long>(s->input.size());
  long long to = base + (method == FILE_BEGIN ? 0 : s->origin) + MoveDistance(distance, distanceHigh);
  // The double holds no bytes before its origin: no move goes there.
  DWORD refused = method > FILE_END ? ERROR_INVALID_PARAMETER : RefusedMove(to, distanceHigh);
  if (!refused && to < s->origin) refused = ERROR_INVALID_PARAMETER;
  if (refused) {
    lastError = refused;
    return INVALID_SET_FILE_POINTER;
  }
  s->position = static_cast<std::size_t>(to - s->origin);
  return MovedTo(static_cast<std::uint64_t>(to), distanceHigh, &lastError);
}

BOOL CloseHandle(HANDLE object) {
  Note("CloseHandle " + fakeos::NameOf(object));
  if (Faulted(Call::CloseHandle)) return kFalse;
  fakeos::HandleState* s = Find(object);
  if (!s) {
    lastError = ERROR_INVALID_HANDLE;
    return kFalse;
  }
  s->closed = true;
  return kTrue;
}

DWORD GetLastError() { return lastError; }

DWORD GetFileType(HANDLE file) {
  Note("GetFileType " + fakeos::NameOf(file));
  fakeos::HandleState* s = Find(file);
  if (!s) {
    lastError = ERROR_INVALID_HANDLE;
    return FILE_TYPE_UNKNOWN;
  }
  return s->fileType;
}

// A pipe's writer has written everything fed so far; a file is no pipe.
// Only the count is told, as the POSIX seam tells it.
BOOL PeekNamedPipe(HANDLE pipe, void*, DWORD, DWORD* read, DWORD* totalAvailable, DWORD* leftThisMessage) {
  Note("PeekNamedPipe " + fakeos::NameOf(pipe));
  fakeos::HandleState* s = Find(pipe);
  if (!s || s->seekable || s->fileType != FILE_TYPE_PIPE) {
    lastError = s ? ERROR_INVALID_FUNCTION : ERROR_INVALID_HANDLE;
    return kFalse;
  }
  std::size_t waiting = s->position < s->input.size() ? s->input.size() - s->position : 0;
  if (read) *read = 0;
  if (totalAvailable) *totalAvailable = static_cast<DWORD>(waiting);
  if (leftThisMessage) *leftThisMessage = 0;
  return kTrue;
}

HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
  std::string line = "CreateFileA " + std::string(name) + " " + std::to_string(access) + " " +
                     std::to_string(shareMode) + " ";
  line += security
              ? "sa(" + std::to_string(security->nLength) + "," + (security->lpSecurityDescriptor ? "sd" : "null") +
                    "," + std::to_string(security->bInheritHandle) + ")"
              : "null";
  line += " " + std::to_string(disposition) + " " + std::to_string(flagsAndAttributes) + " " +
          (templateFile ? "template" : "null");
  Note(line);
  if (os::ConsoleDeviceNamed(name) == os::ConsoleDevice::Input) return W().conIn;
  lastError = ERROR_FILE_NOT_FOUND;
  return INVALID_HANDLE_VALUE;
}

void InitializeCriticalSection(CRITICAL_SECTION* lock) { W().lockEvents.push_back({'I', lock}); }
void EnterCriticalSection(CRITICAL_SECTION* lock) { W().lockEvents.push_back({'E', lock}); }
void LeaveCriticalSection(CRITICAL_SECTION* lock) { W().lockEvents.push_back({'L', lock}); }
void DeleteCriticalSection(CRITICAL_SECTION* lock) { W().lockEvents.push_back({'D', lock}); }

void ExitProcess(UINT exitCode) {
  Note("ExitProcess " + std::to_string(exitCode));
  if (!W().processEnd) {
    std::fprintf(stderr, "ExitProcess outside fakeos::RunProcess\n");
    std::abort();
  }
  W().exitCode = exitCode;
  std::longjmp(*W().processEnd, 1);
}

void* GlobalAlloc(UINT flags, std::size_t bytes) {
  if (Faulted(Call::GlobalAlloc)) return nullptr;
  void* p = flags & GMEM_ZEROINIT ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
  W().blocks.insert(p);
  return p;
}

void* GlobalFree(void* block) {
  if (block && W().blocks.erase(block)) std::free(block);
  return nullptr;
}

int MessageBoxA(HANDLE owner, const char* text, const char* caption, UINT type) {
  Note("MessageBoxA");
  W().boxes.push_back({text, caption, type, owner});
  return 1;
}

std::uintptr_t ContextInstructionPointer(const CONTEXT* context) { return context ? context->Eip : 0; }

void RegisterExceptionHandler(EXCEPTION_REGISTRATION_RECORD* record) {
  Note("RegisterExceptionHandler");
  record->Next = W().registration;
  W().registration = record;
}

EXCEPTION_REGISTRATION_RECORD* RegisteredExceptionHandler() { return W().registration; }

ProcessArguments GetProcessArguments() { return W().arguments; }

}  // namespace os
