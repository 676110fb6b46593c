// The process in a page: main with a command line, until ExitProcess; and
// what the system does when the program traps. A trap is the fault the
// program cannot continue from, so it becomes the exception a processor
// fault raises on Windows, and goes to the program's registered handler
// (varnock_raise_exception) with the trapping instruction's offset in the
// .wasm file as its address. Module.startProcess(args) gives a promise of
// the exit status.

function VarnockProcessEnd(status) {
  this.status = status;
}

// The nearest Windows exception to each trap, by the engine's message
// (Chromium's wording, then Firefox's).
var varnockTrapCodes = [
  [/call stack|too much recursion/, 0xc00000fd],  // EXCEPTION_STACK_OVERFLOW
  [/divide result unrepresentable|integer overflow/, 0xc0000095],  // EXCEPTION_INT_OVERFLOW
  [/divide by zero|remainder by zero/, 0xc0000094],  // EXCEPTION_INT_DIVIDE_BY_ZERO
  [/unrepresentable in integer|invalid conversion to integer/, 0xc0000090],  // EXCEPTION_FLT_INVALID_OPERATION
  [/unreachable/, 0xc000001d],  // EXCEPTION_ILLEGAL_INSTRUCTION
  [/out of bounds|null function|signature mismatch/, 0xc0000005],  // EXCEPTION_ACCESS_VIOLATION
];

// { code, offset } for a trap in the program, { aborted } for its abort(),
// null for anything else (a fault of the page's own script).
function varnockTrap(error) {
  var message = String(error && error.message);
  var at = /wasm-function\[\d+\]:0x([0-9a-f]+)/.exec(String(error && error.stack));
  var trapped = error instanceof WebAssembly.RuntimeError;
  if (trapped && /^Aborted\(/.test(message)) return { aborted: true };
  // The engine's own stack runs out as a RangeError: the program's only
  // when its frames are on the stack.
  if (!trapped && !(at && varnockTrapCodes[0][0].test(message))) return null;
  // An instruction the machine refused, when nothing nearer is known.
  var code = 0xc000001d;
  for (var i = 0; i < varnockTrapCodes.length; ++i) {
    if (varnockTrapCodes[i][0].test(message)) {
      code = varnockTrapCodes[i][1];
      break;
    }
  }
  return { code: code, offset: at ? parseInt(at[1], 16) : 0 };
}

Module['startProcess'] = function (args) {
  var entryStack = stackSave();

  function call(name, values) {
    return new Promise(function (resolve) {
      resolve(ccall(name, 'number', values.map(function () { return 'number'; }), values, { async: true }));
    });
  }

  // Every end of the process arrives here as an exception: ExitProcess's,
  // or a trap's. A trap while the handler runs ends the process at once.
  function ended(error, dispatched) {
    if (error instanceof VarnockProcessEnd) return error.status;
    var trap = varnockTrap(error);
    if (!trap) throw error;
    if (trap.aborted) return 3;  // abort()'s status, as on Windows
    if (dispatched) return trap.code;
    // The trapped frames are gone but their stack space is still taken; if
    // little is left (the program's own stack ran out), start it afresh.
    if (stackSave() - _emscripten_stack_get_end() < 65536) stackRestore(entryStack);
    return call('varnock_raise_exception', [trap.code, trap.offset]).then(null, function (e) {
      return ended(e, true);
    });
  }

  // The command line lives as long as the process, as on Windows.
  var argv = ['varnock'].concat(args || []);
  var vector = _malloc((argv.length + 1) * 4);
  argv.forEach(function (text, i) {
    var size = lengthBytesUTF8(text) + 1;
    var at = _malloc(size);
    stringToUTF8(text, at, size);
    HEAPU32[(vector >> 2) + i] = at;
  });
  HEAPU32[(vector >> 2) + argv.length] = 0;
  return call('main', [argv.length, vector]).then(null, function (e) {
    return ended(e, false);
  });
};
