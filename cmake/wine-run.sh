#!/bin/sh
# Runs a Windows program under Wine: the cross-compiling emulator of the
# win32 build (cmake/mingw-i686.cmake).
#
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
#
# PREFIX is the Wine prefix (created here on first use, once, even when
# ctest starts several tests at the same time). Wine runs headless: no
# display, no Mono or Gecko installer, no debug chatter, so nothing pops up
# or waits for a window.
set -eu

if [ $# -lt 2 ]; then
  echo "usage: $0 PREFIX PROGRAM [ARGUMENTS...]" >&2
  exit 2
fi
prefix=$1
shift

WINEPREFIX=$prefix
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY
# Wine names the host's files in the character set of the locale it runs in:
# in the C locale (no LANG, as on a minimal system) a name beyond ASCII
# cannot be made at all. Outside a UTF-8 locale Wine runs in C.UTF-8, which
# every Debian has.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
  LC_ALL=C.UTF-8
  export LC_ALL
fi
# morvelin.dll is 32-bit: a 32-bit prefix is the smaller and faster one.
if [ ! -d "$prefix" ]; then
  WINEARCH=win32
  export WINEARCH
fi

mkdir -p "$(dirname "$prefix")"
if [ ! -f "$prefix/.morvelin-ready" ]; then
  (
    flock 9
    if [ ! -f "$prefix/.morvelin-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w || true
      if [ ! -f "$prefix/system.reg" ]; then
        echo "wine-run.sh: could not create the Wine prefix $prefix" >&2
        exit 1
      fi
      touch "$prefix/.morvelin-ready"
    fi
  ) 9>"$prefix.lock"
fi

# Wine's own background processes (wineserver, services.exe, explorer.exe)
# outlive the program by a few seconds and inherit its standard output and
# error: a caller that reads them through a pipe, as ctest does, would wait
# for those processes after every test. The program writes into a file
# instead, which is shown once the program has ended.
log=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
show_log() {
  cat "$log"
  rm -f "$log"
}
trap show_log EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
status=0
wine "$@" >"$log" 2>&1 || status=$?
# A Wine server that stops just as the program connects (it lingers only a
# few seconds after the last program) leaves the program unrun, with a
# "wine client error": it is started once more.
if [ "$status" -ne 0 ] && grep -q "^wine client error" "$log"; then
  status=0
  wine "$@" >"$log" 2>&1 || status=$?
fi
exit "$status"
