// The page around the program: the console it writes to and reads from (a
// terminal), its message box, and the end of a night with the offer of
// another. Each night is a fresh instance of the compiled program. The
// program's loader (varnock.js) is the classic script before this module;
// the terminal (xterm.js and its fit addon) comes after the night's first
// lines are on screen, and until then they are the page's own text, laid
// out as the terminal lays them out. This module wires the others, which
// decide from plain values, to the document and the terminal; it alone
// does anything as it loads.
import { cellSize, gridFor, screenRows } from './early_text.js';
import { STATUS_CONTROL_C_EXIT, exceptionOf, exitCodeText } from './exceptions.js';
import { FontFit } from './font_fit.js';
import { KeyGate } from './key_gate.js';
import { LineEditor } from './line_editor.js';
import { LinePopup } from './line_popup.js';
import { boxButtons, escapeAnswer } from './message_box.js';
import { NightLog } from './night_log.js';
import { inputKeys, terminalTakes, touchKeyInput } from './page_keys.js';

const { createVarnock } = globalThis;
const fontFamily = 'ui-monospace, "DejaVu Sans Mono", Menlo, Consolas, monospace';
const scrollback = 5000;
const terminalBox = document.getElementById('terminal');
// No blinking cursor for those who ask for no motion, even if they ask
// while the page is open.
const noMotion = window.matchMedia('(prefers-reduced-motion: reduce)');
const fontFit = new FontFit();

// The terminal, once its style sheet and scripts have come and run
// (startTerminal).
let terminal = null, fitAddon = null, terminalLoading = null;
function loadTerminal() {
  // Once the frame that draws what is on screen now has been drawn: the
  // terminal's script takes the page's only thread a while. What makes the
  // page work offline (offline.js) comes after it: the first screen does
  // not wait for either.
  terminalLoading ??= new Promise((drawn) => requestAnimationFrame(() => setTimeout(drawn)))
    .then(() => Promise.all(['xterm.css', 'xterm.js', 'addon-fit.js'].map((file) => new Promise((loaded, failed) => {
      const element = file.endsWith('.css') ? Object.assign(document.createElement('link'), { rel: 'stylesheet', href: file })
        : Object.assign(document.createElement('script'), { src: file, async: false });  // in this order
      element.onload = loaded;
      element.onerror = () => failed(new Error(`${file} could not be loaded`));
      document.head.append(element);
    }))))
    .then(startTerminal)
    .finally(() => document.head.append(Object.assign(document.createElement('script'), { src: 'offline.js' })));
  return terminalLoading;
}

const columnsAt = (size) => {
  terminal.options.fontSize = size;
  return fitAddon.proposeDimensions()?.cols ?? 0;
};
function fitToWindow() {
  const size = fontFit.sizeFor(window.innerWidth, columnsAt);
  if (size !== null) terminal.options.fontSize = size;
  fitAddon.fit();
}

// The terminal takes the new size once it has taken all the echo written
// for the old one (keys may come while it takes it); a line being typed is
// then shown again for the new size.
let echoes = 0;
function fitWhenEchoed() {
  const written = echoes;
  terminal.write('', () => {
    if (echoes !== written) return fitWhenEchoed();
    fitToWindow();
    keyboard.resize(cursorNow());
  });
}

