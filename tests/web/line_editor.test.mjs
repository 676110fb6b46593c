// The console's line editor without a browser: keys in as a terminal
// delivers them, the bytes handed to the reads and the screen the echo
// draws out. The screen is a terminal's as the page has it: lines wrap,
// Backspace goes back over a wrap.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { LineEditor } from '../../web/line_editor.js';

const [Left, Right, Up, Down, Home, End] = ['\x1b[D', '\x1b[C', '\x1b[A', '\x1b[B', '\x1b[H', '\x1b[F'];
const [WordLeft, WordRight, Insert, Delete, Esc] = ['\x1b[1;5D', '\x1b[1;5C', '\x1b[2~', '\x1b[3~', '\x1b'];
const [F1, F3, F5, F8, Backspace] = ['\x1bOP', '\x1bOR', '\x1b[15~', '\x1b[19~', '\x7f'];

// Text written to a screen cols wide: its lines, wrapped ones joined, blanks
// at their ends and empty lines at the end left off; x is the cursor's column.
function screen(cols) {
  const rows = [[]], wrapped = [false];
  let x = 0, y = 0;
  const newRow = (wrap) => { ++y; rows[y] ??= []; wrapped[y] = wrap || (wrapped[y] ?? false); };
  return {
    get x() { return Math.min(x, cols - 1); },
    write(text) {
      for (const c of text) {
        if (c === '\r') x = 0;
        else if (c === '\n') newRow(false);
        else if (c !== '\b') {
          if (x === cols) { x = 0; newRow(true); }
          rows[y][x++] = c;
        } else if (x > 0) x = Math.min(x, cols) - 1;
        else if (wrapped[y]) [wrapped[y], y, x] = [false, y - 1, cols - 1];
      }
    },
    lines() {
      const lines = rows.map((row) => Array.from(row, (c) => c ?? ' ').join('').trimEnd())
        .reduce((joined, line, i) => (wrapped[i] ? [...joined.slice(0, -1), joined.at(-1) + line] : [...joined, line]), []);
      while (lines.at(-1) === '') lines.pop();
      return lines;
    },
  };
}

// Reads as a program does, each read as soon as the one before has its
// line, while the keys are typed: what each read got, and the screen.
async function play(deliveries, { cols = 80, size = 256 } = {}) {
  const shown = screen(cols), reads = [];
  const editor = new LineEditor({ echo: (text) => shown.write(text) });
  editor.interrupt = () => reads.push('interrupted');
  const read = () => Promise.resolve(editor.read(size, () => shown.x)).then((bytes) => {
    reads.push(Buffer.from(bytes).toString('latin1'));
    read();
  });
  const settled = () => new Promise((done) => setImmediate(done));
  read();
  await settled();
  deliveries.forEach((keys) => editor.type(keys));
  await settled();
  return { reads, lines: shown.lines() };
}

