// The system under the web seam (files.cpp, message_box.cpp,
// process_end.cpp, and process.js): the console, the message box and the
// exception a trap raises, which the page provides as Module.host:
//   host.write(bytes)                 shows bytes on the terminal;
//   host.read(size)                   the next bytes of the console's line,
//                                     at most size: a Uint8Array, or a
//                                     promise of one while the player types;
//   host.messageBox(text, caption, type)  a promise of the button's id;
//   host.exception(error)             what an error thrown out of the
//                                     program is (process.js): { code,
//                                     offset } for a trap, { aborted } for
//                                     abort(), null for anything else.
// Reads and boxes wait through Asyncify (ASYNCIFY_IMPORTS in the link).
mergeInto(LibraryManager.library, {
  // Pointers and counts arrive as signed numbers: read them unsigned.
  $varnockInMemory: function (pointer, size) {
    return (pointer >>> 0) + (size >>> 0) <= HEAPU8.length;
  },

  varnock_console_write__deps: ['$varnockInMemory'],
  varnock_console_write: function (data, size) {
    if (!varnockInMemory(data, size)) return -1;
    // A copy: the program's memory may grow, and the buffer be reused,
    // before the terminal has drawn the bytes.
    Module.host.write(HEAPU8.slice(data, data + (size >>> 0)));
    return size;
  },

  varnock_console_read__deps: ['$varnockInMemory'],
  varnock_console_read: function (buffer, size) {
    if (!varnockInMemory(buffer, size)) return -1;
    return Asyncify.handleSleep(function (wakeUp) {
      function deliver(bytes) {
        HEAPU8.set(bytes, buffer);
        wakeUp(bytes.length);
      }
      var line = Module.host.read(size >>> 0);
      if (line instanceof Promise) line.then(deliver);
      else deliver(line);
    });
  },

  varnock_message_box: function (text, caption, type) {
    return Asyncify.handleSleep(function (wakeUp) {
      Module.host.messageBox(UTF8ToString(text), UTF8ToString(caption), type >>> 0).then(wakeUp);
    });
  },

  // Nothing of the program runs after this: the exception unwinds its
  // frames, and the process's promise (process.js) settles with the status.
  varnock_exit: function (status) {
    throw new VarnockProcessEnd(status >>> 0);
  },
});
