// Which keys reach the console's line, from partial key and input events.

// Whether the terminal takes a key event ({ type, key, ctrlKey, altKey,
// metaKey, shiftKey }). Ctrl+C with text selected copies it, as the browser
// does; Ctrl+V is the browser's paste, which the terminal then types.
// Neither reaches the line. Shift+Tab leaves the terminal (Tab stays in the
// line, as a console's).
export function terminalTakes({ type, key, ctrlKey, altKey, metaKey, shiftKey }, hasSelection) {
  if (key === 'Tab' && shiftKey) return false;
  const letter = key.toLowerCase();
  return !(type === 'keydown' && ctrlKey && !altKey && !metaKey
    && (letter === 'v' || (letter === 'c' && hasSelection)));
}

// Text that comes as input events ({ inputType, data }: a phone keyboard's,
// dictation, an input method's) keeps its line breaks, which are Enter: the
// terminal would drop them. The keys such an event types, or null for an
// event the terminal takes as it is.
export function inputKeys({ inputType, data }) {
  if (inputType === 'insertLineBreak' || inputType === 'insertParagraph') return '\r';
  return inputType === 'insertText' && /[\r\n]/.test(data) ? data : null;
}

// What each key of the touch screen's row types, by its data-key.
const touchKeys = { Enter: '\r', Backspace: '\x7f', Up: '\x1b[A', Down: '\x1b[B' };
export const touchKeyInput = (name) => touchKeys[name] ?? name;
