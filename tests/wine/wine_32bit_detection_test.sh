#!/usr/bin/env bash
# How the Wine checks find out whether this machine runs 32-bit programs: stand-ins for the
# 32-bit loader that run, fail or cannot execute, the minimal 32-bit program tried where no
# loader is installed, and the Wine scripts' skip line. Needs no Wine.
# Usage: wine_32bit_detection_test.sh WORK_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine_session.sh"

work="$1"
rm -rf "$work"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
failures=0
cases=0

fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# make_probe KIND FILE: writes a stand-in for the 32-bit loader.
make_probe() {
  case "$1" in
    refused)
      # The ELF magic with a class no kernel knows.
      printf '\177ELF\011\001\001' >"$2"
      head -c 57 /dev/zero >>"$2"
      chmod +x "$2"
      ;;
    runs) printf '#!/bin/sh\nexit 0\n' >"$2"; chmod +x "$2" ;;
    version-only)
      printf '#!/bin/sh\n[ "$1" = --version ] && [ $# -eq 1 ]\n' >"$2"
      chmod +x "$2"
      ;;
    libraries-missing)
      printf '#!/bin/sh\necho "starting" >&2\n' >"$2"
      printf 'echo "$0: error while loading shared libraries: libc.so.6: %s" >&2\nexit 127\n' \
        "cannot open shared object file: No such file or directory" >>"$2"
      chmod +x "$2"
      ;;
    silent-failure) printf '#!/bin/sh\nexit 3\n' >"$2"; chmod +x "$2" ;;
    not-executable) printf '#!/bin/sh\nexit 0\n' >"$2"; chmod -x "$2" ;;
    missing) ;;
  esac
}

cannot="this machine cannot execute 32-bit programs:"
# stand-in | status | the line printed (PROBE: the stand-in's path)
table=(
  "refused|1|$cannot PROBE: cannot execute binary file: Exec format error"
  "runs|0|"
  "version-only|0|"
  "libraries-missing|1|$cannot PROBE: error while loading shared libraries: libc.so.6: cannot open shared object file: No such file or directory"
  "silent-failure|1|$cannot PROBE: ended with status 3"
  "not-executable|1|$cannot PROBE: Permission denied"
  "missing|1|$cannot PROBE: No such file or directory"
)
for row in "${table[@]}"; do
  IFS='|' read -r kind want_status want_line <<<"$row"
  probe="$work/loader-$kind"
  make_probe "$kind" "$probe"
  status=0
  line="$(VORRIK_32BIT_PROBE="$probe" wine_32bit_problem "$work/root-$kind")" || status=$?
  want_line="${want_line//PROBE/$probe}"
  cases=$((cases + 1))
  if [ "$status" != "$want_status" ] || [ "$line" != "$want_line" ]; then
    fail "$kind: status $status, '$line'; expected status $want_status, '$want_line'"
  fi
done

# No loader installed: a minimal 32-bit program is tried in its place. Whether it runs is
# this machine's business; either way the reason is one of two lines and the program
# written is a well-formed i386 executable.
cases=$((cases + 1))
status=0
line="$(wine_loader_32="$work/no-such-loader" wine_32bit_problem "$work/root-no-loader")" ||
  status=$?
program="$work/root-no-loader/i386-exit-0"
case "$line" in
  "$cannot $program: cannot execute binary file: Exec format error" | \
  "32-bit Wine is not installed: no $work/no-such-loader (Debian package wine32:i386)") ;;
  *) fail "no loader: '$line'" ;;
esac
[ "$status" = 1 ] || fail "no loader: status $status"
if ! header="$(readelf -h -l "$program" 2>&1)"; then
  fail "the minimal program is no ELF file: $header"
else
  for want in "Class: +ELF32" "Type: +EXEC" "Machine: +Intel 80386" \
              "Entry point address: +0x8048054" \
              "LOAD +0x000000 0x08048000 0x08048000 0x0*$(printf '%x' "$(wc -c <"$program")") "; do
    grep -q -E "$want" <<<"$header" || fail "the minimal program's header lacks '$want'"
  done
fi

# The Wine scripts skip a 32-bit run, saying why, before any Wine starts.
refused="$work/loader-refused"
skip_line="$wine_skip_32bit_prefix $cannot $refused: cannot execute binary file: Exec format error"
: >"$work/script.vrk"
for command in \
  "wine_run.sh --root $work/wine-run --bits 32 -- program.exe" \
  "compare_with_native.sh --root $work/wine-compare --bits 32 --native /bin/true --compare /bin/true --windows /bin/true --work $work/runs $work/script.vrk"
do
  cases=$((cases + 1))
  read -r -a words <<<"$command"
  status=0
  output="$(VORRIK_32BIT_PROBE="$refused" bash "$here/${words[0]}" "${words[@]:1}" 2>&1)" ||
    status=$?
  [ "$status" = 0 ] || fail "${words[0]}: status $status"
  [ "$output" = "$skip_line" ] || fail "${words[0]}: '$output'; expected '$skip_line'"
  for folder in "$work/wine-run" "$work/wine-compare"; do
    [ ! -e "$folder/prefix" ] || fail "${words[0]}: Wine was started for a skipped run"
  done
done
cases=$((cases + 1))
(
  wine_session_command=()
  wine_session_start "$work/wine-bad" 16 >/dev/null 2>&1 && exit 1
  [ ! -e "$work/wine-bad" ]
) || fail "a session of unknown bitness starts"

if [ $failures -ne 0 ]; then
  echo "32-bit detection: $failures of $cases cases failed"
  exit 1
fi
echo "32-bit detection: $cases cases passed"
