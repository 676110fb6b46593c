// Which key presses count at the edges of a night, from the keys as they go
// down and up (partial key events: { code, repeat }) and the time (ms).
//
// The night that has ended stays on screen until a fresh press of "Play
// again": never the key that answered the pause, held or repeating, nor
// the second press of a double press. A key down when the night ended
// counts once it is up again, wherever it comes up (or once the window has
// lost the keyboard, which then hears of no key coming up), and no key
// counts in the first half second. A key held as a night starts (the
// press that started it) types none of its repeats into it.
const doublePress = 500;  // ms

export class KeyGate {
  #held = new Set();  // the keys down, by code
  #heldAtEnd = new Set();
  #endedAt = -Infinity;
  #heldAtStart = new Set();

  // Every key that goes down, before anything else hears of it: whether
  // anything may.
  keyDown({ code, repeat }) {
    if (code) this.#held.add(code);
    return !(repeat && this.#heldAtStart.has(code));
  }

  // Every key that comes up: true when its coming up must do nothing (it
  // was down when the night ended, and a button's press ends on it).
  keyUp({ code }) {
    this.#held.delete(code);
    this.#heldAtStart.delete(code);
    return this.#heldAtEnd.delete(code);
  }

  // The window has lost the keyboard.
  blur() {
    this.#held.clear();
    this.#heldAtEnd.clear();
    this.#heldAtStart.clear();
  }

  started() {
    this.#heldAtStart = new Set(this.#held);
  }

  ended(now) {
    this.#heldAtEnd = new Set(this.#held);
    this.#endedAt = now;
  }

  // Whether a key down on "Play again" may press it.
  playsAgain({ code, repeat }, now) {
    return !repeat && !this.#heldAtEnd.has(code) && now - this.#endedAt >= doublePress;
  }
}
