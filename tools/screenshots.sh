#!/usr/bin/env bash
# Screenshots of a running NAPKIT in the Wine session of BUILD_DIR:
#   tools/screenshots.sh BUILD_DIR OUT_DIR
# Opens the tray menu with a right click on the icon, then each submenu by
# resting the mouse on its item, writing tray-menu.png and tray-menu-<n>.png, and finally
# closes NAPKIT through 終了(X).
set -euo pipefail
build=$(cd "${1:?build dir}" && pwd)
out=${2:?output dir}
mkdir -p "$out"
# shellcheck disable=SC1091
. "$build/session.env"
# The virtual desktop's tray strip sits at the top left; NAPKIT's is the
# first icon in it.
ICON_X=${NAPKIT_ICON_X:-12}
ICON_Y=${NAPKIT_ICON_Y:-32}

shot() { sleep 0.7; import -display "$DISPLAY" -window root "$out/$1.png"; }

# Rows of the pop-up items, in pixels below the menu's top-left corner
# (which is the cursor position) with the IPA Gothic menu font.
ITEM_X=60
declare -A ROWS=([start]=20 [saver]=54 [state]=80 [timeout]=97 [dblclick]=114)
EXIT_ROW=201

open_menu() {
  xdotool key Escape Escape; sleep 0.3
  xdotool mousemove "$ICON_X" "$ICON_Y" click 3; sleep 0.6
}

open_menu
shot tray-menu
for name in start saver state timeout dblclick; do
  open_menu
  # Resting on a pop-up item opens its submenu.
  xdotool mousemove $((ICON_X + ITEM_X)) $((ICON_Y + ROWS[$name])); sleep 0.3
  xdotool mousemove $((ICON_X + ITEM_X + 2)) $((ICON_Y + ROWS[$name]))
  shot "tray-menu-$name"
done
open_menu
xdotool mousemove $((ICON_X + ITEM_X)) $((ICON_Y + EXIT_ROW)) click 1
sleep 1
