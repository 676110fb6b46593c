// The console's input in line-input mode, as a Windows console has it: keys
// wait until a read asks for them (type-ahead); while one does, they are
// echoed and edited until Enter hands the line over, ending in CR LF. What
// the read has no room for stays for the next read. A line that starts with
// Ctrl+Z is the end of the input: the read returns nothing. Ctrl+C waits for
// no read: it ends the process at once.
//
// The editor knows nothing of the page: keys go in as a terminal delivers
// them (characters and escape sequences), and out come the bytes handed to
// reads and the echo, the text that shows the line as it is edited: to be
// written where the read began, in a terminal that wraps long lines and
// whose Backspace goes back over a wrap.
//
// The editing keys:
//   Left, Right, Home, End       move in the line; Ctrl+Left, Ctrl+Right by word
//   Backspace, Delete            rub out before, and under, the cursor
//   Insert                       insert or overwrite, until Enter
//   Esc                          clears the line
//   Up, Down, F5 (as Up)         the lines entered before; neither goes round
//   F8                           the next line back, round the history, that
//                                begins as the line does up to the cursor
//   F1, and Right at the end     copy the character in that column of the
//                                line entered last; F1 elsewhere is Right
//   F3                           copies the rest of that line, from the
//                                cursor's column on, over the line
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
  '\x1b[2~': 'Insert', '\x1b[3~': 'Delete',
  '\x1bOP': 'F1', '\x1bOR': 'F3', '\x1b[15~': 'F5', '\x1b[19~': 'F8',
};

