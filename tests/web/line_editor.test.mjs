// The console's line editor without a browser: keys in as a terminal
// delivers them, the bytes handed to the reads and the screen the echo
// draws out. The screen is a terminal's as the page has it: lines wrap,
// Backspace goes back over a wrap.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { LineEditor } from '../../web/line_editor.js';

const [Left, Right, Up, Down, Home, End] = ['\x1b[D', '\x1b[C', '\x1b[A', '\x1b[B', '\x1b[H', '\x1b[F'];
const [WordLeft, WordRight, Insert, Delete, Esc] = ['\x1b[1;5D', '\x1b[1;5C', '\x1b[2~', '\x1b[3~', '\x1b'];
const [F1, F2, F3, F4, F5, F6] = ['\x1bOP', '\x1bOQ', '\x1bOR', '\x1bOS', '\x1b[15~', '\x1b[17~'];
const [F7, F8, F9, AltF7, Backspace] = ['\x1b[18~', '\x1b[19~', '\x1b[20~', '\x1b[18;3~', '\x7f'];
const [PgUp, PgDn, CtrlHome, CtrlEnd] = ['\x1b[5~', '\x1b[6~', '\x1b[1;5H', '\x1b[1;5F'];
const number = (answer) => ({ question: 'Enter command number: ', answer });

