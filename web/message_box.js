// MessageBoxA's buttons, by the low four bits of its style, and the numbers
// it returns for them.
const buttonSets = [['OK'], ['OK', 'Cancel'], ['Abort', 'Retry', 'Ignore'], ['Yes', 'No', 'Cancel'],
  ['Yes', 'No'], ['Retry', 'Cancel']];
const buttonIds = { OK: 1, Cancel: 2, Abort: 3, Retry: 4, Ignore: 5, Yes: 6, No: 7 };

// The box's buttons for a style: [name, id] each, OK alone for a set this
// page does not have.
export function boxButtons(type) {
  return (buttonSets[type & 0xf] ?? buttonSets[0]).map((name) => [name, buttonIds[name]]);
}

// What Escape answers: Cancel, or OK when that is the only button; else
// nothing (null), and the box stays.
export function escapeAnswer(buttons) {
  const names = buttons.map(([name]) => name);
  if (names.includes('Cancel')) return buttonIds.Cancel;
  return names.length === 1 ? buttonIds.OK : null;
}
