#include "platform/os.h"
#include "pool/runtime_locks.h"
#include "runtime/format.h"
#include "runtime/runtime.h"
#include "stream/stream.h"

namespace varnock {

std::uint32_t ProcessAborted = 0;

namespace {

// Keeps a console window open until the player has read the farewell. It
// reads the console itself, not standard input, which may be a file.
void ConsolePause() {
  FormatPrint(StandardOutput, kPausePrompt);
  os::SECURITY_ATTRIBUTES security{12, nullptr, os::kTrue};
  os::HANDLE console = os::CreateFileA("CONIN$", os::GENERIC_READ | os::GENERIC_WRITE,
                                       os::FILE_SHARE_READ | os::FILE_SHARE_WRITE, &security, os::OPEN_EXISTING, 0,
                                       nullptr);
  std::uint8_t scratch;
  os::DWORD read = 0;
  if (!os::ReadFile(console, &scratch, 1, &read, nullptr))
    FormatPrint(StandardOutput, kPauseError, static_cast<std::int32_t>(os::GetLastError()));
}

}  // namespace

void ExitProgram(std::int32_t status) {
  if (!ProcessAborted) {
    TakeLock(kExitLock);
    if (os::GetFileType(os::GetStdHandle(os::STD_OUTPUT_HANDLE)) == os::FILE_TYPE_CHAR) ConsolePause();
    ReleaseLock(kExitLock);
    if (CloseAllHook) {
      CloseAllHook();
      CloseAllHook = nullptr;
    }
  }
  EndProcess(status);
}

void EndProcess(std::int32_t status) {
  for (os::CRITICAL_SECTION& lock : RuntimeLocks) os::DeleteCriticalSection(&lock);
  os::ExitProcess(static_cast<os::UINT>(status));
}

void AbortProgram() {
  ProcessAborted = 1;
  ExitProgram(1);
}

os::EXCEPTION_DISPOSITION ReportUnhandledException(os::EXCEPTION_RECORD* record, void*, os::CONTEXT* context, void*) {
  if (record->ExceptionFlags & kUnwindMask) return os::ExceptionContinueSearch;
  // Only a program with the C++ run-time can raise one: there
  // platform/language_exceptions.cpp brings an uncaught C++ exception here.
  if (record->ExceptionCode == os::EXCEPTION_LANGUAGE) AbortProgram();
  char text[1024];
  FormatToBuffer(text, sizeof text, kExceptionTemplate, record->ExceptionCode, os::ContextInstructionPointer(context));
  os::MessageBoxA(nullptr, text, kExceptionCaption, os::MB_TASKMODAL);
  return os::ExceptionContinueSearch;
}

}  // namespace varnock
