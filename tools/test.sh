#!/usr/bin/env bash
# Builds NAPKIT, its test programs and test savers, and runs every test under
# Wine on a private X display. Extra arguments go to ctest (e.g. -R tray).
# The build tested is the one tools/arch.sh chooses (NAPKIT_ARCH forces one);
# the shipped 32-bit NAPKIT.EXE is built and checked on every host.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/arch.sh
. "$root/tools/arch.sh"

bash "$root/tools/setup.sh" >/dev/null
napkit_select_arch || exit 1
echo "test: $NAPKIT_ARCH_REASON is tested"
build=$(napkit_build_dir "$NAPKIT_ARCH")
mkdir -p "$build"

# The session (the prefix copied, the display, the desktop's shell) starts
# while the programs are built; a failed build still waits for it to stop it.
session=""
trap '[ -z "$session" ] || wait "$session" || true; bash "$root/tools/session.sh" stop "$build"' EXIT
bash "$root/tools/session.sh" start "$build" --private-display &
session=$!
if [ "$NAPKIT_ARCH" != x86 ]; then
  napkit_build x86 napkit
fi
napkit_build "$NAPKIT_ARCH"
wait "$session"
cd "$build"
ctest --output-on-failure "$@"
