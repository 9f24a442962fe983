# Static checks, one block per language; any finding, warning or error, fails the layer.
#   JavaScript: ESLint with eslint.config.js over every .js and .mjs file of the tree (the wall
#   server, the guest and booth pages, the browser tests, the scripts, the benchmarks and the
#   Windows test fixtures). Each finding is printed as "file:line:column: rule: message".
#   C++: clang-format with .clang-format over every tracked C++ source and header; a file whose
#   formatting differs is a finding (`clang-format -i FILE` mends it).
set -uo pipefail
source "$(dirname "$0")/../lib/common.sh"
cd "$ROOT"
mkdir -p "$OUTPUT"
status=0
summary=""
# Each block adds its part of the summary line.
report() { summary="${summary:+$summary; }$1"; }

# ---- JavaScript
lint_javascript() {
  local json="$OUTPUT/lint-eslint.json" result files problems
  if [ ! -x "$NODE_LINUX" ] || [ ! -f node_modules/eslint/bin/eslint.js ]; then
    say "ESLint or Node.js 22 is missing: run scripts/setup.sh"
    report "javascript: ESLint missing"; return 1
  fi
  rm -f "$json"
  "$NODE_LINUX" node_modules/eslint/bin/eslint.js --max-warnings 0 --format json --output-file "$json" .
  result=$?
  [ -f "$json" ] || { report "javascript: ESLint did not run (exit $result)"; return 1; }
  # The findings, then a last line "<files> <problems>".
  "$NODE_LINUX" -e '
    const results = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
    let problems = 0;
    for (const r of results) {
      for (const m of r.messages) {
        problems++;
        console.log(`${require("path").relative(process.cwd(), r.filePath)}:${m.line ?? 0}:${m.column ?? 0}: ` +
          `${m.ruleId ?? "parse"}: ${m.message}${m.severity === 1 ? " (warning)" : ""}`);
      }
    }
    console.log(`${results.length} ${problems}`);' "$json" >"$OUTPUT/lint-eslint.txt" 2>&1
  sed '$d' "$OUTPUT/lint-eslint.txt"
  read -r files problems < <(tail -n 1 "$OUTPUT/lint-eslint.txt")
  report "javascript: ${files:-?} files, ${problems:-?} problems"
  [ "$result" -eq 0 ]
}
lint_javascript || status=1

# ---- C++
lint_cpp() {
  if ! command -v clang-format >/dev/null; then
    say "clang-format is missing: run scripts/setup.sh"
    report "c++: clang-format missing"; return 1
  fi
  local file files=0 differ=0
  while IFS= read -r file; do
    files=$((files + 1))
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
      differ=$((differ + 1))
      echo "$file: not formatted as .clang-format says (clang-format -i '$file')"
    fi
  done < <(git ls-files '*.cpp' '*.h' '*.hpp' '*.h.in')
  report "c++: $files files, $differ not formatted"
  [ "$differ" -eq 0 ]
}
lint_cpp || status=1

say "summary: lint: $summary"
exit $status
