// The line editor against a real terminal (xterm.js headless, with the
// reverse wraparound the page sets): random prompts, keys, pastes and
// resizes at random sizes; after each Enter the terminal must show, at the
// end of its last line, the echo of the bytes the read got, where the read
// began (after the prompt, which stays as it was) or else at the start of a
// row of its own, and nothing after it. Each case is made from its own
// seed, printed when it fails:
//   node tests/web/line_editor.property.mjs [cases] [first seed]
// runs cases seeds from the first (100000 from 1 unless told).
import xterm from '@xterm/headless';
import { LineEditor } from '../../web/line_editor.js';

const cases = Number(process.argv[2] ?? 100000), firstSeed = Number(process.argv[3] ?? 1);

// mulberry32: a small generator whose whole state is the seed.
function generator(seed) {
  let state = seed >>> 0;
  const next = () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = Math.imul(state ^ (state >>> 15), 1 | state);
    t ^= t + Math.imul(t ^ (t >>> 7), 61 | t);
    return ((t ^ (t >>> 14)) >>> 0) / 2 ** 32;
  };
  const below = (n) => Math.floor(next() * n);
  return { chance: (p) => next() < p, below, between: (low, high) => low + below(high - low + 1), pick: (all) => all[below(all.length)] };
}

const editingKeys = ['\x1b[D', '\x1b[C', '\x1b[A', '\x1b[B', '\x1bOA', '\x1b[H', '\x1b[F', '\x1b[1;5D', '\x1b[1;5C', '\x1b[1;5H',
  '\x1b[1;5F', '\x1b[5~', '\x1b[6~', '\x1b[2~', '\x1b[3~', '\x7f', '\b', '\x1b', '\x1bOP', '\x1bOQ', '\x1bOR', '\x1bOS', '\x1b[15~',
  '\x1b[17~', '\x1b[18~', '\x1b[19~', '\x1b[20~', '\x1b[18;3~'];
// Every control key but Ctrl+C, which ends the process, and the line breaks, which are Enter.
const controlKeys = Array.from({ length: 32 }, (_, i) => String.fromCharCode(i)).filter((c) => !'\x03\n\r\x1b'.includes(c));

function key(random) {
  const kind = random.below(10);
  if (kind < 4) return String.fromCharCode(random.between(0x20, 0x7e));
  if (kind < 5) return random.pick(['\t', ...controlKeys, 'é', '€', '🙂', ...'0123456789']);
  return random.pick(editingKeys);
}

function delivery(random) {
  if (random.chance(0.7)) return key(random);
  if (random.chance(0.2)) return 'x'.repeat(random.between(20, 300));  // taller than the terminal, often
  return Array.from({ length: random.between(2, 30) }, () => key(random)).join('');
}

const text = (random, length) => Array.from({ length }, () => String.fromCharCode(random.between(0x21, 0x7e))).join('');

function echoOf(bytes, column) {
  let shown = '';
  for (const byte of bytes) {
    const at = column + shown.length;
    shown += byte === 0x09 ? ' '.repeat(8 - (at % 8)) : byte < 0x20 ? `^${String.fromCharCode(byte + 0x40)}` : String.fromCharCode(byte);
  }
  return shown;
}

// The rows of the terminal's last line before the cursor, joined, each as
// wide as the terminal, and the buffer row it begins on.
function lastLine(terminal) {
  const buffer = terminal.buffer.active;
  let first = buffer.baseY + buffer.cursorY - 1, line = '';
  while (first > 0 && buffer.getLine(first).isWrapped) --first;
  for (let y = first; y < buffer.baseY + buffer.cursorY; ++y) line += buffer.getLine(y).translateToString(false);
  return { first, line };
}

function check(terminal, { marker, prompt, x, bytes }) {
  const { first, line } = lastLine(terminal);
  // After the prompt where the read began, or at the start of a row of its own.
  const afterPrompt = marker.line >= first && !marker.isDisposed;
  const at = afterPrompt ? (marker.line - first) * terminal.cols + x : 0;
  const echo = bytes === null ? '^Z' : echoOf(bytes, afterPrompt ? x : 0);
  const ending = bytes === null ? line.slice(at, at + 2) : line.slice(at);
  if (afterPrompt && line.slice(at - x, at) !== prompt.slice(prompt.length - x)) return `the prompt shows as ${JSON.stringify(line.slice(0, at))}`;
  if (ending.slice(0, echo.length) !== echo || ending.slice(echo.length).trim() !== '') {
    return `the line shows as ${JSON.stringify(ending.trimEnd())}, not ${JSON.stringify(echo)}`;
  }
  return null;
}

const terminal = new xterm.Terminal({ cols: 80, rows: 24, scrollback: 10000, logLevel: 'off', allowProposedApi: true });
// The page's terminal takes writes in order; here each is taken at once.
const write = (data) => terminal._core.writeSync(data);
const cursor = () => ({ x: terminal.buffer.active.cursorX, y: terminal.buffer.active.cursorY, cols: terminal.cols, rows: terminal.rows });
const settled = () => new Promise((done) => setImmediate(done));

async function play(seed) {
  const random = generator(seed), steps = [];
  terminal.reset();
  terminal.resize(random.between(2, 40), random.between(1, 12));
  write('\x1b[?45h');
  let read;
  const editor = new LineEditor({ echo: write, entered: () => { read.ended = true; } });
  for (let lines = random.between(1, 4); lines > 0; --lines) {
    if (random.chance(0.3)) write(`${text(random, random.between(1, 100))}\r\n`);
    const prompt = text(random, random.chance(0.2) ? terminal.cols * random.between(0, 2) : random.between(0, 2 * terminal.cols));
    write(prompt);
    steps.push({ prompt, cols: terminal.cols, rows: terminal.rows });
    read = { marker: terminal.registerMarker(0), prompt, x: terminal.buffer.active.cursorX, ended: false };
    editor.read(1 << 20, cursor).then((bytes) => {
      read.bytes = bytes.length ? [...bytes.subarray(0, -2)] : null;  // null: the line began with ^Z
    });
    await settled();
    for (let n = random.between(0, 12); n > 0 && !read.ended; --n) {
      if (random.chance(0.1)) {
        const size = [random.between(2, 40), random.between(1, 12)];
        steps.push({ resize: size });
        terminal.resize(...size);
        editor.resize(cursor());
      } else {
        const keys = delivery(random);
        steps.push(keys);
        editor.type(keys);
      }
    }
    // Enter, twice if a question took the first.
    for (let n = 0; n < 2 && !read.ended; ++n) {
      steps.push('\r');
      editor.type('\r');
    }
    await settled();
    if (!read.ended) return { fault: 'Enter did not end the line', steps };
    const fault = check(terminal, read);
    read.marker.dispose();
    if (fault) return { fault, steps };
  }
  return null;
}

const started = performance.now();
for (let seed = firstSeed; seed < firstSeed + cases; ++seed) {
  const failed = await play(seed);
  if (!failed) continue;
  console.log(`line editor property: seed ${seed}: ${failed.fault}\nsteps: ${JSON.stringify(failed.steps)}`);
  console.log(`again: node tests/web/line_editor.property.mjs 1 ${seed}`);
  process.exit(1);
}
console.log(`line editor property: ${cases} cases from seed ${firstSeed} passed in ${((performance.now() - started) / 1000).toFixed(1)} s`);