// The night's text before the terminal has come: the same rows in the same
// cells, at the font size the terminal will have. The cell is the font's
// as the terminal measures it (a W's advance, and the font's height). The
// program prints its first screen in a few writes before it reads; they
// are laid out once, in the frame that draws them.
const early = { box: document.getElementById('early'), text: '', bytes: [], fontSize: 0, drawing: false };
function showEarly(bytes) {
  early.bytes.push(bytes);
  early.text += new TextDecoder().decode(bytes);
  if (early.drawing) return;
  early.drawing = true;
  requestAnimationFrame(drawEarly);
}
function drawEarly() {
  early.drawing = false;
  if (terminal) return;
  const measure = new OffscreenCanvas(1, 1).getContext('2d');
  const charAt = (size) => {
    measure.font = `${size}px ${fontFamily}`;
    const metrics = measure.measureText('W');
    return { width: metrics.width, height: metrics.fontBoundingBoxAscent + metrics.fontBoundingBoxDescent };
  };
  const style = getComputedStyle(terminalBox);
  const area = { width: parseFloat(style.width), height: parseFloat(style.height) };
  const probe = document.createElement('div');
  probe.style.cssText = 'position: absolute; visibility: hidden; overflow-y: scroll; width: 100px; height: 100px';
  document.body.append(probe);
  const scrollbar = probe.offsetWidth - probe.clientWidth;
  probe.remove();
  // The terminal opens 80 × 24, fits its grid to the area, and then its
  // cells to that grid.
  const gridAt = (char, { columns, rows }) => gridFor(area, cellSize(char, devicePixelRatio, columns, rows), scrollbar);
  early.fontSize = fontFit.sizeFor(window.innerWidth, (size) => gridAt(charAt(size), { columns: 80, rows: 24 }).columns)
    ?? early.fontSize;
  const char = charAt(early.fontSize);
  let grid = gridAt(char, { columns: 80, rows: 24 });
  for (let fitted = grid; (grid = gridAt(char, fitted)).columns !== fitted.columns;) fitted = grid;
  const cell = cellSize(char, devicePixelRatio, grid.columns, grid.rows);
  Object.assign(early.box.style, { fontFamily, fontSize: `${early.fontSize}px`, letterSpacing: `${cell.width - char.width}px` });
  early.box.replaceChildren(...(screenRows(early.text, grid.columns, grid.rows) ?? []).map((text) => {
    const row = document.createElement('div');
    row.textContent = text;
    row.style.height = row.style.lineHeight = `${cell.height}px`;
    return row;
  }));
}

// What the player does before the terminal has come is done again there,
// in order: the keys it takes, and the touch screen's keys. Ctrl+C is not
// kept waiting: it ends the process now, and the keys before it go.
const beforeTerminal = [];
function keyBeforeTerminal(event) {
  if (['Shift', 'Control', 'Alt', 'Meta'].includes(event.key) || !terminalTakes(event, false)) return;
  event.preventDefault();
  if (event.ctrlKey && !event.altKey && !event.metaKey && event.key.toLowerCase() === 'c') {
    beforeTerminal.length = 0;
    return keyboard.type('\x03');
  }
  const { key, code, keyCode, ctrlKey, shiftKey, altKey, metaKey } = event;
  beforeTerminal.push(() => {
    const again = new KeyboardEvent('keydown', { key, code, keyCode, ctrlKey, shiftKey, altKey, metaKey, cancelable: true });
    // A letter the terminal leaves to the keypress that follows a real key.
    if (terminal.textarea.dispatchEvent(again) && key.length === 1 && !ctrlKey && !altKey && !metaKey) terminal.input(key);
  });
}

