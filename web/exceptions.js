// The Windows exception codes a night in the page can end with, in one
// place: the exception each WebAssembly trap is raised as (the program's
// loader, platform/web/varnock.js, is handed exceptionOf as host.exception),
// the code of a night ended by Ctrl+C, and the exit code as the page shows
// it.

export const STATUS_CONTROL_C_EXIT = 0xc000013a;
const EXCEPTION_ACCESS_VIOLATION = 0xc0000005;
const EXCEPTION_ILLEGAL_INSTRUCTION = 0xc000001d;
const EXCEPTION_FLT_INVALID_OPERATION = 0xc0000090;
const EXCEPTION_INT_DIVIDE_BY_ZERO = 0xc0000094;
const EXCEPTION_INT_OVERFLOW = 0xc0000095;
const EXCEPTION_STACK_OVERFLOW = 0xc00000fd;

// The nearest Windows exception to each trap, by the engine's message
// (Chromium's wording, then Firefox's); the first that matches.
const stackExhausted = /call stack|too much recursion/;
const trapCodes = [
  [stackExhausted, EXCEPTION_STACK_OVERFLOW],
  [/divide result unrepresentable|integer overflow/, EXCEPTION_INT_OVERFLOW],
  [/divide by zero|remainder by zero/, EXCEPTION_INT_DIVIDE_BY_ZERO],
  [/unrepresentable in integer|invalid conversion to integer/, EXCEPTION_FLT_INVALID_OPERATION],
  [/unreachable/, EXCEPTION_ILLEGAL_INSTRUCTION],
  [/out of bounds|null function|signature mismatch/, EXCEPTION_ACCESS_VIOLATION],
];

// What an error thrown out of the program is: { code, offset } for a trap,
// the offset being the trapping instruction's in the .wasm file;
// { aborted: true } for the program's abort(); null for anything else (a
// fault of the page's own script).
export function exceptionOf(error) {
  const message = String(error?.message);
  const at = /wasm-function\[\d+\]:0x([0-9a-f]+)/.exec(String(error?.stack));
  const trapped = error instanceof WebAssembly.RuntimeError;
  if (trapped && /^Aborted\(/.test(message)) return { aborted: true };
  // The engine's own stack runs out as a RangeError: the program's only
  // when its frames are on the stack.
  if (!trapped && !(at && stackExhausted.test(message))) return null;
  // An instruction the machine refused, when nothing nearer is known.
  const code = trapCodes.find(([words]) => words.test(message))?.[1] ?? EXCEPTION_ILLEGAL_INSTRUCTION;
  return { code, offset: at ? parseInt(at[1], 16) : 0 };
}

// An exit code as a console's user reads it: an exception's in hex, as
// Windows prints it, any other in decimal.
export function exitCodeText(status) {
  return status > 0xffff ? `0x${status.toString(16).padStart(8, '0')}` : String(status);
}
