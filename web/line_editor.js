// The console's input in line-input mode, as a Windows console has it: keys
// wait until a read asks for them (type-ahead); while one does, they are
// echoed and edited until Enter hands the line over, ending in CR LF. What
// the read has no room for stays for the next read. A line that starts with
// Ctrl+Z is the end of the input: the read returns nothing. Ctrl+C waits for
// no read: it ends the process at once.
//
// The editor knows nothing of the page: keys go in as a terminal delivers
// them (characters and escape sequences), and out come the bytes handed to
// reads and the echo, the text and cursor moves that show the line as it is
// edited, from where the read began, in a terminal that wraps long lines
// and whose rows that have scrolled away can no longer be written.
//
// The editing keys:
//   Left, Right, Home, End       move in the line; Ctrl+Left, Ctrl+Right by word
//   Backspace, Delete            rub out before, and under, the cursor
//   Ctrl+Home, Ctrl+End          rub out all before, or all from, the cursor
//   Insert                       insert or overwrite, until Enter
//   Esc                          clears the line
//   Up, Down, F5 (as Up)         the lines entered before; neither goes round
//   PgUp, PgDn                   the oldest, and the newest, of them
//   F8                           the next line back, round the history, that
//                                begins as the line does up to the cursor
//   F7                           the history as a list to pick from: Up,
//                                Down, PgUp, PgDn, Home, End choose, Enter
//                                enters the line chosen, Esc closes
//   F9                           asks for a number in that list; Enter
//                                puts that line in place of this one
//   Alt+F7                       forgets the history
//   F1, and Right at the end     copy the character in that column of the
//                                line entered last; F1 elsewhere is Right
//   F2                           asks for a character and copies that line,
//                                from the cursor's column, up to the next one
//   F3                           copies the rest of that line, from the
//                                cursor's column on, over the line
//   F4                           asks for a character and rubs out from the
//                                cursor up to the next one
//   F6                           types ^Z
// Tab stays in the line, shown as spaces to the next tab stop; other control
// keys show as ^X. A line break, whichever (CR, LF, CR LF), is Enter.

// The lines Up and Down recall, as many as a Windows console keeps.
const historySize = 50;
const space = 0x20;

// The keys that arrive as a terminal's escape sequences (normal and
// application cursor mode); the others do nothing here.
const sequenceKeys = {
  '\x1b[A': 'Up', '\x1bOA': 'Up', '\x1b[B': 'Down', '\x1bOB': 'Down',
  '\x1b[D': 'Left', '\x1bOD': 'Left', '\x1b[C': 'Right', '\x1bOC': 'Right',
  '\x1b[1;5D': 'WordLeft', '\x1b[1;5C': 'WordRight',
  '\x1b[H': 'Home', '\x1bOH': 'Home', '\x1b[1~': 'Home', '\x1b[F': 'End', '\x1bOF': 'End', '\x1b[4~': 'End',
  '\x1b[1;5H': 'CtrlHome', '\x1b[1;5F': 'CtrlEnd', '\x1b[5~': 'PageUp', '\x1b[6~': 'PageDown',
  '\x1b[2~': 'Insert', '\x1b[3~': 'Delete',
  '\x1bOP': 'F1', '\x1bOQ': 'F2', '\x1bOR': 'F3', '\x1bOS': 'F4', '\x1b[15~': 'F5', '\x1b[17~': 'F6',
  '\x1b[18~': 'F7', '\x1b[19~': 'F8', '\x1b[20~': 'F9', '\x1b[18;3~': 'AltF7',
};
const keyNames = new Set(Object.values(sequenceKeys));

// What F2, F4 and F9 ask, as a console's boxes do.
const questions = { F2: 'Enter char to copy up to: ', F4: 'Enter char to delete up to: ', F9: 'Enter command number: ' };
const numberDigits = String(historySize - 1).length;

