#!/usr/bin/env bash
# Builds NAPKIT and starts it under Wine in build/demo, a folder whose
# saverbox holds the demo screen saver. With a display ($DISPLAY) NAPKIT runs
# there until you choose 終了(X) from its tray menu. Without one it runs on a
# private Xvfb: a screenshot of the desktop, and one with the tray menu open,
# are written to build/screenshots/ and NAPKIT is closed again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NAPKIT_BUILD_DIR:-$root/build}

bash "$root/tools/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)" --target napkit demosaver

demo=$build/demo
mkdir -p "$demo/saverbox"
cp "$build/savers/demosaver.scr" "$demo/saverbox/DEMO.SCR"

headless=0
[ -z "${DISPLAY:-}" ] && headless=1
trap 'bash "$root/tools/session.sh" stop "$build"' EXIT
bash "$root/tools/session.sh" start "$build"
# shellcheck disable=SC1091
. "$build/session.env"

if [ $headless = 0 ]; then
  echo "NAPKIT runs in the Wine desktop on $DISPLAY; its icon is in the tray at the top left."
  (cd "$demo" && wine "$build/NAPKIT.EXE")
  exit 0
fi

shots=$build/screenshots
mkdir -p "$shots"
(cd "$demo" && timeout 120 wine "$build/NAPKIT.EXE" >/dev/null 2>&1 &)
sleep 4
import -display "$DISPLAY" -window root "$shots/desktop.png"
bash "$root/tools/screenshots.sh" "$build" "$shots"
echo "NAPKIT ran on a private X display; screenshots: $shots/desktop.png $shots/tray-menu.png"
