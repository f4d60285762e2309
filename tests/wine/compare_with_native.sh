#!/usr/bin/env bash
# Plays each script with the native runner and with the Windows runner under Wine, each in
# a fresh folder holding a copy of the script and the scene files, and compares all they
# leave: the exit status, the error output, the JSON report (commands, traces, messages,
# dialogs, the final scene) and every file a script saved.
# Usage: compare_with_native.sh --root WINE_ROOT --bits 64|32 --native RUNNER
#          --compare COMPARER --windows RUNNER.exe --work DIR [--inputs DIR] SCRIPT...
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/wine_session.sh"

root="" bits="" native="" compare="" windows="" work="" inputs=""
while [ $# -gt 0 ]; do
  case "$1" in
    --root) root="$2"; shift 2 ;;
    --bits) bits="$2"; shift 2 ;;
    --native) native="$2"; shift 2 ;;
    --compare) compare="$2"; shift 2 ;;
    --windows) windows="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --inputs) inputs="$2"; shift 2 ;;
    --*) echo "compare_with_native.sh: unknown option $1"; exit 2 ;;
    *) break ;;
  esac
done
label="wine comparison (${bits}-bit)"
for variable in native compare windows work inputs; do
  if [ -n "${!variable}" ]; then
    printf -v "$variable" '%s' "$(absolute_path "${!variable}")"
  fi
done
if [ -z "$root" ] || [ -z "$bits" ] || [ -z "$work" ] || [ $# -eq 0 ]; then
  echo "$label: nothing to compare (no scripts or missing options)"
  exit 2
fi
for program in "$native" "$compare" "$windows"; do
  if [ ! -x "$program" ] && [ ! -f "$program" ]; then
    echo "$label: $program is missing (build the default preset first)"
    exit 2
  fi
done
if [ "$bits" = 32 ] && ! why="$(wine_32bit_problem "$root")"; then
  echo "$wine_skip_32bit_prefix $why"
  exit 0
fi

trap wine_session_stop EXIT
wine_session_start "$root" "$bits"

# A run's folder: the script, the scene files beside it and those of --inputs.
prepare() {
  rm -rf "$1"
  mkdir -p "$1"
  cp "$2" "$1/"
  local scene
  for scene in "$(dirname "$2")"/*.json ${inputs:+"$inputs"/*}; do
    if [ -f "$scene" ]; then cp "$scene" "$1/"; fi
  done
}

scripts=0
runs=0
failed=()
rm -rf "$work"
for script in "$@"; do
  script="$(absolute_path "$script")"
  name="$(basename "$script")"
  case_dir="$work/$(basename "$(dirname "$script")")-${name%.vrk}"
  prepare "$case_dir/native" "$script"
  prepare "$case_dir/windows" "$script"
  inputs_list="$(cd "$case_dir/native" && ls)"

  native_status=0
  (cd "$case_dir/native" &&
     timeout -k 5 60 "$native" play --json "$name" >../native.out 2>../native.err) ||
    native_status=$?
  windows_status=0
  (cd "$case_dir/windows" &&
     wine_session_run 120 "$windows" play --json "$name" >../windows.out 2>../windows.err) ||
    windows_status=$?

  problems=()
  # 0: done, 2: bad input; anything else (a crash, the time limit) proves nothing.
  if [ "$native_status" -ne 0 ] && [ "$native_status" -ne 2 ]; then
    problems+=("the native run ended with status $native_status")
  fi
  if [ "$native_status" -ne "$windows_status" ]; then
    problems+=("exit status: native $native_status, windows $windows_status")
  fi
  if ! report=$("$compare" "$case_dir/native.out" "$case_dir/windows.out"); then
    problems+=("report:"$'\n'"$report")
  fi
  if ! errors=$("$compare" "$case_dir/native.err" "$case_dir/windows.err"); then
    problems+=("error output:"$'\n'"$errors")
  fi
  # Files a script saved: every new file in the native folder must be in the Windows one.
  for saved in "$case_dir/native"/*; do
    file="$(basename "$saved")"
    if grep -qxF "$file" <<<"$inputs_list"; then continue; fi
    if [ ! -f "$case_dir/windows/$file" ]; then
      problems+=("saved file $file: not written by the Windows runner")
    elif ! same=$("$compare" "$saved" "$case_dir/windows/$file"); then
      problems+=("saved file $file:"$'\n'"$same")
    fi
  done
  for saved in "$case_dir/windows"/*; do
    file="$(basename "$saved")"
    if [ ! -e "$case_dir/native/$file" ]; then
      problems+=("saved file $file: written by the Windows runner only")
    fi
  done

  scripts=$((scripts + 1))
  count="$(sed -n 's/^identical: \([0-9]*\) runs$/\1/p' <<<"${report:-}")"
  if [ ${#problems[@]} -eq 0 ]; then
    runs=$((runs + count))
    echo "  same     $name  ($count runs, exit status $native_status)"
  else
    failed+=("$name")
    echo "  DIFFERS  $name"
    for problem in "${problems[@]}"; do
      sed 's/^/    /' <<<"$problem"
    done
    echo "    (outputs in $case_dir)"
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "$label: ${#failed[@]} of $scripts scripts differ: ${failed[*]}"
  exit 1
fi
if [ "$runs" -eq 0 ]; then
  echo "$label: $scripts scripts but no tool run to compare"
  exit 1
fi
echo "$label: $scripts scripts, $runs runs identical"