const escapeSequence = /\x1b(?:\[[0-?]*[ -/]*[@-~]|O[@-~])/y;

// A key's echo at a column counted from the screen's left edge: a Tab's
// stops are every 8 columns, as the console's.
function echoOf(byte, column) {
  if (byte === 0x09) return ' '.repeat(8 - (column % 8));
  return byte < 0x20 ? `^${String.fromCharCode(byte + 0x40)}` : String.fromCharCode(byte);
}

export class LineEditor {
  #keys = [];  // typed ahead: single characters, and the names of sequenceKeys
  #line = [];  // the line being typed: { byte, echo } for each key kept
  #cursor = 0;  // where in the line the next key goes
  #cursorColumn = 0;  // the echo's width before the cursor
  #width = 0;  // the whole line's echo width
  #start = 0;  // the screen column the echo starts at
  #insert = true;
  #unread = new Uint8Array(0);
  #reader = null;  // the read waiting for a line: { size, resolve, started }
  #out = '';
  #history = [];  // the lines entered, oldest first, as bytes
  #recalled = 0;  // the history entry Up and Down have reached, or its length
  #events;
  interrupt = null;  // what Ctrl+C does, while a process runs

  // echo(text): the echo, once for each delivery of keys
  // entered(text): the line as it showed, when Enter hands it over
  // replaced(text): a line the player did not type (recalled, copied, cleared)
  // insertMode(on): whether keys now go in or overwrite
  constructor({ echo = () => {}, entered = () => {}, replaced = () => {}, insertMode = () => {} } = {}) {
    this.#events = { echo, entered, replaced, insertMode };
  }

  // A new process: nothing typed is kept for it but the history.
  reset() {
    this.#keys = [];
    this.#clearLine();
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
    for (let at = 0; at < data.length;) {
      let key = String.fromCodePoint(data.codePointAt(at));
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
  // echo starts at column(), the screen column (or a promise of it) where
  // the output before the read has left the cursor.
  read(size, column = () => 0) {
    if (this.#unread.length > 0) return this.#take(size);
    return new Promise((resolve) => {
      const reader = this.#reader = { size, resolve, started: false };
      Promise.resolve(column()).then((at) => {
        if (this.#reader !== reader) return;
        this.#start = at;
        reader.started = true;
        this.#edit();
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
    while (this.#reader?.started && at < this.#keys.length) this.#press(this.#keys[at++]);
    this.#keys.splice(0, at);
    this.#flush();
  }

  #press(key) {
    const line = this.#line, cursor = this.#cursor;
    switch (key) {
      case '\r': return this.#enter();
      case '\x7f': case '\b': return cursor > 0 && this.#replace(cursor - 1, 1, []);
      case 'Delete': return cursor < line.length && this.#replace(cursor, 1, []);
      case '\x1b': return this.#replaceLine([]);
      case 'Up': case 'F5': return this.#recall(-1);
      case 'Down': return this.#recall(1);
      case 'F8': return this.#search();
      case 'Left': return this.#moveTo(cursor - 1);
      case 'Home': return this.#moveTo(0);
      case 'End': return this.#moveTo(line.length);
      case 'WordLeft': return this.#moveTo(this.#wordStart(-1));
      case 'WordRight': return this.#moveTo(this.#wordStart(1));
      case 'Insert': return this.#setInsert(!this.#insert);
      case 'Right': case 'F1': case 'F3': {
        if (key !== 'F3' && cursor < line.length) return this.#moveTo(cursor + 1);
        const template = this.#history.at(-1) ?? [];
        if (cursor >= template.length) return;
        const copied = key === 'F3' ? template.slice(cursor) : template.slice(cursor, cursor + 1);
        this.#replace(cursor, Math.min(copied.length, line.length - cursor), copied);
        return this.#events.replaced(this.#text());
      }
      default: {
        const byte = key < '\x80' ? key.charCodeAt(0) : 0x3f;  // '?': outside the console's code page
        if (cursor < line.length) return this.#replace(cursor, this.#insert ? 0 : 1, [byte]);
        this.#out += this.#push(byte);
        this.#cursor += 1;
        this.#cursorColumn = this.#width;
        return;
      }
    }
  }

  // The echo goes out in one piece for each delivery: a long paste stays fast.
  #flush() {
    if (this.#out) this.#events.echo(this.#out);
    this.#out = '';
  }

  // The cursor to another key of the line: back over the echo with
  // Backspace, forward by writing the echo again.
  #moveTo(to) {
    if (to < 0 || to > this.#line.length || to === this.#cursor) return;
    const passed = this.#line.slice(Math.min(to, this.#cursor), Math.max(to, this.#cursor));
    const text = passed.map((key) => key.echo).join('');
    this.#out += to < this.#cursor ? '\b'.repeat(text.length) : text;
    this.#cursorColumn += to < this.#cursor ? -text.length : text.length;
    this.#cursor = to;
  }

  // Puts bytes in place of count keys at a place in the line, with the
  // cursor after them: the line from there on is written again (its Tabs
  // may have moved), what it no longer covers is blanked, and the cursor
  // goes back. At the end of the line that is only the new keys' echo.
  #replace(at, count, bytes) {
    this.#moveTo(at);
    const oldTail = this.#width - this.#cursorColumn;
    const tail = this.#line.splice(at).slice(count);
    this.#width = this.#cursorColumn;
    let text = '';
    for (const byte of bytes) text += this.#push(byte);
    const cursorColumn = this.#width;
    for (const key of tail) text += this.#push(key.byte);
    const blank = Math.max(0, oldTail - text.length);
    this.#out += text + ' '.repeat(blank) + '\b'.repeat(blank + this.#width - cursorColumn);
    this.#cursor = at + bytes.length;
    this.#cursorColumn = cursorColumn;
  }

  #push(byte) {
    const echo = echoOf(byte, this.#start + this.#width);
    this.#line.push({ byte, echo });
    this.#width += echo.length;
    return echo;
  }

  // Esc, Up, Down, F5 and F8 put another line in place of the one being
  // typed; what they put is said to the player, who did not type it.
  #replaceLine(bytes) {
    this.#replace(0, this.#line.length, bytes);
    this.#events.replaced(this.#text());
  }

  // Neither end of the history goes round.
  #recall(step) {
    const at = this.#recalled + step;
    if (at < 0 || at >= this.#history.length) return;
    this.#recalled = at;
    this.#replaceLine(this.#history[at]);
  }

  // Back from the line last recalled, round to the newest, for a line that
  // begins as the line does before the cursor; the cursor stays.
  #search() {
    const cursor = this.#cursor, typed = this.#line.slice(0, cursor).map((key) => key.byte);
    for (let n = 1; n <= this.#history.length; ++n) {
      const at = (this.#recalled - n + this.#history.length * 2) % this.#history.length;
      const entry = this.#history[at];
      if (entry.length < cursor || typed.some((byte, i) => entry[i] !== byte)) continue;
      this.#recalled = at;
      this.#replaceLine(entry);
      return this.#moveTo(cursor);
    }
  }

  // Where the word before (step -1) or the next word (step 1) begins: a word
  // is what spaces part.
  #wordStart(step) {
    const line = this.#line, isSpace = (i) => line[i].byte === space;
    let at = this.#cursor;
    if (step < 0) {
      while (at > 0 && isSpace(at - 1)) --at;
      while (at > 0 && !isSpace(at - 1)) --at;
    } else {
      while (at < line.length && !isSpace(at)) ++at;
      while (at < line.length && isSpace(at)) ++at;
    }
    return at;
  }

  #setInsert(on) {
    if (this.#insert === on) return;
    this.#insert = on;
    this.#events.insertMode(on);
  }

  #text() {
    return this.#line.map((key) => key.echo).join('');
  }

  #clearLine() {
    this.#line = [];
    this.#cursor = this.#cursorColumn = this.#width = 0;
    this.#setInsert(true);
  }

  // The whole line goes, wherever the cursor is; the cursor goes to the
  // next line, and the next line starts in insert mode, as the console's.
  #enter() {
    this.#moveTo(this.#line.length);
    this.#out += '\r\n';
    this.#flush();
    this.#events.entered(this.#text());
    const bytes = this.#line.map((key) => key.byte);
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
    if (this.#reader?.started) this.#moveTo(this.#line.length);
    this.#out += '^C\r\n';
    this.#flush();
    this.reset();
    interrupt();
  }
}
