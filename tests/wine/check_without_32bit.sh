#!/usr/bin/env bash
# Takes, on any machine, the path of one that cannot execute 32-bit programs, in the Windows
# builds scripts/windows-test.sh has made: the program tried to find out is a file no kernel
# executes, and `wine` and `wineboot` fail as they do there. The 32-bit Wine checks must then
# be reported skipped, with the reason, while both DLLs' tables are still checked and the
# 64-bit Wine checks still pass; the summary must say so. Prints that summary.
# Usage, from anywhere: tests/wine/check_without_32bit.sh
set -euo pipefail
cd "$(dirname "$0")/../.."

work="$PWD/build/wine-without-32bit"
rm -rf "$work"
mkdir -p "$work/bin" build/logs
# The ELF magic with a class no kernel knows, and no #! line: refused as "Exec format
# error", also where an emulator is registered for foreign programs.
refused="$work/refused-program"
printf '\177ELF\011\001\001' >"$refused"
head -c 57 /dev/zero >>"$refused"
chmod +x "$refused"
for command in wine wineboot; do
  printf '#!/bin/sh\necho "%s: cannot execute binary file: Exec format error" >&2\nexit 126\n' \
    "$command" >"$work/bin/$command"
  chmod +x "$work/bin/$command"
done
export VORRIK_32BIT_PROBE="$refused"
export PATH="$work/bin:$PATH"

x86_log=build/logs/windows-x86-without-32bit.log
x64_log=build/logs/windows-x64-without-32bit.log
status=0
ctest --preset windows-x86 >"$x86_log" 2>&1 || status=$?
if [ $status -ne 0 ]; then
  echo "  without 32-bit programs: ctest --preset windows-x86 ended with status $status" \
       "(see $x86_log)"
  exit 1
fi
ctest --preset windows-x64 -R '^wine_module_checks$' >"$x64_log" 2>&1 || status=$?
if [ $status -ne 0 ]; then
  echo "  without 32-bit programs: the 64-bit module checks ended with status $status" \
       "(see $x64_log)"
  exit 1
fi
summary="$(scripts/ctest-summary.sh windows-x86 "$x86_log" &&
           scripts/ctest-summary.sh "windows-x64, module checks" "$x64_log")"
echo "$summary" >"$work/summary"

reason="this machine cannot execute 32-bit programs: $refused: cannot execute binary file: Exec format error"
reason_pattern="$(sed 's/[][\.*^$+?(){}|]/\\&/g' <<<"$reason")"
# FILE | extended regular expression | what a line matching it shows
expectations=(
  "$x86_log|Test +#[0-9]+: pe_tables_module \.* +Passed|the 32-bit DLL's tables are checked"
  "$x86_log|Test +#[0-9]+: pe_tables_refuse_runner \.* +Passed|the 32-bit runner's tables are checked"
  "$x86_log|Test +#[0-9]+: wine_module_checks \.*\*\*\*Skipped|CTest reports the 32-bit module checks skipped"
  "$x86_log|Test +#[0-9]+: wine_matches_native \.*\*\*\*Skipped|CTest reports the 32-bit comparison skipped"
  "$x64_log|Test +#[0-9]+: wine_module_checks \.* +Passed|the 64-bit module checks pass"
  "$work/summary|^  windows-x86: 2 of 4 tests passed, 2 skipped$|the summary counts the skipped runs"
  "$work/summary|^    skipping the 32-bit Wine run: $reason_pattern$|the summary says why"
  "$work/summary|^    pe tables ok: Vorrik\.p \(pei-i386\) |the summary shows the 32-bit tables"
  "$work/summary|^    wine module checks \(64-bit\): [0-9]+ checks passed$|the summary shows the 64-bit run"
)
failures=0
for expectation in "${expectations[@]}"; do
  IFS='|' read -r file pattern meaning <<<"$expectation"
  if ! grep -q -E -- "$pattern" "$file"; then
    echo "  without 32-bit programs: not so: $meaning (no line like '$pattern' in $file)"
    failures=$((failures + 1))
  fi
done
# Both skipped tests say why (CTest puts the test's number before each line it shows).
said="$(grep -c -E "^[0-9]+: skipping the 32-bit Wine run: $reason_pattern$" "$x86_log" || true)"
if [ "$said" != 2 ]; then
  echo "  without 32-bit programs: not so: both skipped runs say why ($said lines say it)"
  failures=$((failures + 1))
fi
if [ $failures -ne 0 ]; then
  exit 1
fi
echo "  without 32-bit programs (forced): 32-bit Wine checks skipped, 64-bit ones ran"
sed 's/^/  /' <<<"$summary"