// Keys (one delivery each), the bytes each read gets, the screen.
const rows = [
  ['a Tab stays in the line', ['1\t2\r'], ['1\t2\r\n'], ['1       2']],
  ['a Tab after a sign', ['+\t5\r'], ['+\t5\r\n'], ['+       5']],
  ['other control keys show as ^X', ['a\x01\r'], ['a\x01\r\n'], ['a^A']],
  ['a line that starts with Ctrl+Z is the end of the input', ['\x1a2\r', '3\r'], ['', '3\r\n'], ['^Z2', '3']],
  ['a line break, whichever, is Enter', ['3\n3\r\n1\r', '\n'], ['3\r\n', '3\r\n', '1\r\n', '\r\n'], ['3', '3', '1']],
  ['what the read has no room for waits for the next', ['123\r'], ['12', '3\r', '\n'], ['123'], { size: 2 }],
  ['a lone Esc takes no key', ['3\r', Esc, '2\r'], ['3\r\n', '2\r\n'], ['3', '2']],
  ['Esc clears the line', ['7', Esc, '2\r'], ['2\r\n'], ['2']],
  ['Alt with a key is nothing', ['1', '\x1bx', '2\r'], ['12\r\n'], ['12']],
  ['Left: a key goes in before the one passed', ['12', Left, '3\r'], ['132\r\n'], ['132']],
  ['Right, and not past the end', ['123', Left, Left, Right, 'x', Right, Right, 'y\r'], ['12x3y\r\n'], ['12x3y']],
  ['Home and End', ['23', Home, Left, '1', End, '4\r'], ['1234\r\n'], ['1234']],
  ['Ctrl+Left and Ctrl+Right by word', ['ab cd  ef', WordLeft, WordLeft, '1', WordRight, '2', WordRight, '3\r'],
    ['ab 1cd  2ef3\r\n'], ['ab 1cd  2ef3']],
  ['Backspace in the line', ['1234', Left, Left, Backspace, '\b', Backspace, '\r'], ['34\r\n'], ['34']],
  ['Delete under the cursor, and nothing at the end', ['1234', Home, Delete, End, Delete, '\r'], ['234\r\n'], ['234']],
  ['Insert overwrites until Enter', ['1234', Home, Insert, 'ab', End, '5\r', '12', Home, 'x\r'],
    ['ab345\r\n', 'x12\r\n'], ['ab345', 'x12']],
  ['Tabs move with the line', ['1\t2', Home, '34', Delete, '\r'], ['34\t2\r\n'], ['34      2']],
  ['a line wider than the screen is edited across its wrap', ['abcdefghijklmno', Home, 'x', End, Backspace, '\r'],
    ['xabcdefghijklmn\r\n'], ['xabcdefghijklmn'], { cols: 10 }],
  ['Up recalls the line before, and stops at the oldest', ['1\r', '2\r', '3', Up, Up, Up, '\r'],
    ['1\r\n', '2\r\n', '1\r\n'], ['1', '2', '1']],
  ['Down past the newest line leaves it', ['1\r', '2\r', '5', Down, Up, Up, Down, Down, '\r'],
    ['1\r\n', '2\r\n', '2\r\n'], ['1', '2', '2']],
  ['F5 is Up', ['1\r', '2\r', F5, F5, '\r'], ['1\r\n', '2\r\n', '1\r\n'], ['1', '2', '1']],
  ['F8: back, and round, to a line that begins as typed; the cursor stays', ['31\r', '42\r', '35\r', '3', F8, F8, F8, 'x\r'],
    ['31\r\n', '42\r\n', '35\r\n', '3x5\r\n'], ['31', '42', '35', '3x5']],
  ['F1, and Right, at the end copy a character of the line before, to the same column; before it they move',
    ['abc\r', 'x', F1, Right, Right, Home, F1, '1\r'], ['abc\r\n', 'x1bc\r\n'], ['abc', 'x1bc']],
  ['F3 copies the rest of it', ['abcd\r', 'xy', Home, Right, F3, '\r', '12345', F3, '\r'],
    ['abcd\r\n', 'xbcd\r\n', '12345\r\n'], ['abcd', 'xbcd', '12345']],
  ['Ctrl+C ends the line at once', ['12', Left, '\x03', '3\r'], ['interrupted'], ['12^C']],
];
for (const [name, keys, reads, lines, options] of rows) {
  test(`line editor: ${name}`, async () => {
    assert.deepEqual(await play(keys, options), { reads, lines });
  });
}

// A pasted line is echoed as it comes, never measured again from its start:
// the fastest of three, so that a busy machine does not count.
test('line editor: a line of 20,000 keys, Tabs, characters and control keys rubbed out, echoes at once', async (t) => {
  let fastest = Infinity;
  for (let run = 0; run < 3; ++run) {
    const editor = new LineEditor();
    const line = editor.read(1 << 16);
    await new Promise((done) => setImmediate(done));
    const started = performance.now();
    editor.type(`${'\t1\x02\x7f'.repeat(5000)}\r`);
    fastest = Math.min(fastest, performance.now() - started);
    assert.equal(Buffer.from(await line).toString('latin1'), `${'\t1'.repeat(5000)}\r\n`);
  }
  t.diagnostic(`20,000 keys: ${fastest.toFixed(1)} ms`);
  assert.ok(fastest < 100, `${fastest} ms`);
});
