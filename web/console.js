'use strict';
// The page around the program: the console it writes to and reads from (a
// terminal), its message box, and the end of a night with the offer of
// another. Each night is a fresh instance of the compiled program.

// No blinking cursor for those who ask for no motion, even if they ask
// while the page is open.
const noMotion = window.matchMedia('(prefers-reduced-motion: reduce)');
const terminal = new Terminal({
  cursorBlink: !noMotion.matches,
  fontFamily: 'ui-monospace, "DejaVu Sans Mono", Menlo, Consolas, monospace',
  scrollback: 5000,
  // A paste is typed as it is, never wrapped in escape sequences.
  ignoreBracketedPasteMode: true,
  theme: { background: '#101014', foreground: '#d8d8d0' },
});
noMotion.addEventListener('change', () => { terminal.options.cursorBlink = !noMotion.matches; });
const fitAddon = new FitAddon.FitAddon();
terminal.loadAddon(fitAddon);
terminal.open(document.getElementById('terminal'));
// The phone's keyboard: Enter is what its action key sends.
terminal.textarea.setAttribute('enterkeyhint', 'enter');
terminal.textarea.setAttribute('aria-describedby', 'keys');

// The widest line of the night in view where the screen allows it, but the
// letters never too small to read: a narrow screen wraps the long lines.
function fitToWindow() {
  const fontSize = Math.max(12, Math.min(16, Math.floor(window.innerWidth / (72 * 0.6))));
  if (terminal.options.fontSize !== fontSize) terminal.options.fontSize = fontSize;
  fitAddon.fit();
}
window.addEventListener('resize', fitToWindow);
fitToWindow();

// What the night prints, as text for assistive technology: a log that gets
// each line once, as it is printed, and keeps the night's lines to be read
// again. The terminal's rows are hidden from assistive technology, and its
// own screen reader mode stays off: its live region is emptied at every key
// and gives up after 20 lines.
const transcript = document.getElementById('transcript');
const printed = new TextDecoder();
let lineOpen = false;  // the last line in the log has had no line feed yet

function announce(text) {
  text.replace(/\r/g, '').split('\n').forEach((part, i) => {
    if (i > 0) lineOpen = false;
    if (!part) return;
    if (!lineOpen) {
      transcript.append(document.createElement('div'));
      // As many lines as the terminal keeps: a long night stays light.
      if (transcript.childElementCount > terminal.options.scrollback) transcript.firstChild.remove();
    }
    transcript.lastChild.append(part);
    lineOpen = true;
  });
}

// The keys with a meaning of their own among the terminal's escape
// sequences (normal and application cursor mode); the others do nothing here.
const sequenceKeys = { '\x1b[A': 'Up', '\x1bOA': 'Up', '\x1b[B': 'Down', '\x1bOB': 'Down' };
// The lines Up and Down recall, as many as a Windows console keeps.
const historySize = 50;

// The console's input in line-input mode, as a Windows console has it: keys
// wait until a read asks for them (type-ahead); while one does, they are
// echoed and edited until Enter hands the line over, ending in CR LF. What
// the read has no room for stays for the next read. A line that starts with
// Ctrl+Z is the end of the input: the read returns nothing. Control keys
// stay in the line: Tab shows as spaces to the next tab stop, the others as
// ^X. Esc clears the line; Up and Down recall the lines entered before.
// Ctrl+C waits for no read: it ends the process at once.
class ConsoleInput {
  #keys = [];  // typed ahead: single characters, and 'Up' or 'Down'
  #line = [];  // the line being typed: { byte, echo } for each key kept
  #unread = new Uint8Array(0);
  #reader = null;  // the read waiting for a line: { size, resolve, column }
  #echo = '';
  #history = [];  // the lines entered, oldest first, as bytes
  #recalled = 0;  // the history entry Up and Down have reached, or its length
  interrupt = null;  // what Ctrl+C does, while a process runs

  // A new process: nothing typed is kept for it but the history.
  reset() {
    this.#keys = [];
    this.#line = [];
    this.#unread = new Uint8Array(0);
    this.#reader = null;
    this.#recalled = this.#history.length;
    this.interrupt = null;
  }

