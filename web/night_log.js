// What the night prints, as the lines of a log for assistive technology:
// each line once, as it is printed, a line printed in pieces joined into
// one, empty lines and carriage returns left out.
export class NightLog {
  #open = false;  // the last line has had no line feed yet

  // The pieces of text to add: [startsLine, text] each, startsLine when it
  // begins a line of its own rather than going on with the last.
  add(text) {
    const pieces = [];
    text.replace(/\r/g, '').split('\n').forEach((part, i) => {
      if (i > 0) this.#open = false;
      if (!part) return;
      pieces.push([!this.#open, part]);
      this.#open = true;
    });
    return pieces;
  }

  reset() {
    this.#open = false;
  }
}
