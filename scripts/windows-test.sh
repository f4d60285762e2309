#!/usr/bin/env bash
# Builds the 64-bit and 32-bit Windows Vorrik.p and vorrik.exe with MinGW-w64, checks the
# DLLs' export and import tables, and runs the Windows runner under Wine against the native
# one. Installs the Debian packages it needs first (as root or with sudo). Where this machine
# cannot execute 32-bit programs, the 32-bit Wine runs are skipped, and say why; the 32-bit
# builds and their tables are still checked. Its summary goes to build/logs/windows.summary.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

packages=(g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 wine wine64)
missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "windows-test: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The 32-bit runs need Debian's 32-bit Wine loader, from the i386 architecture (~170 MB).
# Whether it can run is found out by running it, later: a kernel without 32-bit support
# installs it and then refuses to execute it, and a failed install only costs those runs.
if ! installed wine32:i386; then
  echo "windows-test: installing wine32:i386 for the 32-bit runs"
  if ! { dpkg --print-foreign-architectures | grep -qx i386 ||
           "${sudo_cmd[@]}" dpkg --add-architecture i386; } ||
     ! "${sudo_cmd[@]}" apt-get update -qq ||
     ! "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
  then
    echo "windows-test: wine32:i386 could not be installed"
  fi
fi
installs_done=$SECONDS

source tests/wine/wine_session.sh
if why="$(wine_32bit_problem build/wine)"; then
  echo "windows-test: 32-bit Windows programs run under Wine here"
else
  echo "windows-test: the 32-bit Wine runs will be skipped: $why"
fi

# The native runner, and the comparer for its reports.
cmake --preset default >/dev/null
cmake --build --preset default --target vorrik vorrik_compare_reports

mkdir -p build/logs
summary=build/logs/windows.summary
: >"$summary"
status=0
for preset in windows-x64 windows-x86; do
  echo "windows-test: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  log="build/logs/$preset.log"
  # Every Wine call inside has its own limit; this one is a backstop.
  timeout -k 10 1200 ctest --preset "$preset" 2>&1 | tee "$log" || status=1
  scripts/ctest-summary.sh "$preset" "$log" >>"$summary" || status=1
done

# The path of a machine that cannot execute 32-bit programs, taken on this one too.
echo "windows-test: the same checks as on a machine without 32-bit programs"
tests/wine/check_without_32bit.sh >>"$summary" || status=1

echo
echo "windows-test: results"
cat "$summary"
echo "windows-test: $((SECONDS - installs_done)) s for the builds and checks" \
     "($((installs_done - started)) s for packages)"
if [ $status -ne 0 ]; then
  echo "windows-test: FAILED (details above and in build/logs)"
  exit 1
fi
