// The page's JavaScript: its modules (web/), the system under the web seam
// (platform/web/varnock.js, the program's loader) and the page's
// tests (tests/web/, run by node --test) and bench. Checked by .ci/legs/lint.
import js from '@eslint/js';
import globals from 'globals';

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
    // The program's loader, a classic script before the page's modules:
    // what it declares at its top is for them.
    files: ['platform/web/*.js'],
    languageOptions: { sourceType: 'script', globals: globals.browser },
    rules: { 'no-unused-vars': ['error', { vars: 'local' }] },
  },
  {
    // Run on node (the tests, the bench, the page's build step); the tests
    // hand functions to the page they drive, which run there: the
    // browser's names, and those the tests give the page.
    files: ['tests/web/*.mjs', 'bench/*.mjs', 'web/*.mjs'],
    languageOptions: {
      sourceType: 'module',
      globals: { ...globals.node, ...globals.browser, terminal: 'readonly', refused: 'writable', axe: 'readonly' },
    },
  },
];
