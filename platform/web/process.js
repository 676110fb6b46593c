// The process in a page: main with a command line, until ExitProcess; and
// what the system does when the program traps. A trap is the fault the
// program cannot continue from, so it becomes the exception a processor
// fault raises on Windows (which one, the page says: host.exception, in
// os_web.js), and goes to the program's registered handler
// (varnock_raise_exception) with the trapping instruction's offset in the
// .wasm file as its address. Module.startProcess(args) gives a promise of
// the exit status.

function VarnockProcessEnd(status) {
  this.status = status;
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
    var trap = Module.host.exception(error);
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
