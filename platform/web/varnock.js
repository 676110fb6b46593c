// The system under the web seam: what the program (varnock.wasm) imports
// from module "varnock" (files.cpp, message_box.cpp, process_end.cpp), the
// waiting of its reads and message boxes, and its process (startProcess).
// The page hands it the console and the message box as host:
//   host.write(bytes)                 shows bytes on the terminal;
//   host.read(size)                   the next bytes of the console's line,
//                                     at most size: a Uint8Array, or a
//                                     promise of one while the player types;
//   host.messageBox(text, caption, type)  a promise of the button's id;
//   host.exception(error)             what an error thrown out of the
//                                     program is: { code, offset } for a
//                                     trap (the Windows exception it is
//                                     raised as, and the trapping
//                                     instruction's offset in the .wasm
//                                     file), { aborted } for abort(), null
//                                     for anything else;
// and instantiateWasm(imports, receiveInstance), which instantiates the
// compiled program with these imports and hands the instance back.
// createVarnock({ host, instantiateWasm }) gives a promise of the program,
// whose startProcess(args) gives a promise of the exit status. Each call is
// a fresh instance: memory, handles and all.
//
// A read or a box waits without blocking the page's only thread: the
// program is built with Asyncify, so its import unwinds the WebAssembly
// stack into a buffer and returns to the browser; once the line or the
// button comes, the export that was running is called again and rewinds
// to the import, which now returns the answer.
'use strict';

function createVarnock({ host, instantiateWasm }) {
  // Room for the frames a wait saves: the night's deepest read needs a
  // fraction of it.
  const savedStackSize = 16384;
  let exports, saved = 0;
  let unwinding = false, rewinding = false, answer = 0, resume = null;

  const bytes = () => new Uint8Array(exports.memory.buffer);
  // Pointers and counts arrive as signed numbers: read them unsigned.
  const inMemory = (pointer, size) => (pointer >>> 0) + (size >>> 0) <= exports.memory.buffer.byteLength;
  const text = (pointer) => {
    const memory = bytes(), start = pointer >>> 0;
    return new TextDecoder().decode(memory.subarray(start, memory.indexOf(0, start)));
  };

  // Called by an import that waits: start(wakeUp) begins the wait, and
  // wakeUp(value) ends it with what the import returns, at once or later.
  function wait(start) {
    if (rewinding) {
      rewinding = false;
      exports.asyncify_stop_rewind();
      return answer;
    }
    let now = true, early = null;
    start((value) => {
      if (now) {
        early = { value };
        return;
      }
      answer = value;
      rewinding = true;
      exports.asyncify_start_rewind(saved);
      resume();
    });
    now = false;
    if (early) return early.value;
    if (!saved) saved = exports.malloc(8 + savedStackSize);
    const header = new Uint32Array(exports.memory.buffer, saved, 2);
    header[0] = saved + 8;
    header[1] = saved + 8 + savedStackSize;
    unwinding = true;
    exports.asyncify_start_unwind(saved);
    return 0;
  }

  // An export that may wait, as a promise of what it returns: settled by
  // the run that gets to its end, or by the first error thrown out of it.
  function call(name, values) {
    return new Promise((resolve, reject) => {
      resume = () => {
        let result;
        try {
          result = exports[name](...values);
        } catch (error) {
          unwinding = rewinding = false;
          return reject(error);
        }
        if (!unwinding) return resolve(result);
        unwinding = false;
        exports.asyncify_stop_unwind();
      };
      resume();
    });
  }

  // Nothing of the program runs after this: the exception unwinds its
  // frames, and the process's promise settles with the status.
  function ProcessEnd(status) {
    this.status = status;
  }

  const imports = { varnock: {
    console_write(data, size) {
      if (!inMemory(data, size)) return -1;
      // A copy: the program's memory may grow, and the buffer be reused,
      // before the terminal has drawn the bytes.
      host.write(bytes().slice(data >>> 0, (data >>> 0) + (size >>> 0)));
      return size;
    },
    console_read(buffer, size) {
      if (!inMemory(buffer, size)) return -1;
      return wait((wakeUp) => {
        const deliver = (line) => {
          bytes().set(line, buffer >>> 0);
          wakeUp(line.length);
        };
        const line = host.read(size >>> 0);
        if (line instanceof Promise) line.then(deliver);
        else deliver(line);
      });
    },
    message_box(textAt, captionAt, type) {
      return wait((wakeUp) => host.messageBox(text(textAt), text(captionAt), type >>> 0).then(wakeUp));
    },
    exit(status) {
      throw new ProcessEnd(status >>> 0);
    },
  }, env: {
    // The C heap has grown the memory: every view of it is made afresh anyway.
    emscripten_notify_memory_growth() {},
  } };

  // main with a command line, until ExitProcess. A trap is the fault the
  // program cannot continue from, so it becomes the exception a processor
  // fault raises on Windows, and goes to the program's registered handler
  // (varnock_raise_exception); a trap while the handler runs ends the
  // process at once.
  function startProcess(args = []) {
    const entryStack = exports.stackSave();
    function ended(error, dispatched) {
      if (error instanceof ProcessEnd) return error.status;
      const trap = host.exception(error);
      if (!trap) throw error;
      if (trap.aborted) return 3;  // abort()'s status, as on Windows
      if (dispatched) return trap.code;
      // The trapped frames are gone but their stack space is still taken;
      // if little is left (the program's own stack ran out), start afresh.
      if (exports.stackSave() - exports.emscripten_stack_get_end() < 65536) exports.stackRestore(entryStack);
      return call('varnock_raise_exception', [trap.code, trap.offset]).catch((e) => ended(e, true));
    }
    // The command line lives as long as the process, as on Windows.
    const argv = ['varnock', ...args].map((arg) => new TextEncoder().encode(`${arg}\0`));
    const vector = exports.malloc((argv.length + 1) * 4);
    const pointers = argv.map((arg) => {
      const at = exports.malloc(arg.length);
      bytes().set(arg, at);
      return at;
    });
    new Uint32Array(exports.memory.buffer, vector, argv.length + 1).set([...pointers, 0]);
    return call('main', [argv.length, vector]).catch((e) => ended(e, false));
  }

  return new Promise((ready) => {
    instantiateWasm(imports, (instance) => {
      exports = instance.exports;
      exports._initialize();  // the program's constructors
      ready({ startProcess });
    });
  });
}
