// What the line editor shows over the terminal: F7's list of the lines
// entered before, and the question F2, F4 and F9 ask. The keys stay with
// the terminal, which types them into the editor, and the editor says what
// to show. The list is a listbox, which a screen reader can read; the line
// chosen in it, and a question with its answer so far, are said in a live
// region as they change.
export class LinePopup {
  #box;
  #live;
  #choose;
  #options = null;  // the list's lines, while it shows

  // box: the element drawn over the terminal; live: the live region;
  // choose(number): a line of the list clicked
  constructor(box, { live, choose }) {
    [this.#box, this.#live, this.#choose] = [box, live, choose];
  }

  // The editor's popup event: { question, answer }, { lines, selected }, or
  // null once it has closed.
  show(shown) {
    this.#box.hidden = !shown;
    if (!shown?.lines) this.#options = null;
    if (!shown) return;
    if (!shown.lines) {
      this.#box.textContent = this.#live.textContent = `${shown.question}${shown.answer}`;
      return;
    }
    if (!this.#options) this.#list(shown.lines);
    this.#options.forEach((option, number) => option.setAttribute('aria-selected', number === shown.selected));
    const chosen = this.#options[shown.selected];
    chosen.scrollIntoView({ block: 'nearest' });
    this.#live.textContent = chosen.textContent;
  }

  // Numbered from 0, as F9 asks for them. A click leaves the focus in the
  // terminal, as the touch keys' do.
  #list(lines) {
    const list = document.createElement('div');
    list.setAttribute('role', 'listbox');
    list.setAttribute('aria-label', 'Lines entered before');
    this.#options = lines.map((line, number) => {
      const option = document.createElement('div');
      option.setAttribute('role', 'option');
      option.textContent = `${number}: ${line}`;
      for (const type of ['pointerdown', 'mousedown']) option.addEventListener(type, (event) => event.preventDefault());
      option.addEventListener('click', () => this.#choose(number));
      return option;
    });
    list.append(...this.#options);
    this.#box.replaceChildren(list);
  }
}