const escapeSequence = /\x1b(?:\[[0-?]*[ -/]*[@-~]|O[@-~])/y;

// A key's echo at a column counted from the left edge of the row the line
// began on: a Tab's stops are every 8 columns, as the console's.
function echoOf(byte, column) {
  if (byte === 0x09) return ' '.repeat(8 - (column % 8));
  return byte < 0x20 ? `^${String.fromCharCode(byte + 0x40)}` : String.fromCharCode(byte);
}

const byteOf = (key) => (key < '\x80' ? key.charCodeAt(0) : 0x3f);  // '?': outside the console's code page

function echoText(bytes, column) {
  let text = '';
  for (const byte of bytes) text += echoOf(byte, column + text.length);
  return text;
}

// Where the echo is on the terminal and the output that changes it. An
// offset counts cells from the left edge of row 0, the row the read began
// on, across the terminal's wraps; rows count down from row 0, and top is
// the viewport row that row 0 is on: once it is negative, rows above -top
// have scrolled into the scrollback, where nothing can be written. The
// terminal's cursor is at (row, x); x is cols while a wrap is pending: the
// last column is written and the next character goes to the next row. The
// rows down to joined are joined to the row before by the terminal's own
// wrap, which no cursor move makes: a row the echo goes on to must stay so.
class Screen {
  cols = 80;
  rows = 24;
  top = 0;
  joined = 0;
  start = 0;  // the offset the echo begins at
  offsets = [0];  // the offset of each key shown, and last the echo's end
  row = 0;
  x = 0;
  out = '';
  #byteAt;

  constructor(byteAt) {
    this.#byteAt = byteAt;
  }

  // cursor: the terminal's cursor (x, and y in the viewport) and size
  begin({ x, y, cols, rows }) {
    Object.assign(this, { cols, rows, top: y, joined: 0, start: x, offsets: [x], row: 0, x });
  }

  get end() {
    return this.offsets.at(-1);
  }

  // The line's rows the terminal had under the cursor are as they were, cut
  // at the new width or short of it: it leaves them to the program. The echo
  // is written again from its start, or where the start has scrolled away or
  // been cut off, on a fresh row.
  resize({ x, y, cols, rows }) {
    const lastRow = this.#lastRow();
    Object.assign(this, { cols, rows, top: y - this.row, x });
    if (this.start >= cols || this.top < 0) return this.#freshRow(lastRow);
    this.#go(0, this.start);
    this.#eraseBelow();
    this.offsets = [this.start];
  }

  // Shows the line (length keys, the first that changed dirty, Infinity for
  // none) with the cursor before key cursor: the echo from the first key
  // changed on is written again, what it no longer covers is erased. When
  // the row of that key has scrolled away, all of it goes on a fresh row and
  // the rows above stay as they were, joined to nothing.
  draw(length, dirty, cursor) {
    if (dirty < Infinity) {
      let end = this.end;
      if (this.top + this.#cell(this.offsets[dirty]).row < 0) {
        this.#freshRow(this.#lastRow());
        dirty = 0;
        end = this.start;
      }
      this.#moveTo(this.offsets[dirty], dirty);
      this.offsets.length = dirty + 1;
      let text = '', at = this.offsets[dirty];
      for (let i = dirty; i < length; ++i) {
        const echo = echoOf(this.#byteAt(i), at);
        text += echo;
        at += echo.length;
        this.offsets.push(at);
      }
      this.#write(text);
      if (at < end) this.#eraseBelow();
    }
    const at = this.#cell(this.offsets[cursor]);
    if (this.top + at.row >= 0) this.#moveTo(this.offsets[cursor], cursor);
    else this.#go(-this.top, Math.min(at.x, this.cols - 1));  // the nearest cell still on screen
  }

  // The cursor after the line, then text and a line break.
  finish(text) {
    this.#moveTo(this.end, this.offsets.length - 1);
    this.out += `${text}\r\n`;
  }

  // Where the cursor goes for offset at. At the left edge of a row not yet
  // joined, it waits at the end of the row before for the wrap.
  #cell(at) {
    if (at % this.cols === 0 && at / this.cols > this.joined) return { row: at / this.cols - 1, x: this.cols };
    return { row: Math.floor(at / this.cols), x: at % this.cols };
  }

  // The cursor to offset at, where key begins.
  #moveTo(at, key) {
    const cell = this.#cell(at);
    if (cell.x < this.cols) return this.#go(cell.row, cell.x);
    // No cursor move waits for a wrap: the last character before is written
    // again. At the echo's start nothing has been written, nor has the
    // cursor moved, since the output before the read.
    if ((this.row === cell.row && this.x === this.cols) || key === 0) return;
    this.#go(cell.row, this.cols - 1);
    this.#write(echoOf(this.#byteAt(key - 1), this.offsets[key - 1]).at(-1));
  }

  #go(row, x) {
    if (row < this.row) this.out += `\x1b[${this.row - row}A`;
    if (row > this.row) this.out += `\x1b[${row - this.row}B`;
    const from = row === this.row ? this.x : Math.min(this.x, this.cols - 1);
    if (from < this.cols && from > x && from - x <= 3) this.out += '\b'.repeat(from - x);
    else if (from !== x) this.out += `\x1b[${x + 1}G`;
    this.row = row;
    this.x = x;
  }

  #write(text) {
    if (!text) return;
    const last = this.row * this.cols + this.x + text.length - 1;  // the offset of the last cell written
    this.joined = Math.max(this.joined, this.row = Math.floor(last / this.cols));
    this.x = last % this.cols + 1;
    this.top = Math.min(this.top, this.rows - 1 - this.row);
    this.out += text;
  }

  // Erases from the cursor on. At a row's left edge the row is blanked and
  // stays joined, as the terminal would not keep it with all of it erased.
  #eraseBelow() {
    this.joined = Math.min(this.joined, this.row);
    if (this.x > 0) {
      this.out += '\x1b[J';
      return;
    }
    this.out += `\x1b[${this.cols}X`;
    if (this.top + this.row < this.rows - 1) this.out += '\x1b[B\x1b[J\x1b[A';
  }

  #lastRow() {
    return Math.floor(Math.max(this.end - 1, this.start) / this.cols);
  }

  // A line break after the lowest row of the echo still on screen: row 0 is
  // now the next row, where the echo starts at the left edge.
  #freshRow(lastRow) {
    const row = Math.min(lastRow, this.rows - 1 - this.top);
    if (row !== this.row) this.#go(row, Math.min(this.x, this.cols - 1));
    this.out += '\r\n\x1b[J';
    const top = Math.min(this.top + row + 1, this.rows - 1);
    Object.assign(this, { top, joined: 0, start: 0, offsets: [0], row: 0, x: 0 });
  }
}

