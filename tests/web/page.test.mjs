// The page's decisions without a browser: what a trap is raised as and how
// an exit code reads, which key presses count around a night's end, which
// keys reach the line, the message box's buttons, the font size, the line
// popup, the log.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { cellSize, gridFor, screenRows } from '../../web/early_text.js';
import { exceptionOf, exitCodeText } from '../../web/exceptions.js';
import { FontFit } from '../../web/font_fit.js';
import { KeyGate } from '../../web/key_gate.js';
import { LinePopup } from '../../web/line_popup.js';
import { boxButtons, escapeAnswer } from '../../web/message_box.js';
import { NightLog } from '../../web/night_log.js';
import { inputKeys, terminalTakes, touchKeyInput } from '../../web/page_keys.js';

const table = (name, rows, run) => rows.forEach(([row, ...args]) => test(`${name}: ${row}`, () => run(...args)));

// An error as the engine throws it out of the program, with a frame of the
// program's code at offset at.
const thrown = (Kind, message, at) => Object.assign(new Kind(message),
  { stack: at === undefined ? `${Kind.name}: ${message}\n    at play (console.js:1:1)`
    : `${Kind.name}: ${message}\n    at varnock.wasm.f (wasm://wasm/2a:wasm-function[12]:0x${at.toString(16)})` });
const { RuntimeError } = WebAssembly;
table('a trap', [
  ['out of bounds memory', thrown(RuntimeError, 'memory access out of bounds', 0x36), 0xc0000005, 0x36],
  ['out of bounds, as Firefox says', thrown(RuntimeError, 'index out of bounds', 0x36), 0xc0000005, 0x36],
  ['a call through a bad pointer', thrown(RuntimeError, 'null function or function signature mismatch', 9), 0xc0000005, 9],
  ['unreachable', thrown(RuntimeError, 'unreachable', 0), 0xc000001d, 0],
  ['division by zero', thrown(RuntimeError, 'divide by zero', 0x6d), 0xc0000094, 0x6d],
  ['remainder by zero', thrown(RuntimeError, 'remainder by zero', 1), 0xc0000094, 1],
  ['INT_MIN / -1', thrown(RuntimeError, 'divide result unrepresentable', 2), 0xc0000095, 2],
  ['INT_MIN / -1, as Firefox says', thrown(RuntimeError, 'integer overflow', 2), 0xc0000095, 2],
  ['a float too large for an integer', thrown(RuntimeError, 'float unrepresentable in integer range', 3),
    0xc0000090, 3],
  ['the call stack exhausted', thrown(RangeError, 'Maximum call stack size exceeded', 0x1f0), 0xc00000fd, 0x1f0],
  ['too much recursion, as Firefox says', thrown(Error, 'too much recursion', 4), 0xc00000fd, 4],
  ['one not known, and no frame', thrown(RuntimeError, 'a trap of a new kind'), 0xc000001d, 0],
  ['one not known that names an abort, not as its start', thrown(RuntimeError, 'a trap, not Aborted(OOM)', 6), 0xc000001d, 6],
], (error, code, offset) => assert.deepEqual(exceptionOf(error), { code, offset }));
table('not a trap', [
  ['abort()', thrown(RuntimeError, 'Aborted(OOM)', 5), { aborted: true }],
  ["the page's own stack exhausted", thrown(RangeError, 'Maximum call stack size exceeded'), null],
  ["the page's own fault, in the program's call", thrown(TypeError, 'x is not a function', 5), null],
  ['nothing thrown', undefined, null],
], (error, expected) => assert.deepEqual(exceptionOf(error), expected));
table('an exit code', [['0', 0, '0'], ['abort()', 3, '3'], ['a byte', 255, '255'], ['16 bits', 0xffff, '65535'],
  ['more', 0x10000, '0x00010000'], ['Ctrl+C', 0xc000013a, '0xc000013a'], ['-1', 0xffffffff, '0xffffffff']],
(status, text) => assert.equal(exitCodeText(status), text));

