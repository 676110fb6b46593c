// The page's JavaScript: its modules (web/), the system under the web seam
// (platform/web/, which Emscripten links into varnock.js) and the page's
// tests (tests/web/, run by node --test). Checked by .ci/legs/lint.
import js from '@eslint/js';
import globals from 'globals';

// The names the files of platform/web share with what they are linked
// with into varnock.js: Emscripten's run-time, and each other's
// ($varnockInMemory is linked in as varnockInMemory).
const linkedWith = Object.fromEntries(
  [
    'Asyncify', 'HEAPU32', 'HEAPU8', 'LibraryManager', 'Module', 'UTF8ToString', '_emscripten_stack_get_end',
    '_malloc', 'ccall', 'lengthBytesUTF8', 'mergeInto', 'stackRestore', 'stackSave', 'stringToUTF8',
    'varnockInMemory', 'VarnockProcessEnd',
  ].map((name) => [name, 'readonly']),
);

export default [
  { ignores: ['build*/'] },
  js.configs.recommended,
  {
    // A catch with nothing in it says the failure is the answer: try the next.
    rules: { 'no-empty': ['error', { allowEmptyCatch: true }] },
  },
  {
    files: ['web/*.js'],
    languageOptions: { sourceType: 'module', globals: globals.browser },
  },
  {
    // A terminal's input and output are escape sequences: the line editor
    // and its tests match them.
    files: ['web/*.js', 'tests/web/*.mjs'],
    rules: { 'no-control-regex': 'off' },
  },
  {
    // Loaded by a plain <script> tag, beside the modules.
    files: ['web/offline.js'],
    languageOptions: { sourceType: 'script' },
  },
  {
    files: ['platform/web/*.js'],
    languageOptions: { sourceType: 'script', globals: { ...globals.browser, ...linkedWith } },
    // What a file declares at its top is for the files linked beside it
    // or for the page, which this file does not see; one of the names
    // above is the one a file declares.
    rules: { 'no-unused-vars': ['error', { vars: 'local' }], 'no-redeclare': ['error', { builtinGlobals: false }] },
  },
  {
    // The tests run on node and hand functions to the page they drive, which
    // run there: the browser's names, and those the tests give the page.
    files: ['tests/web/*.mjs'],
    languageOptions: {
      sourceType: 'module',
      globals: { ...globals.node, ...globals.browser, terminal: 'readonly', refused: 'writable', axe: 'readonly' },
    },
  },
];