function startTerminal() {
  const { Terminal, FitAddon: { FitAddon } } = globalThis;
  terminal = new Terminal({
    cursorBlink: !noMotion.matches,
    fontFamily,
    fontSize: early.fontSize || 15,
    scrollback,
    // A paste is typed as it is, never wrapped in escape sequences.
    ignoreBracketedPasteMode: true,
    // Red, which says the program could not run, as readable as the text.
    theme: { background: '#101014', foreground: '#d8d8d0', red: '#ff6b6b' },
    cursorStyle: 'underline',
  });
  noMotion.addEventListener('change', () => { terminal.options.cursorBlink = !noMotion.matches; });
  fitAddon = new FitAddon();
  terminal.loadAddon(fitAddon);
  terminal.open(terminalBox);
  // The phone's keyboard: Enter is what its action key sends.
  terminal.textarea.setAttribute('enterkeyhint', 'enter');
  terminal.textarea.setAttribute('aria-describedby', 'keys');
  window.addEventListener('resize', fitWhenEchoed);
  fitToWindow();
  terminal.onData((keys) => keyboard.type(keys));
  terminal.attachCustomKeyEventHandler((event) => terminalTakes(event, terminal.hasSelection()));
  // The line breaks of text from input events, which the terminal would drop,
  // are typed with the text as the terminal types keys.
  terminal.textarea.addEventListener('beforeinput', (event) => {
    const keys = inputKeys(event);
    if (keys === null) return;
    event.preventDefault();
    terminal.input(keys);
  });
  // The night so far, and then the early text gives way in the frame that
  // draws the terminal's rows.
  terminal.write('\x1b[?45h');
  for (const bytes of early.bytes.splice(0)) terminal.write(bytes);
  terminal.write('', () => {
    const drawn = terminal.onRender(() => {
      drawn.dispose();
      early.box.remove();
    });
  });
  if (document.body.dataset.state === 'playing' && document.activeElement === document.body) terminal.focus();
  beforeTerminal.splice(0).forEach((again) => again());
}

// What the night prints, as text for assistive technology: a log that gets
// each line once, as it is printed, and keeps the night's lines to be read
// again. The terminal's rows are hidden from assistive technology, and its
// own screen reader mode stays off: its live region is emptied at every key
// and gives up after 20 lines.
const transcript = document.getElementById('transcript');
const printed = new TextDecoder();
const nightLog = new NightLog();

function announce(text) {
  for (const [startsLine, part] of nightLog.add(text)) {
    if (startsLine) {
      transcript.append(document.createElement('div'));
      // As many lines as the terminal keeps: a long night stays light.
      if (transcript.childElementCount > scrollback) transcript.firstChild.remove();
    }
    transcript.lastChild.append(part);
  }
}

const typed = document.getElementById('typed');
const cursorNow = () => ({ x: terminal.buffer.active.cursorX, y: terminal.buffer.active.cursorY,
  cols: terminal.cols, rows: terminal.rows });
// The echo starts where the program's output has left the cursor, which is
// known once the terminal has taken all of that output.
const outputTaken = () => loadTerminal().then(() => new Promise((taken) => terminal.write('', taken)));
const linePopup = new LinePopup(document.getElementById('popup'), { live: typed, choose: (n) => keyboard.choose(n) });
const keyboard = new LineEditor({
  echo: (text) => {
    ++echoes;
    if (terminal) terminal.write(text);
    else showEarly(new TextEncoder().encode(text));
  },
  entered: (text) => announce(`${text}\n`),
  replaced: (text) => { typed.textContent = text || 'line cleared'; },
  // The cursor's shape says which, as a console's: a line under the
  // letter inserts, a block overwrites.
  insertMode: (on) => { terminal.options.cursorStyle = on ? 'underline' : 'block'; },
  popup: (shown) => linePopup.show(shown),
});
// The row of keys on a touch screen types as the keyboard does. A tap
// leaves the focus in the terminal: a phone's keyboard stays open, and a
// hardware keyboard's Enter or Space goes to the console, not to the key
// tapped last.
for (const button of document.querySelectorAll('#touch-keys button')) {
  button.addEventListener('click', () => {
    const keys = touchKeyInput(button.dataset.key);
    if (terminal) terminal.input(keys);
    else beforeTerminal.push(() => terminal.input(keys));
  });
  for (const type of ['pointerdown', 'mousedown']) button.addEventListener(type, (event) => event.preventDefault());
}

function messageBox(text, caption, type) {
  const box = document.getElementById('box');
  const buttons = boxButtons(type);
  box.querySelector('h2').textContent = caption;
  box.querySelector('pre').textContent = text;
  box.querySelector('menu').replaceChildren(...buttons.map(([name, id]) => {
    const button = document.createElement('button');
    button.textContent = name;
    button.value = id;
    return button;
  }));
  box.returnValue = '';
  return new Promise((resolve) => {
    box.oncancel = (event) => {
      const answer = escapeAnswer(buttons);
      if (answer === null) event.preventDefault();
      else box.returnValue = String(answer);
    };
    box.onclose = () => {
      terminal?.focus();
      resolve(Number(box.returnValue));
    };
    box.showModal();
  });
}

