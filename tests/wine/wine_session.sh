# Sourced: one Wine session for the checks. Wine gets its own prefix, home and temporary
# folder under a root folder; one session holds the root at a time. The server is started
# before any program, with its output in a file: a server started by a program would keep
# that program's output pipes open after it ends. Every Wine call has a time limit.

wine_session_root=""

# wine_session_start ROOT: sets up the environment, takes the root's lock, starts the
# server and brings the prefix up (about 10 s the first time, under 2 s after).
wine_session_start() {
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
  if ! timeout -k 5 180 wineboot -i 9>&- </dev/null >"$wine_session_root/wineboot.log" 2>&1; then
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
  timeout -k 5 "$seconds" wine "$@" 9>&- </dev/null
}

# True when 32-bit Windows programs can run: Debian's wine32:i386 brings the 32-bit loader.
wine_has_32bit() {
  if command -v dpkg-query >/dev/null 2>&1; then
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"
  else
    [ -x /usr/lib/wine/wine ]
  fi
}

# absolute_path PATH: PATH from the current folder, for use after a cd.
absolute_path() {
  case "$1" in
    /*) echo "$1" ;;
    *) echo "$PWD/$1" ;;
  esac
}

wine_skip_32bit_line="skipping the 32-bit Wine run: wine32 not available"
