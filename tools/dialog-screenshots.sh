#!/usr/bin/env bash
# Screenshots of NAPKIT's dialogs in the Wine session of BUILD_DIR:
#   tools/dialog-screenshots.sh BUILD_DIR OUT_DIR
# Starts NAPKIT.EXE in BUILD_DIR/dialog-demo (its saverbox holds the demo
# saver), opens each dialog with the command its menu item sends, captures
# the virtual desktop cropped to the dialog and closes the dialog again
# without changes: dialog-about.png, dialog-minutes.png, dialog-wait.png,
# dialog-settings.png. NAPKIT is closed at the end and SYSTEM.INI of the
# session's prefix is put back as it was.
# The session must run (tools/session.sh start BUILD_DIR).
#
# The dialogs ask for the 9-point font "ＭＳ Ｐゴシック". Wine has no such font
# and on its own falls back to the fixed-pitch IPAGothic, whose wider Latin
# letters and kana cut many texts short. For the shots the face is mapped to
# IPAPGothic, the proportional IPA face and the nearest to it, for this run
# only (NAPKIT_DIALOG_FONT names another face; empty leaves Wine's choice).
set -euo pipefail
build=$(cd "${1:?build dir}" && pwd)
out=${2:?output dir}
mkdir -p "$out"
out=$(cd "$out" && pwd)
# shellcheck disable=SC1091
. "$build/session.env"

demo=$build/dialog-demo
helper=$build/dialog-shot-helper.exe
system_ini=$WINEPREFIX/drive_c/windows/system.ini
backup=$build/dialog-demo-system.ini

# A small Windows program that drives the running NAPKIT from outside:
#   open ID   posts WM_COMMAND ID to NAPKIT's window, waits for the dialog it
#             owns to show and prints the dialog's rectangle "x y w h"
#   close     closes that dialog as its system close command would (no change)
#   exit      posts the exit command
cat > "$build/dialog-shot-helper.c" <<'C'
#include <windows.h>
#include <stdio.h>
#include <string.h>

static HWND napkit;
static HWND found;

static BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM unused)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "#32770") == 0 && GetWindow(window, GW_OWNER) == napkit
        && IsWindowVisible(window)) {
        found = window;
        return FALSE;
    }
    return TRUE;
}

static HWND WaitForDialog(void)
{
    for (int i = 0; i < 100; ++i) {
        found = NULL;
        EnumWindows(FindOwnedDialog, 0);
        if (found)
            return found;
        Sleep(50);
    }
    return NULL;
}

int main(int argc, char** argv)
{
    for (int i = 0; i < 100 && !napkit; ++i) {
        napkit = FindWindowA("NAPKIT", "NAPKIT");
        if (!napkit)
            Sleep(100);
    }
    if (!napkit || argc < 2) {
        fprintf(stderr, "dialog-shot-helper: NAPKIT is not running\n");
        return 1;
    }
    if (strcmp(argv[1], "open") == 0 && argc > 2) {
        PostMessageA(napkit, WM_COMMAND, (WPARAM)atoi(argv[2]), 0);
        HWND dialog = WaitForDialog();
        if (!dialog) {
            fprintf(stderr, "dialog-shot-helper: no dialog for command %s\n", argv[2]);
            return 1;
        }
        RECT rect;
        GetWindowRect(dialog, &rect);
        printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top);
        return 0;
    }
    if (strcmp(argv[1], "close") == 0) {
        HWND dialog = WaitForDialog();
        if (dialog)
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        return dialog ? 0 : 1;
    }
    if (strcmp(argv[1], "exit") == 0) {
        PostMessageA(napkit, WM_COMMAND, 42060, 0);
        return 0;
    }
    return 1;
}
C
"$NAPKIT_TRIPLE-gcc" -O2 -s -o "$helper" "$build/dialog-shot-helper.c"

mkdir -p "$demo/saverbox"
cp "$build/savers/logsaver.scr" "$demo/saverbox/DEMO.SCR"
cp "$system_ini" "$backup"
font_key='HKCU\Software\Wine\Fonts\Replacements'
font_face='ＭＳ Ｐゴシック'
font=${NAPKIT_DIALOG_FONT-IPAPGothic}
had_key=0
wine reg query "$font_key" >/dev/null 2>&1 && had_key=1
old_font=$(wine reg query "$font_key" /v "$font_face" 2>/dev/null | awk '/REG_SZ/ {print $NF}' | tr -d '\r' || true)
restore() {
  wine "$helper" exit >/dev/null 2>&1 || true
  sleep 1
  cp "$backup" "$system_ini"
  rm -f "$backup"
  if [ -n "$old_font" ]; then
    wine reg add "$font_key" /v "$font_face" /d "$old_font" /f >/dev/null 2>&1 || true
  elif [ $had_key = 1 ]; then
    wine reg delete "$font_key" /v "$font_face" /f >/dev/null 2>&1 || true
  else
    wine reg delete "$font_key" /f >/dev/null 2>&1 || true
  fi
}
trap restore EXIT
if [ -n "$font" ]; then
  wine reg add "$font_key" /v "$font_face" /d "$font" /f >/dev/null
fi
# Without a configured saver NAPKIT quietly picks the demo saver.
sed -i '/^SCRNSAVE\.EXE=/Id' "$system_ini"

(cd "$demo" && timeout 300 wine "$build/NAPKIT.EXE" >/dev/null 2>&1 &)
sleep 3

# Dialog rectangles are desktop coordinates; the desktop's own window may sit
# anywhere on the X screen.
read -r desktop_x desktop_y < <(xwininfo -display "$DISPLAY" -name "napkit - Wine desktop" |
  awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4} END {print x, y}')
# shot NAME COMMAND: the dialog that COMMAND opens, cropped, then closed.
shot() {
  local geometry x y w h
  geometry=$(wine "$helper" open "$2" | tr -d '\r')
  read -r x y w h <<<"$geometry"
  sleep 1   # painted
  import -display "$DISPLAY" -window root \
    -crop "${w}x${h}+$((desktop_x + x))+$((desktop_y + y))" +repage "$out/$1.png"
  wine "$helper" close
  sleep 0.5
  echo "$out/$1.png: ${w}x${h}"
}

shot dialog-about 42050      # バージョン情報(A)
shot dialog-minutes 40200    # 待ち時間 > 任意
shot dialog-wait 42020       # ウエイト設定
shot dialog-settings 42040   # 設定