// The program's output: on the terminal, and in the log. Its first line
// takes the place of the page's own saying that the night is loading.
function show(bytes) {
  document.getElementById('loading')?.remove();
  if (terminal) terminal.write(bytes);
  else showEarly(bytes);
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

// On the terminal, and where screen readers hear it: in the log, and in
// place of the loading line.
function showFailure(error) {
  const reason = typeof WebAssembly === 'object' ? error.message : 'this browser has no WebAssembly';
  const text = `The page could not run the program: ${reason}`;
  loadTerminal().then(() => terminal.write(`\r\n\x1b[31m${text}\x1b[0m\r\n`));
  announce(`${text}\n`);
  const loading = document.getElementById('loading');
  if (loading) loading.textContent = 'The night could not load.';
  document.body.dataset.state = 'failed';
}

async function play() {
  document.body.dataset.state = 'playing';
  document.getElementById('over').hidden = true;
  if (terminal) {
    fitToWindow();
    terminal.reset();
    // Backspace goes back over the wrap of a typed line longer than the
    // screen is wide, so that rubbing out, Esc, Up and Down erase all of
    // its echo. (A terminal that comes during the first night is told so
    // as it starts.)
    terminal.write('\x1b[?45h');
    terminal.focus();
  }
  keyboard.reset();
  transcript.replaceChildren();
  nightLog.reset();
  keyGate.started();
  // Ctrl+C ends the process at once, as Windows ends a program that has no
  // handler of its own: from then on nothing the process does reaches the
  // page, not even with a line it was handed just before, and its instance,
  // left waiting for ever, is dropped. While the program loads, Ctrl+C ends
  // it as soon as it is there, and the keys typed before it go.
  let interrupted = false, interrupt;
  const interruption = new Promise((resolve) => { interrupt = resolve; });
  keyboard.interrupt = () => {
    interrupted = true;
    interrupt(STATUS_CONTROL_C_EXIT);
  };
  const waitForEver = () => new Promise(() => {});
  const host = {
    write: (bytes) => interrupted || show(bytes),
    read: (size) => (interrupted ? waitForEver() : keyboard.read(size, cursorNow, outputTaken())),
    messageBox: (...box) => (interrupted ? waitForEver() : messageBox(...box)),
    exception: exceptionOf,
  };
  let status;
  try {
    const program = await createVarnock({ host, instantiateWasm });
    status = await (interrupted ? interruption : Promise.race([interruption, program.startProcess([])]));
  } catch (error) {
    showFailure(error);
    return;
  }
  keyboard.reset();
  document.getElementById('loading')?.remove();  // a night ended before it printed
  await loadTerminal();
  terminal.write('\x1b[?25l');  // no cursor: nothing reads any more
  document.getElementById('status').textContent =
    status === 0 ? 'The night is over.' : `The night is over (exit code ${exitCodeText(status)}).`;
  document.getElementById('over').hidden = false;
  document.body.dataset.state = 'over';
  document.body.dataset.exitCode = exitCodeText(status);
  fitToWindow();
  keyGate.ended(performance.now());
  again.focus();
}

const keyGate = new KeyGate();
addEventListener('keydown', (event) => {
  if (!keyGate.keyDown(event)) {
    event.preventDefault();
    event.stopImmediatePropagation();
  } else if (!terminal) {
    keyBeforeTerminal(event);
  }
}, true);
addEventListener('keyup', (event) => keyGate.keyUp(event) && event.preventDefault(), true);
addEventListener('blur', () => keyGate.blur());
const again = document.getElementById('again');
again.addEventListener('keydown', (event) => keyGate.playsAgain(event, performance.now()) || event.preventDefault());
again.addEventListener('click', play);
play();
