#!/usr/bin/env bash
# Starts or stops the Wine session that NAPKIT runs and is tested in:
#   tools/session.sh start BUILD_DIR [--private-display]
#   tools/session.sh stop BUILD_DIR
# The session is a prefix under BUILD_DIR for the build that tools/arch.sh
# chose (win32 or win64), the Japanese locale (ANSI code page 932), an X
# display (the caller's, or a private Xvfb) and a Wine virtual desktop whose
# shell gives the tray. Its settings go to BUILD_DIR/session.env, which names
# the Wine loader for everything that runs in it; every process started here
# is ended by its own pid.
set -euo pipefail
# shellcheck source=tools/arch.sh
. "$(dirname "$0")/arch.sh"

cmd=${1:?start or stop}
build=$(cd "${2:?build dir}" && pwd)
envfile=$build/session.env
DESKTOP_SIZE=${NAPKIT_DESKTOP_SIZE:-1000x700}

stop_session() {
  [ -f "$envfile" ] || return 0
  # shellcheck disable=SC1090
  . "$envfile"
  [ -n "${NAPKIT_DESKTOP_PID:-}" ] && kill "$NAPKIT_DESKTOP_PID" 2>/dev/null || true
  if [ -n "${NAPKIT_WINESERVER_PID:-}" ]; then
    WINEPREFIX=$WINEPREFIX timeout 20 "$NAPKIT_WINESERVER" -k 2>/dev/null || true
    kill "$NAPKIT_WINESERVER_PID" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$NAPKIT_WINESERVER_PID" 2>/dev/null || break; sleep 0.1; done
  fi
  [ -n "${NAPKIT_XVFB_PID:-}" ] && kill "$NAPKIT_XVFB_PID" 2>/dev/null || true
  rm -f "$envfile"
}

# Starts a private Xvfb on the first display number it gets: sessions that
# start together may try the same number, and only the X server that wrote
# its pid into the number's lock file holds it. Sets DISPLAY and xvfb_pid.
start_private_display() {
  local n
  for n in $(seq 90 150); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      { [ -e "/tmp/.X11-unix/X$n" ] || ! kill -0 "$xvfb_pid" 2>/dev/null; } && break
      sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null && [ "$(tr -d ' \n' < "/tmp/.X$n-lock" 2>/dev/null)" = "$xvfb_pid" ]; then
      export DISPLAY=":$n"
      return
    fi
    kill "$xvfb_pid" 2>/dev/null || true
  done
  echo "session: no free X display" >&2
  exit 1
}

start_session() {
  stop_session
  napkit_select_arch || exit 1
  export WINEARCH=$NAPKIT_WINEARCH WINEPREFIX=$build/wineprefix WINEDEBUG=-all
  export WINELOADER=$NAPKIT_WINE WINESERVER=$NAPKIT_WINESERVER
  local wine=$NAPKIT_WINE server=$NAPKIT_WINESERVER
  export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  local xvfb_pid=""
  if [ -z "${DISPLAY:-}" ] || [ "${3:-}" = --private-display ]; then
    start_private_display
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    napkit_make_prefix_template || exit 1
    mkdir -p "$WINEPREFIX"
    cp -a "$(napkit_prefix_template)/." "$WINEPREFIX/"
  fi
  # A persistent server of our own, so that its pid is known and the
  # processes of one test run share it.
  "$server" -f -p >/dev/null 2>&1 &
  local server_pid=$!
  sleep 0.5
  "$wine" explorer "/desktop=napkit,$DESKTOP_SIZE" >/dev/null 2>&1 &
  local desktop_pid=$!
  cat > "$envfile" <<ENV
export WINEARCH=$WINEARCH WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all
export WINELOADER='$wine' WINESERVER='$server' NAPKIT_WINE='$wine' NAPKIT_WINESERVER='$server'
export NAPKIT_ARCH=$NAPKIT_ARCH NAPKIT_TRIPLE=$NAPKIT_TRIPLE
# Scripts that source this file start Windows programs with "wine": the
# loader of this session's build, never Debian's wrapper.
wine() { "\$NAPKIT_WINE" "\$@"; }
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 DISPLAY='$DISPLAY'
NAPKIT_XVFB_PID='$xvfb_pid'
NAPKIT_WINESERVER_PID='$server_pid'
NAPKIT_DESKTOP_PID='$desktop_pid'
ENV
  # The shell needs a moment before the tray accepts icons.
  sleep 2
}

case $cmd in
  start) start_session "$@" ;;
  stop) stop_session ;;
  *) echo "usage: $0 start|stop BUILD_DIR" >&2; exit 2 ;;
esac