export class LineEditor {
  #keys = [];  // typed ahead: single characters, and the names of sequenceKeys
  // The line being typed, split at the cursor: the keys before it, and the
  // keys after it, last first, so that a key goes in or out at once.
  #before = [];
  #after = [];
  #dirty = Infinity;  // the first key changed since the echo last showed the line
  #screen = new Screen((i) => this.#byteAt(i));
  #insert = true;
  #unread = new Uint8Array(0);
  #reader = null;  // the read waiting for a line: { size, resolve, started }
  #history = [];  // the lines entered, oldest first, as bytes
  #recalled = 0;  // the history entry Up and Down have reached, or its length
  #popup = null;  // what F2, F4, F9 ask, or F7's list: { key, answer, selected }
  #events;
  interrupt = null;  // what Ctrl+C does, while a process runs

  // echo(text): the echo, once for each delivery of keys
  // entered(text): the line as it showed, when Enter hands it over
  // replaced(text): a line the player did not type (recalled, copied, cleared)
  // insertMode(on): whether keys now go in or overwrite
  // popup(shown): F2's, F4's or F9's question ({ question, answer }), F7's
  //   list ({ lines, selected }, numbered from 0 as F9 takes them), or null
  //   once it has closed; meanwhile the keys go to it
  constructor({ echo = () => {}, entered = () => {}, replaced = () => {}, insertMode = () => {}, popup = () => {} } = {}) {
    this.#events = { echo, entered, replaced, insertMode, popup };
  }

