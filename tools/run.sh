#!/usr/bin/env bash
# Builds NAPKIT and starts it under Wine in BUILD/demo, a folder whose
# saverbox holds the demo screen saver. With a display ($DISPLAY) NAPKIT runs
# there until you choose 終了(X) from its tray menu. Without one it runs on a
# private Xvfb: a screenshot of the desktop, and one with the tray menu open
# (and one with each submenu open), are written to build/screenshots/ and
# NAPKIT is closed again. The run fails unless the screenshots show the
# desktop, NAPKIT's tray icon and its menu. The build is the one
# tools/arch.sh chooses for this host.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/arch.sh
. "$root/tools/arch.sh"

bash "$root/tools/setup.sh" >/dev/null
napkit_select_arch || exit 1
echo "run: $NAPKIT_ARCH_REASON runs"
build=$(napkit_build_dir "$NAPKIT_ARCH")
napkit_build "$NAPKIT_ARCH" napkit demosaver >/dev/null

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

fail() {
  echo "run: $1" >&2
  exit 1
}
shots=${NAPKIT_BUILD_DIR:-$root/build}/screenshots
mkdir -p "$shots"
shot() { import -display "$DISPLAY" -window root "$1"; }
# Pixels that differ between two pictures, in the given region (WxH+X+Y).
changed_pixels() {
  convert "$1" -crop "$3" +repage "$shots/.a.png"
  convert "$2" -crop "$3" +repage "$shots/.b.png"
  compare -metric AE "$shots/.a.png" "$shots/.b.png" null: 2>&1 | cut -d' ' -f1 || true
  rm -f "$shots/.a.png" "$shots/.b.png"
}
# A screenshot of a display where Wine never drew anything is one colour.
colours() { convert "$1" -format '%k' info:; }
# The tray strip of the virtual desktop, where NAPKIT's icon is the first.
TRAY_REGION=64x32+0+16

before=$shots/no-napkit.png
for _ in $(seq 40); do
  shot "$before"
  [ "$(colours "$before")" -gt 1 ] && break
  sleep 0.5
done
[ "$(colours "$before")" -gt 1 ] || fail "the Wine desktop never appeared on $DISPLAY (the screenshot is one colour): Wine did not start"

(cd "$demo" && exec timeout 120 "$NAPKIT_WINE" "$build/NAPKIT.EXE" >/dev/null 2>&1) &
napkit_pid=$!
icon=0
for _ in $(seq 40); do
  sleep 0.5
  kill -0 "$napkit_pid" 2>/dev/null || fail "NAPKIT ended at start, before its tray icon appeared"
  shot "$shots/desktop.png"
  if [ "$(changed_pixels "$before" "$shots/desktop.png" "$TRAY_REGION")" -gt 20 ]; then
    icon=1
    break
  fi
done
[ $icon = 1 ] || fail "NAPKIT's tray icon did not appear within 20 s"

bash "$root/tools/screenshots.sh" "$build" "$shots"
# The menu opens at the icon and reaches well below and to the right of it.
menu=$(changed_pixels "$shots/desktop.png" "$shots/tray-menu.png" 160x200+0+32)
[ "$menu" -gt 2000 ] || fail "the tray menu did not open (only $menu pixels changed where it shows)"
for _ in $(seq 40); do
  kill -0 "$napkit_pid" 2>/dev/null || break
  sleep 0.25
done
kill -0 "$napkit_pid" 2>/dev/null && fail "NAPKIT did not end after 終了(X) was chosen from its menu"
rm -f "$before"
echo "run: NAPKIT ran on a private X display, showed its tray icon and menu, and ended from the menu;"
echo "run: screenshots: $shots/desktop.png $shots/tray-menu.png $shots/tray-menu-*.png"
