// The page's JavaScript: its modules (web/), the system under the web seam
// (platform/web/, which Emscripten links into varnock.js) and the page's
// tests (tests/web/, run by node --test). Checked by .ci/legs/lint.
import js from '@eslint/js';
import globals from 'globals';

// What varnock.js holds around platform/web's files: Emscripten's run-time,
// and the name os_web.js's functions share ($varnockInMemory is linked in
// as varnockInMemory).
const emscripten = Object.fromEntries(
  [
    'Asyncify', 'HEAPU32', 'HEAPU8', 'LibraryManager', 'Module', 'UTF8ToString', '_emscripten_stack_get_end',
    '_malloc', 'ccall', 'lengthBytesUTF8', 'mergeInto', 'stackRestore', 'stackSave', 'stringToUTF8',
    'varnockInMemory',
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
    // A terminal's input is escape sequences: the line editor matches them.
    rules: { 'no-control-regex': 'off' },
  },
  {
    // Loaded by a plain <script> tag, beside the modules.
    files: ['web/offline.js'],
    languageOptions: { sourceType: 'script' },
  },
  {
    files: ['platform/web/*.js'],
    languageOptions: { sourceType: 'script', globals: { ...globals.browser, ...emscripten } },
  },
  {
    // process.js comes after the library in varnock.js, in the same scope.
    files: ['platform/web/os_web.js'],
    languageOptions: { globals: { VarnockProcessEnd: 'readonly' } },
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