// The early text's rows on a terminal 4 × 2, as xterm.js shows the same text.
table('early rows', [
  ['lines', 'ab\r\ncd', ['ab', 'cd']],
  ['a full row, then CR LF: no blank row', 'abcd\r\nef', ['abcd', 'ef']],
  ['wrapped at the fifth character', 'abcdef', ['abcd', 'ef']],
  ['the last rows in view', 'a\r\nb\r\nc', ['b', 'c']],
  ['LF alone keeps the column', 'ab\ncd', ['ab', '  cd']],
  ['LF after a full row: from its last column', 'abcd\nef', ['   e', 'f']],
  ['CR writes over the row', 'abc\rX', ['Xbc']],
  ['an escape: only the terminal can show it', 'a\x1b[31mb', null],
  ['a character that may be wide', 'a\u4e00', null],
], (text, rows) => assert.deepEqual(screenRows(text, 4, 2), rows));
table('early cells', [
  // 9.03 × 17.6 at dpr 1.5: 27 device pixels high, 722.4 → 722 px for 80.
  ['dpr 1.5', { width: 9.03, height: 17.6 }, 1.5, { width: 722 / 80, height: 27 * 24 / 1.5 / 24 }],
  ['dpr 1', { width: 9, height: 17.2 }, 1, { width: 9, height: 18 }],
], (char, dpr, cell) => assert.deepEqual(cellSize(char, dpr, 80, 24), cell));
table('early grid', [
  ['a scroll bar', { width: 735.9, height: 400 }, 15, { columns: 80, rows: 22 }],
  ['an overlay scroll bar counts 15 px', { width: 735.9, height: 400 }, 0, { columns: 80, rows: 22 }],
  ['at least 2 × 1', { width: 10, height: 5 }, 15, { columns: 2, rows: 1 }],
], (area, scrollbar, grid) => assert.deepEqual(gridFor(area, { width: 9, height: 18 }, scrollbar), grid));

// Steps: a key down or up ("down Enter"), a key down that would type into
// the night ("type Enter"), a key down on "Play again" at a time ("again
// Enter @600"; "repeat" for an auto-repeat), the night's start and end, the
// window losing the keyboard; what each key up, key typed and press on the
// button did.
function gate(steps) {
  const keys = new KeyGate(), did = [];
  for (const step of steps) {
    const [, what, code, repeat, at] = /^(\w+)(?: (\w+))?( repeat)?(?: @(\d+))?$/.exec(step);
    const event = { code, repeat: Boolean(repeat) };
    if (what === 'end') keys.ended(Number(at));
    else if (what === 'start') keys.started();
    else if (what === 'blur') keys.blur();
    else if (what === 'type') did.push(keys.keyDown(event) ? 'typed' : 'dropped');
    else if (what === 'up') did.push(keys.keyUp(event) ? 'up ignored' : 'up');
    else keys.keyDown(event);
    if (what === 'again') did.push(keys.playsAgain(event, Number(at)) ? 'plays' : 'no');
  }
  return did;
}
table('Play again', [
  ['the Enter that ended the night, repeating, does not press it', ['down Enter', 'end @0', 'again Enter repeat @900'],
    ['no']],
  ['nor any repeat', ['end @0', 'again Enter repeat @900'], ['no']],
  ['a key down at the end counts once it has come up, wherever it comes up',
    ['down Enter', 'end @0', 'again Enter @900', 'up Enter', 'up Enter', 'again Enter @950'],
    ['no', 'up ignored', 'up', 'plays']],
  ['another key, or one down at the end and since forgotten by a blur, counts',
    ['down Space', 'down Enter', 'end @0', 'again KeyA @900', 'blur', 'up Enter', 'again Space @900'],
    ['plays', 'up', 'plays']],
  ['a key that came up before the end, or went down before a blur, counts',
    ['down Space', 'blur', 'down Enter', 'up Enter', 'end @0', 'again Enter @900', 'again Space @900'],
    ['up', 'plays', 'plays']],
  ['no press counts in the first half second', ['end @1000', 'again Enter @1499', 'up Enter', 'again Enter @1500'],
    ['no', 'up', 'plays']],
  ['the key held as a night starts types none of its repeats into it; other keys, and a fresh press, type',
    ['down Enter', 'start', 'type Enter repeat', 'type Space', 'type Space repeat', 'up Enter', 'type Enter',
      'type Enter repeat'], ['dropped', 'typed', 'typed', 'up', 'typed', 'typed']],
  ['a blur forgets which key that was', ['down Enter', 'start', 'blur', 'type Enter repeat'], ['typed']],
], (steps, did) => assert.deepEqual(gate(steps), did));

const key = (type, key, ...held) => Object.fromEntries([['type', type], ['key', key], ...held.map((k) => [k, true])]);
table('the terminal takes', [
  ['Tab', key('keydown', 'Tab'), false, true],
  ['not Shift+Tab', key('keydown', 'Tab', 'shiftKey'), false, false],
  ['not Ctrl+V, the paste', key('keydown', 'v', 'ctrlKey'), false, false],
  ['not Ctrl+V with Caps Lock', key('keydown', 'V', 'ctrlKey'), false, false],
  ["Ctrl+V's key up", key('keyup', 'v', 'ctrlKey'), false, true],
  ['AltGr+V', key('keydown', 'v', 'ctrlKey', 'altKey'), false, true],
  ['Ctrl+C with nothing selected', key('keydown', 'c', 'ctrlKey'), false, true],
  ['not Ctrl+C with text selected', key('keydown', 'c', 'ctrlKey'), true, false],
  ['C with text selected', key('keydown', 'c'), true, true],
], (event, selection, takes) => assert.equal(terminalTakes(event, selection), takes));
table('an input event types', [
  ['a line break', 'insertLineBreak', null, '\r'], ['a paragraph', 'insertParagraph', null, '\r'],
  ['text with line breaks', 'insertText', 'x\n3\r\n', 'x\n3\r\n'], ['a CR', 'insertText', '3\r', '3\r'], ['not text without', 'insertText', 'xy', null],
  ['an LF', 'insertText', '3\n', '3\n'],
  ['not a deletion', 'deleteContentBackward', null, null],
], (inputType, data, keys) => assert.equal(inputKeys({ inputType, data }), keys));
test('the touch keys type as the keyboard', () => assert.deepEqual(['1', '6', 'Up', 'Down', 'Backspace', 'Enter']
  .map(touchKeyInput), ['1', '6', '\x1b[A', '\x1b[B', '\x7f', '\r']));

