'use strict';
// The page around the program: the console it writes to and reads from (a
// terminal), its message box, and the end of a night with the offer of
// another. Each night is a fresh instance of the compiled program.

const terminal = new Terminal({
  cursorBlink: true,
  fontFamily: 'ui-monospace, "DejaVu Sans Mono", Menlo, Consolas, monospace',
  scrollback: 5000,
  theme: { background: '#101014', foreground: '#d8d8d0' },
});
const fitAddon = new FitAddon.FitAddon();
terminal.loadAddon(fitAddon);
terminal.open(document.getElementById('terminal'));
// The phone's keyboard: Enter is what its action key sends.
terminal.textarea.setAttribute('enterkeyhint', 'enter');

// The widest line of the night in view where the screen allows it, but the
// letters never too small to read: a narrow screen wraps the long lines.
function fitToWindow() {
  const fontSize = Math.max(12, Math.min(16, Math.floor(window.innerWidth / (72 * 0.6))));
  if (terminal.options.fontSize !== fontSize) terminal.options.fontSize = fontSize;
  fitAddon.fit();
}
window.addEventListener('resize', fitToWindow);
fitToWindow();

// The console's input in line-input mode, as a Windows console has it: keys
// wait until a read asks for them; while one does, they are echoed and
// edited (Backspace) until Enter hands the line over, ending in CR LF. What
// the read has no room for stays for the next read. A line that starts with
// Ctrl+Z is the end of the input: the read returns nothing.
class ConsoleInput {
  #keys = '';
  #line = [];
  #unread = new Uint8Array(0);
  #reader = null;  // the read waiting for a line: { size, resolve }
  #echo = '';

  reset() {
    this.#keys = '';
    this.#line = [];
    this.#unread = new Uint8Array(0);
    this.#reader = null;
  }

  type(keys) {
    this.#keys += keys;
    this.#edit();
  }

  // The bytes of the line, at most size; a promise of them until Enter.
  read(size) {
    if (this.#unread.length > 0) return this.#take(size);
    return new Promise((resolve) => {
      this.#reader = { size, resolve };
      this.#edit();
    });
  }

  #take(size) {
    const bytes = this.#unread.subarray(0, size);
    this.#unread = this.#unread.subarray(bytes.length);
    return bytes;
  }

  #edit() {
    let at = 0;
    while (this.#reader && at < this.#keys.length) {
      const escape = /^\x1b(\[[0-?]*[ -/]*[@-~]|O.|.)?/.exec(this.#keys.slice(at, at + 32));
      if (escape) {  // cursor and function keys: this console has no use for them
        at += escape[0].length;
        continue;
      }
      const key = String.fromCodePoint(this.#keys.codePointAt(at));
      at += key.length;
      if (key === '\r') this.#enter();
      else if (key === '\x7f' || key === '\b') this.#rubOut();
      else if (key === '\x1a') this.#add(0x1a, '^Z');
      else if (key >= ' ' && key <= '~') this.#add(key.charCodeAt(0), key);
      else if (key > '\x7f') this.#add(0x3f, '?');  // outside the console's code page
    }
    this.#keys = this.#keys.slice(at);
    this.#flushEcho();
  }

  // The echo goes out in one write per batch of keys: a long paste stays fast.
  #flushEcho() {
    if (this.#echo) terminal.write(this.#echo);
    this.#echo = '';
  }

  #add(byte, echo) {
    this.#line.push({ byte, echo });
    this.#echo += echo;
  }

  #rubOut() {
    const last = this.#line.pop();
    if (last) this.#echo += '\b \b'.repeat(last.echo.length);
  }

  #enter() {
    this.#echo += '\r\n';
    this.#flushEcho();
    const bytes = this.#line.map((key) => key.byte);
    this.#line = [];
    this.#unread = bytes[0] === 0x1a ? new Uint8Array(0) : Uint8Array.from([...bytes, 0x0d, 0x0a]);
    const { size, resolve } = this.#reader;
    this.#reader = null;
    resolve(this.#take(size));
  }
}

const keyboard = new ConsoleInput();
terminal.onData((keys) => keyboard.type(keys));

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

const host = {
  write: (bytes) => terminal.write(bytes),
  read: (size) => keyboard.read(size),
  messageBox,
};

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

function exitCodeText(status) {
  return status > 0xffff ? `0x${status.toString(16).padStart(8, '0')}` : String(status);
}

async function play() {
  document.body.dataset.state = 'playing';
  document.getElementById('over').hidden = true;
  fitToWindow();
  terminal.reset();
  keyboard.reset();
  terminal.focus();
  let status;
  try {
    const program = await createVarnock({ host, instantiateWasm });
    status = await program.startProcess([]);
  } catch (error) {
    showFailure(error);
    return;
  }
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
