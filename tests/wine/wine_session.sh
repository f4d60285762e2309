# Sourced: one Wine session for the checks. Wine gets its own prefix, home and temporary
# folder under a root folder; one session holds the root at a time. The server is started
# before any program, with its output in a file: a server started by a program would keep
# that program's output pipes open after it ends. Every Wine call has a time limit.

wine_session_root=""

# Debian's Wine loaders. The `wine` command starts the 32-bit one first whenever it is
# installed, even for a 64-bit program, so 64-bit sessions call the 64-bit loader directly:
# they must work where the kernel cannot execute 32-bit programs at all.
wine_loader_64=/usr/lib/wine/wine64
wine_loader_32=/usr/lib/wine/wine
wine_session_command=()

# wine_session_start ROOT BITS: sets up the environment, takes the root's lock, starts the
# server and brings the prefix up (about 10 s the first time, under 2 s after) with the
# loader for BITS (64 or 32).
wine_session_start() {
  case "$2" in
    64)
      wine_session_command=("$wine_loader_64")
      # Programs Wine starts by itself (wineboot's helpers) take the same loader.
      export WINELOADER="$wine_loader_64"
      ;;
    32) wine_session_command=(wine) ;;
    *)
      echo "wine: no loader for $2-bit programs"
      return 1
      ;;
  esac
  mkdir -p "$1/prefix" "$1/home" "$1/tmp"
  # Wine takes absolute paths only.
  wine_session_root="$(cd "$1" && pwd)"
  export WINEPREFIX="$wine_session_root/prefix"
  export HOME="$wine_session_root/home"
  export TMPDIR="$wine_session_root/tmp"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=;winedbg.exe=d"
  unset DISPLAY WAYLAND_DISPLAY
  # The lock descriptor is closed for every Wine process, so a server left behind cannot
  # hold the lock.
  exec 9>"$wine_session_root/lock"
  if ! flock -w 600 9; then
    echo "wine: $wine_session_root is held by another session"
    return 1
  fi
  # Persistent for a minute after the last program: long enough for one session, and a
  # server left behind by a killed session ends by itself.
  if ! timeout -k 5 60 wineserver -p60 9>&- </dev/null >>"$wine_session_root/wineserver.log" 2>&1
  then
    echo "wine: wineserver did not start (see $wine_session_root/wineserver.log)"
    return 1
  fi
  if ! timeout -k 5 180 "${wine_session_command[@]}" wineboot -i 9>&- </dev/null \
       >"$wine_session_root/wineboot.log" 2>&1; then
    echo "wine: wineboot -i failed (see $wine_session_root/wineboot.log)"
    return 1
  fi
}

# wine_session_stop: ends the server and every Wine process of the prefix.
wine_session_stop() {
  [ -n "$wine_session_root" ] || return 0
  timeout -k 5 30 wineserver -k 9>&- </dev/null >/dev/null 2>&1 || true
  timeout -k 5 30 wineserver -w 9>&- </dev/null >/dev/null 2>&1 || true
  exec 9>&-
  wine_session_root=""
}

# wine_session_run SECONDS PROGRAM ARGS...: the caller redirects standard output and error.
wine_session_run() {
  local seconds="$1"
  shift
  timeout -k 5 "$seconds" "${wine_session_command[@]}" "$@" 9>&- </dev/null
}

# wine_32bit_problem ROOT: finds out by trying whether 32-bit Windows programs can run here.
# Prints nothing and succeeds when they can; otherwise prints why not, in one line, and
# fails. Tried is the 32-bit Wine loader, or VORRIK_32BIT_PROBE in its place when set (a
# program that stands in for the loader: one that cannot execute makes any machine take the
# path of one that cannot run 32-bit programs). Without a loader, a minimal 32-bit program
# written under ROOT tells a kernel that cannot execute such programs from a missing Wine.
wine_32bit_problem() {
  local probe="${VORRIK_32BIT_PROBE:-$wine_loader_32}"
  if [ -n "${VORRIK_32BIT_PROBE:-}" ] || [ -e "$probe" ]; then
    wine_execution_problem "$probe" --version
    return
  fi
  mkdir -p "$1"
  local program
  program="$(cd "$1" && pwd)/i386-exit-0"
  wine_write_i386_exit_0 "$program"
  wine_execution_problem "$program" || return 1
  echo "32-bit Wine is not installed: no $wine_loader_32 (Debian package wine32:i386)"
  return 1
}

# wine_execution_problem PROGRAM ARGS...: runs PROGRAM; succeeds when it ran and ended with
# status 0, else prints "this machine cannot execute 32-bit programs: " and what went wrong.
wine_execution_problem() {
  local output status=0
  # Run by bash itself: timeout or env would hand a refused binary to /bin/sh as a script.
  output="$("$@" </dev/null 2>&1)" || status=$?
  [ $status -ne 0 ] || return 0
  # Bash reports a refused executable as "SCRIPT: line N: PROGRAM: what happened"; the last
  # line of a program that started and failed says why.
  local why
  why="$(tail -n 1 <<<"$output")"
  case "$why" in
    *"$1: "*) why="${why#*"$1: "}" ;;
  esac
  if [ -z "$why" ]; then
    why="ended with status $status"
  fi
  echo "this machine cannot execute 32-bit programs: $1: $why"
  return 1
}

# wine_write_i386_exit_0 FILE: writes the smallest i386 Linux program, one that only calls
# exit(0): an ELF header, one loadable segment holding the whole file at 0x08048000, and
# the code at 0x08048054 (mov eax, 1; mov ebx, 0; int 0x80).
wine_write_i386_exit_0() {
  printf '%b' \
    '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
    '\x00\x00\x00\x00' \
    '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
    '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
    '\xb8\x01\x00\x00\x00\xbb\x00\x00\x00\x00\xcd\x80' >"$1"
  chmod +x "$1"
}

# absolute_path PATH: PATH from the current folder, for use after a cd.
absolute_path() {
  case "$1" in
    /*) echo "$1" ;;
    *) echo "$PWD/$1" ;;
  esac
}

# The first words of the line that reports a skipped 32-bit run, then why.
wine_skip_32bit_prefix="skipping the 32-bit Wine run:"
