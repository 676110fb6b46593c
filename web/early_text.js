// The night's text before the terminal has come. The program is ready
// long before xterm.js has arrived and run, so what it prints is shown at
// once as the terminal will show it: the same rows, in the same cells, so
// that nothing moves when the terminal takes over. These are the
// terminal's sums (xterm.js 5's DOM renderer and fit addon), on plain
// values; the page measures the font and the area.

// The rows a terminal columns × rows in size shows for text written from
// its top-left corner: a character goes in at the cursor, over what was
// there, and the character after one in the last column goes on at the
// start of the next row; a CR goes back to the row's start, an LF down a
// row in the same column; the last rows are the ones in view. Null for text with anything else in it (another control
// character, or a character that may be wider than a cell): only the
// terminal can show that.
export function screenRows(text, columns, rows) {
  if (/[^\x20-\x7e\r\n]/.test(text)) return null;
  const screen = [[]];
  let x = 0;
  for (const c of text) {
    if (c === '\r') {
      x = 0;
    } else if (c === '\n') {
      screen.push([]);
      x = Math.min(x, columns - 1);
    } else {
      if (x === columns) {
        screen.push([]);
        x = 0;
      }
      const row = screen.at(-1);
      while (row.length < x) row.push(' ');
      row[x++] = c;
    }
  }
  return screen.slice(-rows).map((row) => row.join(''));
}

// A cell in CSS pixels, for a character width × height (CSS pixels, as the
// browser measures the font) on a screen of dpr device pixels to the CSS
// pixel, in a grid columns × rows: a cell is a whole number of device
// pixels high, and the grid a whole number of CSS pixels each way.
export function cellSize(char, dpr, columns, rows) {
  const deviceHeight = Math.ceil(char.height * dpr);
  return {
    width: Math.round(char.width * dpr * columns / dpr) / columns,
    height: Math.round(deviceHeight * rows / dpr) / rows,
  };
}

// The grid that fits an area (its CSS width and height, as computed) with
// cells of a size, less the width of a scroll bar, which counts as 15 px
// where scroll bars take no room: at least 2 × 1.
export function gridFor(area, cell, scrollbarWidth) {
  return {
    columns: Math.max(2, Math.floor((Math.trunc(area.width) - (scrollbarWidth || 15)) / cell.width)),
    rows: Math.max(1, Math.floor(Math.trunc(area.height) / cell.height)),
  };
}
