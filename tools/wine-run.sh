#!/usr/bin/env bash
# Runs a Windows program under the project's Wine session (tools/session.sh),
# with the Wine loader of the build that session was started for: ctest's
# emulator for the test programs. Every run has a timeout so that a stuck
# dialog cannot hang the suite.
set -u
if [ -z "${WINEPREFIX:-}" ] || [ -z "${NAPKIT_WINE:-}" ]; then
  dir=$PWD
  while [ "$dir" != / ] && [ ! -f "$dir/session.env" ]; do dir=$(dirname "$dir"); done
  if [ -f "$dir/session.env" ]; then
    # shellcheck disable=SC1091
    . "$dir/session.env"
  else
    echo "wine-run: no session.env found; start one with tools/session.sh start BUILD_DIR" >&2
    exit 2
  fi
fi
exec timeout --kill-after=10 "${NAPKIT_RUN_TIMEOUT:-300}" "$NAPKIT_WINE" "$@"