// A terminal as the page's (xterm.js, with reverse wraparound) behaves
// where the echo depends on it: rows wrap at cols, and a wrap joins them;
// rows that scroll off the viewport's top can no longer be reached; resized,
// the wrapped rows that hold the cursor stay as they were, cut at the new
// width, while the others are wrapped again. lines() are its rows, wrapped
// ones joined, blanks at their ends and empty lines at the end left off.
function terminal(cols, rows) {
  const row = () => ({ cells: [], wrapped: false });
  let buffer = Array.from({ length: rows }, row), x = 0, y = 0;  // y counts from the buffer's top
  const viewTop = () => buffer.length - rows;
  const down = (wrapped) => {
    if (y === buffer.length - 1) buffer.push(row());
    buffer[++y].wrapped = wrapped;
  };
  const sequences = {
    A: (n) => { y = Math.max(viewTop(), y - n); x = Math.min(x, cols - 1); },
    B: (n) => { y = Math.min(buffer.length - 1, y + n); x = Math.min(x, cols - 1); },
    G: (n) => { x = Math.min(cols - 1, n - 1); },
    X: (n) => { x = Math.min(x, cols - 1); buffer[y].cells.fill(undefined, x, x + n); },
    J: () => {
      buffer[y].cells.splice(x);
      if (x === 0) buffer[y].wrapped = false;
      for (let i = y + 1; i < buffer.length; ++i) buffer[i] = row();
    },
  };
  const lines = () => buffer.map(({ cells, wrapped }) => ({ text: Array.from(cells, (c) => c ?? ' ').join(''), wrapped }))
    .reduce((joined, { text, wrapped }) => (wrapped && joined.length
      ? [...joined.slice(0, -1), joined.at(-1).padEnd(cols) + text] : [...joined, text]), []);
  return {
    cursor: () => ({ x, y: y - viewTop(), cols, rows }),
    write(text) {
      for (let at = 0; at < text.length;) {
        const csi = /\x1b\[(\??)(\d*)([@-~])/y;
        csi.lastIndex = at;
        const sequence = csi.exec(text);
        if (sequence) {
          at = csi.lastIndex;
          if (sequence[1] !== '?') sequences[sequence[3]](Number(sequence[2] || 1));
          continue;
        }
        const c = text[at++];
        if (c === '\r') x = 0;
        else if (c === '\n') down(false), x = Math.min(x, cols - 1);
        else if (c === '\b') {
          if (x > 0) x = Math.min(x, cols) - 1;
          else if (y > viewTop() && buffer[y].wrapped) [buffer[y].wrapped, y, x] = [false, y - 1, cols - 1];
        } else {
          if (x >= cols) [x] = [0, down(true)];
          buffer[y].cells[x++] = c;
        }
      }
    },
    resize(newCols, newRows) {
      // Rows go from under the cursor first, else off the top; they come
      // back from the scrollback when the cursor is on the last.
      for (; rows > newRows; --rows) if (y < buffer.length - 1) buffer.pop();
      for (; rows < newRows; ++rows) if (buffer.length === rows || y < buffer.length - 1) buffer.push(row());
      const cursorRow = buffer[y];
      const groups = [];  // the rows of each line, wrapped ones joined
      for (const line of buffer) line.wrapped && groups.length ? groups.at(-1).push(line) : groups.push([line]);
      buffer = groups.flatMap((group) => {
        if (group.includes(cursorRow)) return group.map((line) => Object.assign(line, { cells: line.cells.slice(0, newCols) }));
        const cells = group.flatMap((line, i) => (i < group.length - 1 ? Array.from({ length: cols }, (_, c) => line.cells[c]) : line.cells));
        while (cells.length && cells.at(-1) === undefined) cells.pop();
        return Array.from({ length: Math.max(1, Math.ceil(cells.length / newCols)) },
          (_, i) => ({ cells: cells.slice(i * newCols, (i + 1) * newCols), wrapped: i > 0 }));
      });
      while (buffer.length < rows) buffer.push(row());
      y = buffer.indexOf(cursorRow);
      cols = newCols;
      x = Math.min(x, cols - 1);
    },
    lines() {
      const all = lines().map((line) => line.trimEnd());
      while (all.at(-1) === '') all.pop();
      return all;
    },
  };
}

// Reads as a program does, each read as soon as the one before has its
// line, each after the prompt, while the keys are typed (a [cols, rows]
// among them resizes the terminal, a number is a line of F7's list
// clicked): what each read got, the screen, what the popups showed, and
// what was said to the player (lines replaced, the insert mode).
async function play(deliveries, { cols = 80, rows = 24, size = 256, prompt = '' } = {}) {
  const shown = terminal(cols, rows), reads = [], popups = [], said = [];
  const editor = new LineEditor({ echo: (text) => shown.write(text || assert.fail('an echo of nothing')),
    popup: (popup) => popups.push(popup), replaced: (text) => said.push(text), insertMode: (on) => said.push(on ? 'insert' : 'overwrite') });
  // Ctrl+C ends the process; the next one starts at once, with a read.
  editor.interrupt = function next() { reads.push('interrupted'); editor.interrupt = next; read(); };
  // The terminal says it has taken the prompt as the next keys come, in
  // the same task, as xterm.js calls back as it goes through what it has.
  let took = null;
  const take = () => { took?.(); took = null; };
  const read = () => {
    shown.write(prompt);
    Promise.resolve(editor.read(size, shown.cursor, new Promise((done) => { took = done; }))).then((bytes) => {
      reads.push(Buffer.from(bytes).toString('latin1'));
      read();
    });
  };
  const settled = () => new Promise((done) => setImmediate(done));
  read();
  await settled();
  for (const keys of deliveries) {
    take();
    if (typeof keys === 'string') editor.type(keys);
    else if (typeof keys === 'number') editor.choose(keys);
    else shown.resize(...keys), editor.resize(shown.cursor());
    await settled();
  }
  while (took) take(), await settled();
  return { reads, lines: shown.lines(), popups, said };
}

// Keys (one delivery each), the bytes each read gets, the screen.
const fiftyOne = Array.from({ length: 51 }, (_, n) => String(n));  // one more than the history keeps
const rows = [
  ['a Tab stays in the line', ['1\t2\r'], ['1\t2\r\n'], ['1       2']],
  ['a Tab after a sign', ['+\t5\r'], ['+\t5\r\n'], ['+       5']],
  ['other control keys show as ^X, keys outside the code page as ?', ['a\x01\x1f\x80\u{1f600}\r'], ['a\x01\x1f??\r\n'], ['a^A^_??']],
  ['a line that starts with Ctrl+Z is the end of the input', ['\x1a2\r', '3\r'], ['', '3\r\n'], ['^Z2', '3']],
  ['a line break, whichever, is Enter', ['3\n3\r\n1\r', '\n'], ['3\r\n', '3\r\n', '1\r\n', '\r\n'], ['3', '3', '1']],
  ['what the read has no room for waits for the next', ['123\r'], ['12', '3\r', '\n'], ['123'], { size: 2 }],
  ['a lone Esc takes no key', ['3\r', Esc, '2\r'], ['3\r\n', '2\r\n'], ['3', '2']],
  ['Esc clears the line', ['7', Esc, '2\r'], ['2\r\n'], ['2']],
  ['Alt with a key is nothing', ['1', '\x1bx', '2\r'], ['12\r\n'], ['12']],
  ['Left: a key goes in before the one passed', ['12', Left, '3\r'], ['132\r\n'], ['132']],
  ['Right, and not past the end', ['123', Left, Left, Right, 'x', Right, Right, 'y\r'], ['12x3y\r\n'], ['12x3y']],
  ['Home and End, also to the end of a full row', ['23', Home, Left, '1', End, '4\r'], ['1234\r\n'], ['1234'], { cols: 3 }],
  ['Ctrl+Left and Ctrl+Right by word', ['ab cd  ef', WordLeft, WordLeft, '1', WordRight, '2', WordRight, '3\r'],
    ['ab 1cd  2ef3\r\n'], ['ab 1cd  2ef3']],
  ['Backspace in the line', ['1234', Left, Left, Backspace, '\b', Backspace, '\r'], ['34\r\n'], ['34']],
  ['Delete under the cursor, and nothing at the end', ['1234', Home, Delete, End, Delete, '\r'], ['234\r\n'], ['234']],
  ['Insert overwrites until Enter', ['1234', Home, Insert, 'ab', End, '5\r', '12', Home, 'x\r'],
    ['ab345\r\n', 'x12\r\n'], ['ab345', 'x12'], { said: ['overwrite', 'insert'] }],
  ['Tabs move with the line', ['1\t2', Home, '34', Delete, '\r'], ['34\t2\r\n'], ['34      2']],
  ['a line wider than the screen is edited across its wrap', ['abcdefghijklmno', Home, 'x', End, Backspace, '\r'],
    ['xabcdefghijklmn\r\n'], ['xabcdefghijklmn'], { cols: 10 }],
  ['Up recalls the line before, and stops at the oldest', ['1\r', '2\r', '3', Up, Up, Up, '\r'],
    ['1\r\n', '2\r\n', '1\r\n'], ['1', '2', '1']],
  ['Down past the newest line leaves it', ['1\r', '2\r', '5', Down, Up, Up, Down, Down, '\r'],
    ['1\r\n', '2\r\n', '2\r\n'], ['1', '2', '2']],
  ['a line entered again is kept once, an empty one not at all', ['1\r', '2\r', '2\r', '\r', Up, Up, '\r'],
    ['1\r\n', '2\r\n', '2\r\n', '\r\n', '1\r\n'], ['1', '2', '2', '', '1']],
  ['the history keeps 50 lines', [...fiftyOne.map((n) => `${n}\r`), PgUp, '\r'], [...fiftyOne.map((n) => `${n}\r\n`), '1\r\n'], [...fiftyOne, '1']],
  ['F5 is Up', ['1\r', '2\r', F5, F5, '\r'], ['1\r\n', '2\r\n', '1\r\n'], ['1', '2', '1']],
  ['F8: back, and round, to a line that begins as typed; the cursor stays', ['31\r', '42\r', '35\r', '3', F8, F8, F8, 'x\r'],
    ['31\r\n', '42\r\n', '35\r\n', '3x5\r\n'], ['31', '42', '35', '3x5']],
  ['F1, and Right, at the end copy a character of the line before, to the same column; before it they move',
    ['abc\r', 'x', F1, Right, Right, Home, F1, '1\r'], ['abc\r\n', 'x1bc\r\n'], ['abc', 'x1bc']],
  ['F3 copies the rest of it', ['abcd\r', 'xy', Home, Right, F3, '\r', '12345', F3, '\r'],
    ['abcd\r\n', 'xbcd\r\n', '12345\r\n'], ['abcd', 'xbcd', '12345'], { said: ['xbcd'] }],
  ['Ctrl+C ends the line at once', ['12', Left, '\x03', '3\r'], ['interrupted', '3\r\n'], ['12^C', '3']],
  ['Ctrl+C before the echo began; the keys typed before it and pasted after it go with the process',
    ['\x03', '3\r\x034\r', '5\r'], ['interrupted', 'interrupted', '5\r\n'], ['^C', '^C', '5']],
  ['F6 types ^Z', ['1', F6, '\r', F6, '\r', '2\r'], ['1\x1a\r\n', '', '2\r\n'], ['1^Z', '^Z', '2']],
  ['PgUp, PgDn: the oldest and the newest line, from where Up goes on', ['1\r', '2\r', '3\r', Up, Up, PgDn, Up, '\r', PgUp, '\r'],
    ['1\r\n', '2\r\n', '3\r\n', '2\r\n', '1\r\n'], ['1', '2', '3', '2', '1']],
  ['Ctrl+Home, Ctrl+End rub out before, and from, the cursor', ['abcdef', Left, Left, CtrlHome, 'x', End, Left, CtrlEnd, 'y\r'],
    ['xey\r\n'], ['xey'], { said: ['ef', 'xe'] }],
  ['F2 copies the line before over the line, from the cursor up to the next of a character (not a key), or nothing',
    ['abcabc\r', '12345', Home, F2, Left, 'c', F2, 'a', F2, 'z', Home, F2, 'a', 'x', End, '\r'], ['abcabc\r\n', 'abcx45\r\n'],
    ['abcabc', 'abcx45']],
  ['F4 rubs out from the cursor up to the next of a character, or nothing; Esc there leaves the line',
    ['abcabc', Home, Right, F4, 'b', F4, 'z', F4, Esc, '7\r'], ['a7bc\r\n'], ['a7bc'],
    { popups: [{ question: 'Enter char to delete up to: ', answer: '' }, null, { question: 'Enter char to delete up to: ', answer: '' },
      null, { question: 'Enter char to delete up to: ', answer: '' }, null] }],
  ['F7 lists the history from the line reached; Enter enters the one chosen', ['1\r', '2\r', '3\r', F7, Up, Up, Up, Down, '\r'],
    ['1\r\n', '2\r\n', '3\r\n', '2\r\n'], ['1', '2', '3', '2'],
    { popups: [2, 1, 0, 0, 1].map((selected) => ({ lines: ['1', '2', '3'], selected })).concat(null) }],
  ['F7 with no history is nothing; Esc closes its list and leaves the line', [F7, '1\t\r', '5', F7, End, PgUp, Esc, '\r'],
    ['1\t\r\n', '5\r\n'], ['1', '5'], { popups: [...Array(3).fill({ lines: ['1       '], selected: 0 }), null] }],
  ['F9 puts the line of that number in place, for Enter; a number not in the list, or none, is nothing',
    ['1\r', '2\r', '3\r', '7', F9, '2', Backspace, '1', '\r', 'x', F9, '9', '\r', F9, '1', '2', '3', '\r', F9, '\r', '\r'],
    ['1\r\n', '2\r\n', '3\r\n', '2x\r\n'], ['1', '2', '3', '2x'], { popups: [number(''), number('2'), number(''), number('1'), null,
      number(''), number('9'), null, number(''), number('1'), number('12'), null, number(''), null] }],
  ['F7 opens on the line Up has reached; a line clicked in its list is entered, one past its end is nothing',
    ['1\r', '2\r', Up, Up, 'x', F7, 2, 0], ['1\r\n', '2\r\n', '1\r\n'], ['1', '2', '1'], { popups: [{ lines: ['1', '2'], selected: 0 }, null] }],
  ['Alt+F7 forgets the history, and the line F1 and F3 copy from', ['1\r', AltF7, Up, F3, F7, F9, '2\r'], ['1\r\n', '2\r\n'],
    ['1', '2'], { popups: [] }],
  // The screen as the terminal leaves it: a wider or narrower terminal
  // keeps the rows under the cursor as they were; what has scrolled away
  // can no longer be written.
  ['a resize shows the line again from its start, wider', ['abcdefghijklmnopq', [16, 5], Backspace, Backspace, Esc, '3\r'],
    ['3\r\n'], ['> 3', '>'], { cols: 10, rows: 5, prompt: '> ' }],
  ['a resize shows the line again from its start, narrower', ['abcdefghijklmnopqrstuvwxyz', Home, [7, 4], Right, 'x', End, 'y\r'],
    ['axbcdefghijklmnopqrstuvwxyzy\r\n'], ['> axbcdefghijklmnopqrstuvwxyzy', '>'], { cols: 20, rows: 6, prompt: '> ' }],
  ['a resize, then Enter at once; a resize as the next read begins', ['abcdefghijklmnopq', [16, 5], '\r', [12, 5], '3\r'],
    ['abcdefghijklmnopq\r\n', '3\r\n'], ['> abcdefghijklmnopq', '> 3', '>'], { cols: 10, rows: 5, prompt: '> ' }],
  ['a resize as a read begins: the echo starts where the terminal has left the cursor', ['1\r', [6, 4], '2345678', Home, 'x\r'],
    ['1\r\n', 'x2345678\r\n'], ['>1', '>x2345678', '>'], { cols: 10, rows: 4, prompt: '>' }],
  ['a prompt cut by a resize: the line goes on a fresh row', ['1\r', '23', [4, 5], '4\r'], ['1\r\n', '234\r\n'],
    ['>>>>>1', '>>>>', '234', '>>>>>'], { cols: 8, rows: 5, prompt: '>>>>>' }],
  ['fewer rows: where the line\'s start has scrolled away it goes on a fresh row', ['abcdefghijklmnopqrstuvwxyz', [5, 2], Home, 'x\r'],
    ['xabcdefghijklmnopqrstuvwxyz\r\n'], ['abcdefghijklmnopqrstuvwxyz', 'abcdefghijklmnopqrstuvwxyz', 'xabcdefghijklmnopqrstuvwxyz'],
    { cols: 5, rows: 6 }],
  ['a line taller than the terminal: Esc', ['7'.repeat(60), Esc, '3\r'], ['3\r\n'], ['7'.repeat(60), '3'], { cols: 10, rows: 4 }],
  ['a line taller than the terminal: Home, a key', ['7'.repeat(60), Home, 'x\r'], [`x${'7'.repeat(60)}\r\n`],
    ['7'.repeat(60), `x${'7'.repeat(60)}`], { cols: 10, rows: 4 }],
  ['a line taller than the terminal: Up', ['1\r', '7'.repeat(60), Up, '\r'], ['1\r\n', '1\r\n'], ['1', '7'.repeat(60), '1'],
    { cols: 10, rows: 4 }],
  ['a line taller than the terminal: rubbed out where it still shows, and where no more', ['7'.repeat(60),
    Left.repeat(35), Backspace, Left.repeat(10), Backspace, '\r'], [`${'7'.repeat(58)}\r\n`], ['7'.repeat(59), '7'.repeat(58)],
  { cols: 10, rows: 4 }],
  ['rubbed out to the left edge of a row, the line stays joined across it', ['abcdefg', Backspace, Backspace, 'xy\r'],
    ['abcdexy\r\n'], ['abcdexy'], { cols: 5, rows: 3 }],
  ['rubbed out to the left edge of the bottom row, and back across a wrap: the line stays whole',
    ['abcdefghijklm', '\x7f\x7f\x7f', 'x', '\x7f\x7f\x7fij', 'k\r'], ['abcdefghijk\r\n'], ['abcdefghijk'], { cols: 5, rows: 3 }],
  ['keys pasted into a line go in at once, Tabs and all', ['abcdefgh', Left, Left, Left, '12\t3\x7f4', '\r'],
    ['abcde12\t4fgh\r\n'], ['abcde12 4fgh'], { cols: 6, rows: 3 }],
];
for (const [name, keys, reads, lines, options] of rows) {
  test(`line editor: ${name}`, async () => {
    const { popups, said, ...shown } = await play(keys, options);
    assert.deepEqual(shown, { reads, lines });
    if (options?.popups) assert.deepEqual(popups, options.popups);
    if (options?.said) assert.deepEqual(said, options.said);
  });
}

// A read a reset has dropped starts no echo, even when the terminal takes
// the output before it only once the next read has begun.
test('line editor: a read dropped by a reset never begins', async () => {
  let echoed = '', taken;
  const editor = new LineEditor({ echo: (text) => { echoed += text; } });
  editor.read(9, () => ({ x: 5, y: 0, cols: 80, rows: 24 }), new Promise((done) => { taken = done; }));
  editor.reset();
  const line = editor.read(9);
  await new Promise((done) => setImmediate(done));
  editor.type('ab');
  taken();
  await new Promise((done) => setImmediate(done));
  editor.type('c\r');
  assert.deepEqual([Buffer.from(await line).toString(), echoed], ['abc\r\n', 'abc\r\n']);
});

// One delivery of keys is one edit, however long the line: the fastest of
// three, so that a busy machine does not count, and the echo a few times
// the line's at most (a Tab shows as up to 8 spaces).
const pastes = [
  ['Tabs, characters and control keys rubbed out', [], '\t1\x02\x7f'.repeat(5000), '\t1'.repeat(5000)],
  ['in the middle of a line of 20,000', ['7'.repeat(20000), Left.repeat(10000)], 'x'.repeat(20000),
    `${'7'.repeat(10000)}${'x'.repeat(20000)}${'7'.repeat(10000)}`],
  ['each before the one before, at Home', ['7'.repeat(20000), Home], `x${Left}`.repeat(10000), `${'x'.repeat(10000)}${'7'.repeat(20000)}`],
];
for (const [name, typed, keys, line] of pastes) {
  test(`line editor: 20,000 keys pasted at once: ${name}`, async (t) => {
    let fastest = Infinity;
    for (let run = 0; run < 3; ++run) {
      let echoed = 0;
      const editor = new LineEditor({ echo: (text) => { echoed += text.length; } });
      const read = editor.read(1 << 16);
      await new Promise((done) => setImmediate(done));
      typed.forEach((keys) => editor.type(keys));
      echoed = 0;
      const started = performance.now();
      editor.type(`${keys}\r`);
      fastest = Math.min(fastest, performance.now() - started);
      assert.equal(Buffer.from(await read).toString('latin1'), `${line}\r\n`);
      assert.ok(echoed < 8 * line.length, `${echoed} characters of echo`);
    }
    t.diagnostic(`${fastest.toFixed(1)} ms`);
    assert.ok(fastest < 100, `${fastest} ms`);
  });
}
