// The page around the program: the console it writes to and reads from (a
// terminal), its message box, and the end of a night with the offer of
// another. Each night is a fresh instance of the compiled program. The
// terminal (xterm.js and its fit addon) and the program's loader
// (varnock.js) are the classic scripts before this module.
import { LineEditor } from './line_editor.js';

const { Terminal, FitAddon: { FitAddon }, createVarnock } = globalThis;

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
  cursorStyle: 'underline',
});
// The page's terminal stays at hand in the browser's console, as it was
// when the page was one script.
globalThis.terminal = terminal;
noMotion.addEventListener('change', () => { terminal.options.cursorBlink = !noMotion.matches; });
const fitAddon = new FitAddon();
terminal.loadAddon(fitAddon);
terminal.open(document.getElementById('terminal'));
// The phone's keyboard: Enter is what its action key sends.
terminal.textarea.setAttribute('enterkeyhint', 'enter');
terminal.textarea.setAttribute('aria-describedby', 'keys');

// The widest line of the night in view where the screen allows it; on a
// narrow screen smaller letters, but none smaller than reads well, so that
// the worked night's longest line (55 characters) still fits. Each size
// tried redraws the terminal, so the sizes are tried only when the width has
// changed, not when a phone's keyboard takes some of the height.
const fits = [[72, 16, 12], [55, 12, 10]];  // columns, from the largest font size to the smallest
let fittedWidth = null;
function fitToWindow() {
  if (window.innerWidth !== fittedWidth) {
    fittedWidth = window.innerWidth;
    terminal.options.fontSize = fontSizeThatFits();
  }
  fitAddon.fit();
}

function fontSizeThatFits() {
  for (const [columns, largest, smallest] of fits) {
    for (let size = largest; size >= smallest; --size) {
      terminal.options.fontSize = size;
      if ((fitAddon.proposeDimensions()?.cols ?? 0) >= columns) return size;
    }
  }
  return 10;
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

const typed = document.getElementById('typed');
// The echo starts where the program's output has left the cursor, which is
// known once the terminal has taken all of that output.
const echoStart = () => new Promise((known) => terminal.write('', () => known({ x: terminal.buffer.active.cursorX,
  y: terminal.buffer.active.cursorY, cols: terminal.cols, rows: terminal.rows })));
const keyboard = new LineEditor({
  echo: (text) => terminal.write(text),
  entered: (text) => announce(`${text}\n`),
  replaced: (text) => { typed.textContent = text || 'line cleared'; },
  // The cursor's shape says which, as a console's: a line under the
  // letter inserts, a block overwrites.
  insertMode: (on) => { terminal.options.cursorStyle = on ? 'underline' : 'block'; },
});
terminal.onData((keys) => keyboard.type(keys));
// Ctrl+C with text selected copies it, as the browser does; Ctrl+V is the
// browser's paste, which the terminal then types. Neither reaches the line.
// Shift+Tab leaves the terminal (Tab stays in the line, as a console's).
terminal.attachCustomKeyEventHandler((event) => {
  if (event.key === 'Tab' && event.shiftKey) return false;
  return !(event.type === 'keydown' && event.ctrlKey && !event.altKey && !event.metaKey
    && (event.key.toLowerCase() === 'v' || (event.key.toLowerCase() === 'c' && terminal.hasSelection())));
});
// Text that comes as input events (a phone keyboard's, dictation, an input
// method's) keeps its line breaks, which are Enter: the terminal would drop
// them. All of it is typed as the terminal types keys.
terminal.textarea.addEventListener('beforeinput', (event) => {
  const lineBreak = event.inputType === 'insertLineBreak' || event.inputType === 'insertParagraph';
  if (!lineBreak && !(event.inputType === 'insertText' && /[\r\n]/.test(event.data))) return;
  event.preventDefault();
  terminal.input(lineBreak ? '\r' : event.data);
});
// The row of keys on a touch screen types as the keyboard does. A tap
// leaves the focus in the terminal: a phone's keyboard stays open, and a
// hardware keyboard's Enter or Space goes to the console, not to the key
// tapped last.
const touchKeys = { Enter: '\r', Backspace: '\x7f', Up: '\x1b[A', Down: '\x1b[B' };
for (const button of document.querySelectorAll('#touch-keys button')) {
  button.addEventListener('click', () => terminal.input(touchKeys[button.dataset.key] ?? button.dataset.key));
  for (const type of ['pointerdown', 'mousedown']) button.addEventListener(type, (event) => event.preventDefault());
}

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
    read: (size) => (interrupted ? waitForEver() : keyboard.read(size, echoStart)),
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
  heldAtEnd = new Set(held);
  endedAt = performance.now();
  again.focus();
}

// The night that has ended stays on screen until a fresh press of "Play
// again": never the key that answered the pause, held or repeating, nor
// the second press of a double press. A key down when the night ended
// counts once it is up again, wherever it comes up (or once the window has
// lost the keyboard, which then hears of no key coming up), and no key
// counts in the first half second.
const doublePress = 500;  // ms
const held = new Set();  // the keys down, by code
let heldAtEnd = new Set(), endedAt = -Infinity;
addEventListener('keydown', (event) => event.code && held.add(event.code), true);
addEventListener('keyup', (event) => {
  held.delete(event.code);
  if (heldAtEnd.delete(event.code)) event.preventDefault();
}, true);
addEventListener('blur', () => {
  held.clear();
  heldAtEnd.clear();
});
const again = document.getElementById('again');
again.addEventListener('keydown', (event) => {
  if (event.repeat || heldAtEnd.has(event.code) || performance.now() - endedAt < doublePress) event.preventDefault();
});
again.addEventListener('click', play);
play();
