// Signals: a processor fault becomes the exception Windows would raise for
// it, at the registered handler; a broken pipe is no fault at all.
#include <signal.h>
#include <ucontext.h>

#include "platform/posix/posix.h"

namespace os {

namespace {

bool brokenPipesIgnored = false;

// Once a process, so out of line: inlined into every write, its sigaction
// record would make each writer's frame one the stack protector guards.
[[gnu::noinline, gnu::cold]] void IgnoreBrokenPipesNow() {
  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGPIPE, &sa, nullptr);
  __atomic_store_n(&brokenPipesIgnored, true, __ATOMIC_RELAXED);
}

}  // namespace

// Setting the disposition twice does no harm, so two threads that race here
// need nothing stronger than an atomic flag (and no run-time guard).
void IgnoreBrokenPipes() {
  if (!__atomic_load_n(&brokenPipesIgnored, __ATOMIC_RELAXED)) IgnoreBrokenPipesNow();
}

std::uintptr_t ContextInstructionPointer(const CONTEXT* context) {
  auto* uc = reinterpret_cast<const ucontext_t*>(context);
  if (!uc) return 0;
#if defined(__x86_64__) && defined(__linux__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__) && defined(__linux__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__) && defined(__linux__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
#elif defined(__s390x__) && defined(__linux__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext.psw.addr);  // the program status word's address
#elif defined(__APPLE__) && defined(__x86_64__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext->__ss.__rip);
#elif defined(__APPLE__) && defined(__aarch64__)
  return static_cast<std::uintptr_t>(uc->uc_mcontext->__ss.__pc);
#else
  return 0;
#endif
}

namespace {

EXCEPTION_REGISTRATION_RECORD* registration = nullptr;
alignas(16) unsigned char alternateStack[64 * 1024];
// SIGTRAP is a breakpoint. On AArch64 a trap compiles to one (BRK), so it is
// a fault like the others there; elsewhere a trap is an illegal instruction,
// and no breakpoint is in the program to cost a handler at every start.
#if defined(__aarch64__)
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP};
#else
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
#endif

DWORD CodeOfSignal(int sig, int code) {
  switch (sig) {
    case SIGILL:
      return code == ILL_PRVOPC || code == ILL_PRVREG ? EXCEPTION_PRIV_INSTRUCTION : EXCEPTION_ILLEGAL_INSTRUCTION;
    case SIGFPE:
      switch (code) {
        case FPE_INTDIV: return EXCEPTION_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF: return EXCEPTION_INT_OVERFLOW;
        case FPE_FLTDIV: return EXCEPTION_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF: return EXCEPTION_FLT_OVERFLOW;
        case FPE_FLTUND: return EXCEPTION_FLT_UNDERFLOW;
        case FPE_FLTRES: return EXCEPTION_FLT_INEXACT_RESULT;
        case FPE_FLTINV: return EXCEPTION_FLT_INVALID_OPERATION;
        case FPE_FLTSUB: return EXCEPTION_FLT_STACK_CHECK;
        default: return EXCEPTION_INT_DIVIDE_BY_ZERO;
      }
    case SIGBUS: return code == BUS_ADRALN ? EXCEPTION_DATATYPE_MISALIGNMENT : EXCEPTION_IN_PAGE_ERROR;
    case SIGTRAP: return EXCEPTION_BREAKPOINT;
    default: return EXCEPTION_ACCESS_VIOLATION;
  }
}

// A fault that lands within a page or so of the stack pointer, on the
// alternate stack's behalf, is the main stack running out.
bool IsStackOverflow(const siginfo_t* info, const ucontext_t* uc) {
#if (defined(__x86_64__) || defined(__aarch64__) || defined(__s390x__)) && defined(__linux__)
#if defined(__x86_64__)
  auto sp = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
  auto sp = static_cast<std::uintptr_t>(uc->uc_mcontext.sp);
#else
  auto sp = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[15]);  // r15, the stack pointer
#endif
  auto addr = reinterpret_cast<std::uintptr_t>(info->si_addr);
  return addr + 65536 >= sp && addr <= sp + 65536;
#else
  (void)info;
  (void)uc;
  return false;
#endif
}

// Whether the faulting instruction runs again once the handler returns. A
// breakpoint resumes after its own; so, on s390x, do an illegal operation
// and a divide exception, whose program status word points past the
// instruction. A memory fault runs again everywhere.
bool FaultRunsAgain(int sig) {
#if defined(__s390x__)
  return sig == SIGSEGV || sig == SIGBUS;
#else
  return sig != SIGTRAP;
#endif
}

void OnFault(int sig, siginfo_t* info, void* uc) {
  EXCEPTION_RECORD record{CodeOfSignal(sig, info->si_code), 0};
  if (sig == SIGSEGV && IsStackOverflow(info, static_cast<ucontext_t*>(uc)))
    record.ExceptionCode = EXCEPTION_STACK_OVERFLOW;
  if (registration && registration->Handler)
    registration->Handler(&record, registration, static_cast<CONTEXT*>(uc), nullptr);
  // Continue search: the system's default handling. Put the default action
  // back; the faulting instruction runs again and the signal ends the process.
  // A sent signal has no instruction to run again, and some faults resume
  // after theirs: those are raised again here, to be delivered as the
  // handler returns.
  signal(sig, SIG_DFL);
  if (info->si_code <= 0 || !FaultRunsAgain(sig)) raise(sig);
}

}  // namespace

void RegisterExceptionHandler(EXCEPTION_REGISTRATION_RECORD* record) {
  record->Next = registration;
  registration = record;
  stack_t ss{};
  ss.ss_sp = alternateStack;
  ss.ss_size = sizeof alternateStack;
  sigaltstack(&ss, nullptr);
  struct sigaction sa {};
  sa.sa_sigaction = OnFault;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : kFaultSignals) sigaction(sig, &sa, nullptr);
}

EXCEPTION_REGISTRATION_RECORD* RegisteredExceptionHandler() { return registration; }


}  // namespace os
