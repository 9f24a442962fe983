#!/usr/bin/env bash
# Test code against product code, in non-blank, non-comment lines of tracked C++ and JavaScript
# sources. Tests are files under a tests/ or test/ folder or named *_test.* / *.test.*, and the
# stand-in host (tools/standin-host) and the installer's page walker (tools/installer-pages), which
# exist only to run, test and measure the plug-in and its installer.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
  # Drops blank lines, // comment lines and /* ... */ blocks (a line that only holds comment).
  xargs -r cat | awk '
    { line = $0 }
    inblock { if (index(line, "*/")) { inblock = 0; sub(/.*\*\//, "", line) } else next }
    { sub(/^[ \t]+/, "", line) }
    line ~ /^\/\*/ { if (!index(line, "*/")) inblock = 1; next }
    line == "" || line ~ /^\/\// || line ~ /^\*/ { next }
    { n++ } END { print n + 0 }'
}
is_test='(^|/)(tests?|testing)/|_test\.|\.test\.|test_|^tools/standin-host/|^tools/installer-pages/'
sources='\.(cpp|cc|c|h|hpp|js|mjs|ts)$'
code=$(git ls-files | grep -E "$sources" | grep -v -E "$is_test" | count)
tests=$(git ls-files | grep -E "$sources" | grep -E "$is_test" | count)
echo "tests: $tests lines, code: $code lines, ratio: $(( 100 * tests / code )) %"
