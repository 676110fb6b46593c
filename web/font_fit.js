// The terminal's font size for the window: the widest line of the night in
// view where the screen allows it; on a narrow screen smaller letters, but
// none smaller than reads well, so that the worked night's longest line (55
// characters) still fits. Each size tried redraws the terminal, so the
// sizes are tried only when the width has changed, not when a phone's
// keyboard takes some of the height.
const fits = [[72, 16, 12], [55, 12, 10]];  // columns, from the largest font size to the smallest
const smallest = 10;

export class FontFit {
  #width = null;

  // The size for a window width, given the columns each size would give
  // (columnsAt(size)); null when the width is the one fitted last.
  sizeFor(width, columnsAt) {
    if (width === this.#width) return null;
    this.#width = width;
    for (const [columns, largest, least] of fits) {
      for (let size = largest; size >= least; --size) if (columnsAt(size) >= columns) return size;
    }
    return smallest;
  }
}