table('a message box', [
  ['MB_OK | MB_TASKMODAL', 0x2000, [['OK', 1]], 1],
  ['MB_OKCANCEL', 1, [['OK', 1], ['Cancel', 2]], 2],
  ['MB_ABORTRETRYIGNORE', 2, [['Abort', 3], ['Retry', 4], ['Ignore', 5]], null],
  ['MB_YESNOCANCEL', 3, [['Yes', 6], ['No', 7], ['Cancel', 2]], 2],
  ['MB_YESNO with an icon', 0x24, [['Yes', 6], ['No', 7]], null],
  ['MB_RETRYCANCEL', 5, [['Retry', 4], ['Cancel', 2]], 2],
  ['a set the page has not', 6, [['OK', 1]], 1],
  ['a set the page has not, bit 3 set', 9, [['OK', 1]], 1],
], (type, buttons, escape) => {
  assert.deepEqual(boxButtons(type), buttons);
  assert.equal(escapeAnswer(buttons), escape);
});

// A terminal of a width in pixels, its cells 0.6 of the font size wide.
test('the font size: the largest that shows 72 columns, else 55, else 10; tried again only for a new width', () => {
  const fit = new FontFit(), tried = [];
  const sizes = [1280, 1280, 692, 600, 390, 300, 0].map((width) => fit.sizeFor(width, (size) => {
    tried.push(width);
    return Math.floor(width / (0.6 * size));
  }));
  assert.deepEqual(sizes, [16, null, 16, 13, 11, 10, 10]);
  assert.equal(tried.filter((width) => width === 1280).length, 1);
});

// The list or question over the terminal, on elements that keep what is
// set on them: after each show, null while hidden, else the question or
// the list's lines, the one chosen marked '>', and what the live region says.
const element = () => ({ hidden: false, children: [], attributes: {}, text: '',
  get textContent() { return this.text; }, set textContent(text) { [this.text, this.children] = [text, []]; },
  setAttribute(name, value) { this.attributes[name] = String(value); }, addEventListener() {}, scrollIntoView() {},
  replaceChildren(...children) { this.children = children; }, append(...children) { this.children.push(...children); } });
globalThis.document = { createElement: element };
const list = (...lines) => ({ lines: lines.map((line) => line.replace('>', '')), selected: lines.findIndex((line) => line[0] === '>') });
table('the line popup', [
  ['a list: the line chosen is marked, and said', [list('a', '>b'), list('>a', 'b')], [[' 0: a', '>1: b'], '1: b'], [['>0: a', ' 1: b'], '0: a']],
  ['closed, a question; a list again shows its own lines',
    [list('>a'), null, { question: 'Enter command number: ', answer: '1' }, list('a', '>b'), null],
    [['>0: a'], '0: a'], null, ['Enter command number: 1', 'Enter command number: 1'], [[' 0: a', '>1: b'], '1: b'], null],
], (shows, ...expected) => {
  const box = element(), live = element(), popup = new LinePopup(box, { live, choose: () => {} });
  const marked = (option) => `${option.attributes['aria-selected'] === 'true' ? '>' : ' '}${option.textContent}`;
  assert.deepEqual(shows.map((shown) => (popup.show(shown), box.hidden ? null
    : [box.children[0]?.children.map(marked) ?? box.textContent, live.textContent])), expected);
});

table('the log', [
  ['a line each, empty ones left out', ['hey pilot\r\n\r\n 1: Vodka\r\n'], [[[true, 'hey pilot'], [true, ' 1: Vodka']]]],
  ['a line printed in pieces is one', ['hey ', 'pilot\r\n', '3\n'], [[[true, 'hey ']], [[false, 'pilot']], [[true, '3']]]],
  ['a new night starts a line', ['> ', null, '3\n'], [[[true, '> ']], [[true, '3']]]],
], (writes, pieces) => {
  const log = new NightLog();
  assert.deepEqual(writes.map((text) => (text === null ? log.reset() : log.add(text))).filter(Boolean), pieces);
});
