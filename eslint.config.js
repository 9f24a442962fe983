// ESLint for every JavaScript file of the tree, run by the lint test layer (scripts/layers/lint.sh).
// The recommended rules, plus a few that catch real faults rather than matters of taste. Each group
// of files gets the globals of where it runs: the wall server and the scripts in Node, the pages in
// the browser, the browser tests in both (their page.evaluate() callbacks run in the page).
'use strict';
const js = require('@eslint/js');
const globals = require('globals');

const faults = {
  // An unused variable is dead code or a typo; an unused argument before a used one is kept,
  // since a callback's position decides what it receives, and `_` is unused on purpose
  // (`for (const _ of segments) n++`).
  'no-unused-vars': ['error', { args: 'after-used', caughtErrors: 'all', ignoreRestSiblings: true, varsIgnorePattern: '^_$' }],
  // == only against null (where it means "null or undefined"); elsewhere its coercions are bugs.
  eqeqeq: ['error', 'smart'],
  // A const or let used before its line runs throws; functions are hoisted and may come later.
  'no-use-before-define': ['error', { functions: false, classes: true, variables: false }],
  // A map() or filter() callback that forgets to return gives undefined for every element.
  'array-callback-return': 'error',
  // '${x}' in plain quotes was meant to be a template literal.
  'no-template-curly-in-string': 'error',
  'no-self-compare': 'error',
  'no-unmodified-loop-condition': 'error',
  'no-unreachable-loop': 'error',
  // Throwing a string loses the stack and breaks `err.message` and `instanceof` checks.
  'no-throw-literal': 'error',
  'no-var': 'error',
  'prefer-const': ['error', { destructuring: 'all' }],
};

module.exports = [
  {
    // wall/web/screen/vendor/: a library's published file, kept as it was published.
    ignores: ['build/**', '.deps/**', 'node_modules/**', 'test-output/**', 'dist/**', 'wall/uploads/**', 'wall/looks/**', 'wall/backup/**',
      'wall/web/screen/vendor/**'],
  },
  {
    linterOptions: { reportUnusedDisableDirectives: 'error' },
  },
  js.configs.recommended,
  { rules: faults },
  {
    files: ['wall/server/**/*.js', 'scripts/**/*.mjs', 'bench/**/*.mjs', 'tests/fuzz/js/**/*.mjs', 'tests/fuzz/js/**/*.js', 'tests/installer/**/*.mjs', 'brand/**/*.mjs'],
    languageOptions: { sourceType: 'module', globals: globals.node },
  },
  {
    // The wall server cleans what guests and the host send: its patterns name control characters
    // on purpose, to replace or refuse them.
    files: ['wall/server/src/**/*.js'],
    rules: { 'no-control-regex': 'off' },
  },
  {
    files: ['wall/web/**/*.js'],
    languageOptions: { sourceType: 'module', globals: globals.browser },
  },
  {
    files: ['tests/browser/**/*.mjs'],
    languageOptions: { sourceType: 'module', globals: { ...globals.node, ...globals.browser } },
  },
  {
    files: ['tests/windows/fixtures/**/*.js', 'eslint.config.js'],
    languageOptions: { sourceType: 'commonjs', globals: globals.node },
  },
];