  // A new process: nothing typed is kept for it but the history.
  reset() {
    this.#keys = [];
    this.#clearLine();
    this.#unread = new Uint8Array(0);
    this.#reader = null;
    this.#recalled = this.#history.length;
    this.interrupt = null;
    this.#closePopup();
  }

  // One keystroke or one paste, as the terminal delivers it. An escape
  // sequence is taken only whole, from within one delivery, so that Esc
  // never takes the key after it.
  type(data) {
    if (/^\x1b[^]$/u.test(data)) return;  // Alt with a key: nothing here
    for (let at = 0; at < data.length;) {
      let key = data[at];
      if (key >= '\ud800' && key <= '\udfff') key = String.fromCodePoint(data.codePointAt(at));
      if (key === '\x1b') {
        escapeSequence.lastIndex = at;
        key = escapeSequence.exec(data)?.[0] ?? key;
      } else if (key === '\r' && data[at + 1] === '\n') {
        key = '\r\n';
      }
      at += key.length;
      if (key === '\x03') {  // never in the line, nor waiting for a read
        if (this.interrupt) return this.#interrupted();
      } else if (key === '\r\n' || key === '\n') {
        this.#keys.push('\r');
      } else if (key[0] !== '\x1b' || key === '\x1b') {
        this.#keys.push(key);
      } else if (sequenceKeys[key]) {
        this.#keys.push(sequenceKeys[key]);
      }
    }
    this.#edit();
  }

  // The bytes of the line, at most size; a promise of them until Enter. The
  // echo starts where the output before the read has left the terminal's
  // cursor, once the terminal has taken that output (taken, a promise, says
  // when): cursor() is { x, y, cols, rows }, its column (cols while a wrap
  // is pending) and row in the viewport, and the viewport's size. It is
  // asked as the echo begins, a little after taken settles, so that a
  // resize in between, which a read not yet begun leaves alone, is in it.
  read(size, cursor = () => ({ x: 0, y: 0, cols: 80, rows: 24 }), taken = undefined) {
    if (this.#unread.length > 0) return this.#take(size);
    return new Promise((resolve) => {
      const reader = this.#reader = { size, resolve, started: false };
      Promise.resolve(taken).then(() => {
        if (this.#reader !== reader) return;
        this.#screen.begin(cursor());
        reader.started = true;
        this.#edit();
      });
    });
  }

  // The terminal has a new size, and has taken all the echo so far; the
  // cursor is where it has left it: { x, y, cols, rows } as for read. The
  // line is shown again from its start.
  resize(cursor) {
    if (!this.#reader?.started) return;
    this.#screen.resize(cursor);
    this.#dirty = 0;
    this.#showLine();
  }

  // F7's list: the line numbered so is entered, as Enter there would.
  choose(number) {
    if (this.#popup?.key !== 'F7' || !(number >= 0 && number < this.#history.length)) return;
    this.#popup.selected = number;
    this.type('\r');
  }

  #take(size) {
    const bytes = this.#unread.subarray(0, size);
    this.#unread = this.#unread.subarray(bytes.length);
    return bytes;
  }

  #edit() {
    let at = 0;
    while (this.#reader?.started && at < this.#keys.length) this.#press(this.#keys[at++]);
    this.#keys.splice(0, at);
    if (this.#reader?.started) this.#showLine();
    else this.#flush();
  }

  // All the keys of a delivery are one edit: the echo goes out in one piece,
  // written from the first key that changed, so that a long paste stays fast.
  #showLine() {
    this.#screen.draw(this.#length, this.#dirty, this.#before.length);
    this.#dirty = Infinity;
    this.#flush();
  }

  #flush() {
    const text = this.#screen.out;
    this.#screen.out = '';
    if (text) this.#events.echo(text);
  }

  get #length() {
    return this.#before.length + this.#after.length;
  }

  #byteAt(i) {
    const before = this.#before;
    return i < before.length ? before[i] : this.#after[this.#after.length - 1 - (i - before.length)];
  }

  #bytes() {
    return [...this.#before, ...this.#after.slice().reverse()];
  }