  // One keystroke or one paste, as the terminal delivers it. An escape
  // sequence is taken only whole, from within one delivery, so that Esc
  // never takes the key after it.
  type(data) {
    if (/^\x1b[^]$/u.test(data)) return;  // Alt with a key: nothing here
    for (const [key] of data.matchAll(/\x1b\[[0-?]*[ -/]*[@-~]|\x1bO[@-~]|[^]/gu)) {
      if (key === '\x03') {  // never in the line, nor waiting for a read
        if (this.interrupt) return this.#interrupted();
      } else if (key[0] !== '\x1b' || key === '\x1b') {
        this.#keys.push(key);
      } else if (sequenceKeys[key]) {
        this.#keys.push(sequenceKeys[key]);
      }
    }
    this.#edit();
  }

  // The bytes of the line, at most size; a promise of them until Enter.
  read(size) {
    if (this.#unread.length > 0) return this.#take(size);
    return new Promise((resolve) => {
      const reader = this.#reader = { size, resolve, column: null };
      // The echo starts where the program's output has left the cursor, which
      // is known once the terminal has taken all of that output.
      terminal.write('', () => {
        reader.column = terminal.buffer.active.cursorX;
        if (this.#reader === reader) this.#edit();
      });
    });
  }

  #take(size) {
    const bytes = this.#unread.subarray(0, size);
    this.#unread = this.#unread.subarray(bytes.length);
    return bytes;
  }

  #edit() {
    let at = 0;
    while (this.#reader?.column != null && at < this.#keys.length) {
      const key = this.#keys[at++];
      if (key === '\r') this.#enter();
      else if (key === '\x7f' || key === '\b') this.#rubOut();
      else if (key === '\x1b') this.#replaceLine([]);
      else if (key === 'Up') this.#recall(-1);
      else if (key === 'Down') this.#recall(1);
      else if (key < '\x80') this.#add(key.charCodeAt(0));
      else this.#add(0x3f);  // '?': outside the console's code page
    }
    this.#keys.splice(0, at);
    this.#flushEcho();
  }

  // The echo goes out in one write per batch of keys: a long paste stays fast.
  #flushEcho() {
    if (this.#echo) terminal.write(this.#echo);
    this.#echo = '';
  }

  // A Tab's stops are every 8 columns of the screen, as the console's.
  #add(byte) {
    const echo = byte === 0x09 ? ' '.repeat(8 - (this.#reader.column + this.#text().length) % 8)
      : byte < 0x20 ? `^${String.fromCharCode(byte + 0x40)}` : String.fromCharCode(byte);
    this.#line.push({ byte, echo });
    this.#echo += echo;
  }

  #rubOut() {
    const last = this.#line.pop();
    if (last) this.#erase(last.echo.length);
  }

  #erase(width) {
    this.#echo += '\b \b'.repeat(width);
  }

  // Esc, Up and Down put another line in place of the one being typed; what
  // they put is said to the player, who did not type it.
  #replaceLine(bytes) {
    this.#erase(this.#text().length);
    this.#line = [];
    bytes.forEach((byte) => this.#add(byte));
    document.getElementById('typed').textContent = this.#text() || 'line cleared';
  }

  // Up stops at the oldest line; Down past the newest gives an empty line.
  #recall(step) {
    const at = this.#recalled + step;
    if (at < 0 || at > this.#history.length) return;
    this.#recalled = at;
    this.#replaceLine(this.#history[at] ?? []);
  }

  #text() {
    return this.#line.map((key) => key.echo).join('');
  }

  #enter() {
    this.#echo += '\r\n';
    this.#flushEcho();
    announce(`${this.#text()}\n`);
    const bytes = this.#line.map((key) => key.byte);
    this.#line = [];
    if (bytes.length && String(bytes) !== String(this.#history.at(-1))) {
      this.#history = [...this.#history, bytes].slice(-historySize);
    }
    this.#recalled = this.#history.length;
    this.#unread = bytes[0] === 0x1a ? new Uint8Array(0) : Uint8Array.from([...bytes, 0x0d, 0x0a]);
    const { size, resolve } = this.#reader;
    this.#reader = null;
    resolve(this.#take(size));
  }

  // The line and the keys typed ahead go with the process; the read it
  // waits in never returns.
  #interrupted() {
    const interrupt = this.interrupt;
    this.reset();
    terminal.write('^C\r\n');
    interrupt();
  }
}

const keyboard = new ConsoleInput();
terminal.onData((keys) => keyboard.type(keys));
// Ctrl+C with text selected copies it, as the browser does; Ctrl+V is the
// browser's paste, which the terminal then types. Neither reaches the line.
terminal.attachCustomKeyEventHandler((event) => !(event.type === 'keydown' && event.ctrlKey
  && !event.altKey && !event.metaKey
  && (event.key.toLowerCase() === 'v' || (event.key.toLowerCase() === 'c' && terminal.hasSelection()))));

