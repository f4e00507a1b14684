#!/usr/bin/env bash
# The shipped NAPKIT.EXE as Windows 9x and NT 4.0 load it: a stripped PE32 for
# i386, GUI subsystem 4.0, importing only the four system DLLs (no C runtime),
# within 44 KiB, with a manifest that asks for no common controls it does not
# load.
#   tests/shipped_exe_test.sh PATH/NAPKIT.EXE
set -u
exe=${1:?NAPKIT.EXE}
failures=0
fail() {
  echo "FAILED: $1"
  failures=$((failures + 1))
}

[ -f "$exe" ] || { echo "FAILED: $exe was not built"; exit 1; }
dump=$(i686-w64-mingw32-objdump -p "$exe" 2>&1)
# A header field's value, without the words objdump adds after a tab.
header() { printf '%s\n' "$dump" | sed -n "s/^$1[[:space:]]\{1,\}\([^[:space:]]*\).*/\1/p" | head -n 1; }

size=$(stat -c %s "$exe")
[ "$size" -le 45056 ] || fail "expected at most 45056 bytes (44 KiB), found $size"
printf '%s\n' "$dump" | grep -q 'file format pei-i386' \
  || fail "expected a PE32 image for i386 (pei-i386)"
[ "$(header Subsystem)" = 00000002 ] \
  || fail "expected the Windows GUI subsystem, found $(header Subsystem)"
[ "$(header MajorSubsystemVersion)" = 4 ] && [ "$(header MinorSubsystemVersion)" = 0 ] \
  || fail "expected subsystem version 4.0, found $(header MajorSubsystemVersion).$(header MinorSubsystemVersion)"
printf '%s\n' "$dump" | grep -q 'symbols stripped' \
  || fail "expected a stripped program (no symbol table)"
dlls=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | paste -sd' ')
[ "$dlls" = "ADVAPI32.DLL KERNEL32.DLL SHELL32.DLL USER32.DLL" ] \
  || fail "expected imports of ADVAPI32 KERNEL32 SHELL32 USER32 only (no C runtime), found: $dlls"
# The manifest is stored as text: common controls 6 may be asked for only by a
# program that loads them, or every dialog fails to open on Windows XP.
grep -aq '<assembly' "$exe" || fail "expected an application manifest"
! grep -aq 'Microsoft.Windows.Common-Controls' "$exe" \
  || fail "expected no common-controls dependency in the manifest of a program that does not import COMCTL32"

if [ $failures -gt 0 ]; then
  echo "$exe: $failures check(s) failed"
  exit 1
fi
echo "$exe: $size bytes, PE32 i386, GUI 4.0, stripped, imports $dlls"