  #press(key) {
    if (this.#popup) return this.#answer(key);
    const cursor = this.#before.length, length = this.#length;
    switch (key) {
      case '\r': return this.#enter();
      case '\x7f': case '\b': return cursor > 0 && this.#rubOut(cursor - 1, cursor);
      case 'Delete': return cursor < length && this.#rubOut(cursor, cursor + 1);
      case 'CtrlHome': return cursor > 0 && this.#rubOut(0, cursor, true);
      case 'CtrlEnd': return cursor < length && this.#rubOut(cursor, length, true);
      case '\x1b': return this.#replaceLine([]);
      case 'Up': case 'F5': return this.#recall(this.#recalled - 1);
      case 'Down': return this.#recall(this.#recalled + 1);
      case 'PageUp': return this.#recall(0);
      case 'PageDown': return this.#recall(this.#history.length - 1);
      case 'F8': return this.#search();
      case 'Left': return this.#moveCursor(cursor - 1);
      case 'Home': return this.#moveCursor(0);
      case 'End': return this.#moveCursor(length);
      case 'WordLeft': return this.#moveCursor(this.#wordStart(-1));
      case 'WordRight': return this.#moveCursor(this.#wordStart(1));
      case 'Insert': return this.#setInsert(!this.#insert);
      case 'F6': return this.#put(0x1a);
      case 'F2': case 'F4': return this.#openPopup({ key, answer: '' });
      case 'F9': case 'F7': {
        if (!this.#history.length) return;
        const newest = this.#history.length - 1;
        return this.#openPopup(key === 'F9' ? { key, answer: '' } : { key, selected: Math.min(this.#recalled, newest) });
      }
      case 'AltF7':
        this.#history = [];
        this.#recalled = 0;
        return;
      case 'Right': case 'F1': case 'F3': {
        if (key !== 'F3' && cursor < length) return this.#moveCursor(cursor + 1);
        const template = this.#history.at(-1) ?? [];
        if (cursor >= template.length) return;
        return this.#copy(key === 'F3' ? template.slice(cursor) : template.slice(cursor, cursor + 1));
      }
      default:
        return keyNames.has(key) || this.#put(byteOf(key));
    }
  }

  // A key typed: in the line at the cursor, or over the key there.
  #put(byte) {
    if (!this.#insert && this.#after.length) this.#after.pop();
    this.#dirty = Math.min(this.#dirty, this.#before.length);
    this.#before.push(byte);
  }

  // Keys from the line entered last, over the line from the cursor on.
  #copy(bytes) {
    this.#dirty = Math.min(this.#dirty, this.#before.length);
    for (const byte of bytes) {
      this.#after.pop();
      this.#before.push(byte);
    }
    this.#events.replaced(this.#text());
  }