// MessageBoxA's button sets, by the low four bits of its style, and the
// numbers it returns for them.
const boxButtons = [['OK'], ['OK', 'Cancel'], ['Abort', 'Retry', 'Ignore'], ['Yes', 'No', 'Cancel'],
  ['Yes', 'No'], ['Retry', 'Cancel']];
const buttonIds = { OK: 1, Cancel: 2, Abort: 3, Retry: 4, Ignore: 5, Yes: 6, No: 7 };

function messageBox(text, caption, type) {
  const box = document.getElementById('box');
  const buttons = boxButtons[type & 0xf] || boxButtons[0];
  box.querySelector('h2').textContent = caption;
  box.querySelector('pre').textContent = text;
  box.querySelector('menu').replaceChildren(...buttons.map((name) => {
    const button = document.createElement('button');
    button.textContent = name;
    button.value = buttonIds[name];
    return button;
  }));
  box.returnValue = '';
  return new Promise((resolve) => {
    // Escape is Cancel, or OK when that is the only button; else nothing.
    box.oncancel = (event) => {
      if (buttons.includes('Cancel')) box.returnValue = String(buttonIds.Cancel);
      else if (buttons.length === 1) box.returnValue = String(buttonIds.OK);
      else event.preventDefault();
    };
    box.onclose = () => {
      terminal.focus();
      resolve(Number(box.returnValue));
    };
    box.showModal();
  });
}

// The program's output: on the terminal, and in the log. Its first line
// takes the place of the page's own saying that the night is loading.
function show(bytes) {
  document.getElementById('loading')?.remove();
  terminal.write(bytes);
  announce(printed.decode(bytes, { stream: true }));
}

// Compiled once; every night instantiates it anew, with fresh memory.
const compiledProgram = fetch('varnock.wasm')
  .then((response) => {
    if (!response.ok) throw new Error(`varnock.wasm: ${response.status} ${response.statusText}`);
    return response.arrayBuffer();
  })
  .then((bytes) => WebAssembly.compile(bytes));

function instantiateWasm(imports, receiveInstance) {
  compiledProgram
    .then((program) => WebAssembly.instantiate(program, imports).then((instance) => receiveInstance(instance, program)))
    .catch(showFailure);
  return {};
}

function showFailure(error) {
  terminal.write(`\r\n\x1b[31mThe page could not run the program: ${error.message}\x1b[0m\r\n`);
  document.body.dataset.state = 'failed';
}

const STATUS_CONTROL_C_EXIT = 0xc000013a;

function exitCodeText(status) {
  return status > 0xffff ? `0x${status.toString(16).padStart(8, '0')}` : String(status);
}

async function play() {
  document.body.dataset.state = 'playing';
  document.getElementById('over').hidden = true;
  fitToWindow();
  terminal.reset();
  // Backspace goes back over the wrap of a typed line longer than the screen
  // is wide, so that rubbing out, Esc, Up and Down erase all of its echo.
  terminal.write('\x1b[?45h');
  keyboard.reset();
  transcript.replaceChildren();
  lineOpen = false;
  terminal.focus();
  // Ctrl+C ends the process at once, as Windows ends a program that has no
  // handler of its own: from then on nothing the process does reaches the
  // page, not even with a line it was handed just before, and its instance,
  // left waiting for ever, is dropped.
  let interrupted = false;
  const waitForEver = () => new Promise(() => {});
  const host = {
    write: (bytes) => interrupted || show(bytes),
    read: (size) => (interrupted ? waitForEver() : keyboard.read(size)),
    messageBox: (...box) => (interrupted ? waitForEver() : messageBox(...box)),
  };
  let status;
  try {
    const program = await createVarnock({ host, instantiateWasm });
    status = await new Promise((resolve, reject) => {
      keyboard.interrupt = () => {
        interrupted = true;
        resolve(STATUS_CONTROL_C_EXIT);
      };
      program.startProcess([]).then(resolve, reject);
    });
  } catch (error) {
    showFailure(error);
    return;
  }
  keyboard.reset();
  terminal.write('\x1b[?25l');  // no cursor: nothing reads any more
  document.getElementById('status').textContent =
    status === 0 ? 'The night is over.' : `The night is over (exit code ${exitCodeText(status)}).`;
  document.getElementById('over').hidden = false;
  document.body.dataset.state = 'over';
  document.body.dataset.exitCode = exitCodeText(status);
  fitToWindow();
  document.getElementById('again').focus();
}

document.getElementById('again').addEventListener('click', play);
play();
