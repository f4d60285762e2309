#!/usr/bin/env bash
# scripts/ctest-summary.sh on CTest outputs of each kind: all passed, some skipped with the
# reason, some failed, no results at all, and Windows result lines shown twice.
# Usage: ctest_summary_test.sh WORK_DIR
set -euo pipefail
summarize="$(cd "$(dirname "$0")/../.." && pwd)/scripts/ctest-summary.sh"
work="$1"
rm -rf "$work"
mkdir -p "$work"

skip="skipping the 32-bit Wine run: this machine cannot execute 32-bit programs: x: why"
# name | CTest output (\n between lines) | status | summary (\n between lines)
table=(
  "native|1/3 Test #1: a ... Passed\n100% tests passed, 0 tests failed out of 3|0|  native: 3 of 3 tests passed"
  "one|100% tests passed, 0 tests failed out of 1|0|  one: 1 of 1 tests passed"
  "skipped|3: $skip\n100% tests passed, 0 tests failed out of 4\nThe following tests did not run:\n\t  3 - wine_module_checks (Skipped)\n\t  4 - wine_matches_native (Skipped)|0|  skipped: 2 of 4 tests passed, 2 skipped\n    $skip"
  "failed|67% tests passed, 1 tests failed out of 3\nThe following tests FAILED:\n\t  2 - b (Failed)|0|  failed: 2 of 3 tests passed, 1 FAILED"
  "results|1: pe tables ok: Vorrik.p (pei-x86-64) exports _mod_descrip only\r\npe tables ok: Vorrik.p (pei-x86-64) exports _mod_descrip only\n2: wine module checks (64-bit): 12 checks passed\n100% tests passed, 0 tests failed out of 2|0|  results: 2 of 2 tests passed\n    pe tables ok: Vorrik.p (pei-x86-64) exports _mod_descrip only\n    wine module checks (64-bit): 12 checks passed"
  "none|CMake Error: the build failed|1|  none: no test results (see $work/none.log)"
)
failures=0
for row in "${table[@]}"; do
  IFS='|' read -r name output want_status want <<<"$row"
  printf '%b\n' "$output" >"$work/$name.log"
  status=0
  got="$("$summarize" "$name" "$work/$name.log")" || status=$?
  want="$(printf '%b' "$want")"
  if [ "$status" != "$want_status" ] || [ "$got" != "$want" ]; then
    echo "FAILED: $name: status $status, got:"
    echo "$got"
    echo "expected status $want_status:"
    echo "$want"
    failures=$((failures + 1))
  fi
done
if [ $failures -ne 0 ]; then
  echo "ctest summary: $failures of ${#table[@]} cases failed"
  exit 1
fi
echo "ctest summary: ${#table[@]} cases passed"