  // The keys from one place to another, with the cursor at one of them.
  #rubOut(from, to, told = false) {
    const cursor = this.#before.length;
    for (let n = cursor - from; n > 0; --n) this.#before.pop();
    for (let n = to - cursor; n > 0; --n) this.#after.pop();
    this.#dirty = Math.min(this.#dirty, from);
    if (told) this.#events.replaced(this.#text());
  }

  #moveCursor(to) {
    if (to < 0 || to > this.#length) return;
    while (this.#before.length > to) this.#after.push(this.#before.pop());
    while (this.#before.length < to) this.#before.push(this.#after.pop());
  }

  // Esc, Up, Down, F5, F8, PgUp, PgDn, F7 and F9 put another line in place
  // of the one being typed; what they put is said to the player, who did not
  // type it.
  #replaceLine(bytes) {
    this.#before = [...bytes];
    this.#after = [];
    this.#dirty = 0;
    this.#events.replaced(this.#text());
  }

  // Neither end of the history goes round.
  #recall(at) {
    if (at < 0 || at >= this.#history.length) return;
    this.#recalled = at;
    this.#replaceLine(this.#history[at]);
  }

  // Back from the line last recalled, round to the newest, for a line that
  // begins as the line does before the cursor; the cursor stays.
  #search() {
    const typed = this.#before, cursor = typed.length;
    for (let n = 1; n <= this.#history.length; ++n) {
      const at = (this.#recalled - n + this.#history.length * 2) % this.#history.length;
      const entry = this.#history[at];
      if (entry.length < cursor || typed.some((byte, i) => entry[i] !== byte)) continue;
      this.#recall(at);
      return this.#moveCursor(cursor);
    }
  }

  // Where the word before (step -1) or the next word (step 1) begins: a word
  // is what spaces part.
  #wordStart(step) {
    const length = this.#length, isSpace = (i) => this.#byteAt(i) === space;
    let at = this.#before.length;
    if (step < 0) {
      while (at > 0 && isSpace(at - 1)) --at;
      while (at > 0 && !isSpace(at - 1)) --at;
    } else {
      while (at < length && !isSpace(at)) ++at;
      while (at < length && isSpace(at)) ++at;
    }
    return at;
  }

  #openPopup(popup) {
    this.#popup = popup;
    this.#showPopup();
  }

  #showPopup() {
    const { key, answer, selected } = this.#popup;
    this.#events.popup(key === 'F7' ? { lines: this.#history.map((line) => echoText(line, 0)), selected }
      : { question: questions[key], answer });
  }

  #closePopup() {
    if (!this.#popup) return;
    this.#popup = null;
    this.#events.popup(null);
  }

  // A key while F2, F4, F9 or F7 waits for one. Esc closes any of them.
  #answer(key) {
    const popup = this.#popup, newest = this.#history.length - 1;
    if (key === '\x1b') return this.#closePopup();
    if (popup.key === 'F7') {
      const moves = { Up: popup.selected - 1, Down: popup.selected + 1, PageUp: 0, Home: 0, PageDown: newest, End: newest };
      if (key in moves) {
        popup.selected = Math.max(0, Math.min(moves[key], newest));
        return this.#showPopup();
      }
      if (key !== '\r') return;
      this.#closePopup();
      this.#recall(popup.selected);
      return this.#enter();
    }
    if (popup.key === 'F9') {
      if (key === '\r') {
        this.#closePopup();
        return popup.answer && this.#recall(Number(popup.answer));
      }
      if (key === '\x7f' || key === '\b') popup.answer = popup.answer.slice(0, -1);
      else if (/^[0-9]$/.test(key) && popup.answer.length < numberDigits) popup.answer += key;
      else return;
      return this.#showPopup();
    }
    if (keyNames.has(key)) return;  // F2 and F4 wait for a character
    this.#closePopup();
    const byte = byteOf(key), cursor = this.#before.length;
    if (popup.key === 'F2') {
      const template = this.#history.at(-1) ?? [], upTo = template.indexOf(byte, cursor + 1);
      return upTo > cursor && this.#copy(template.slice(cursor, upTo));
    }
    const after = this.#after;
    for (let n = 1; n < after.length; ++n) {
      if (after[after.length - 1 - n] === byte) return this.#rubOut(cursor, cursor + n, true);
    }
  }

  #setInsert(on) {
    if (this.#insert === on) return;
    this.#insert = on;
    this.#events.insertMode(on);
  }

  #text() {
    return echoText(this.#bytes(), this.#screen.start);
  }

  #clearLine() {
    this.#before = [];
    this.#after = [];
    this.#dirty = Infinity;
    this.#setInsert(true);
  }

  // The whole line goes, wherever the cursor is; the cursor goes to the
  // next line, and the next line starts in insert mode, as the console's.
  #enter() {
    this.#screen.draw(this.#length, this.#dirty, this.#before.length);
    this.#screen.finish('');
    this.#flush();
    this.#events.entered(this.#text());
    const bytes = this.#bytes();
    this.#clearLine();
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
    if (this.#reader?.started) {
      this.#screen.draw(this.#length, this.#dirty, this.#before.length);
      this.#screen.finish('^C');
    } else {
      this.#screen.out += '^C\r\n';
    }
    this.#flush();
    this.reset();
    interrupt();
  }
}
