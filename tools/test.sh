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

# The session (the prefix copied, the display, the desktop's shell) starts,
# and the shipped 32-bit program builds, beside the build of the tested one
# (configuring a build leaves a core idle). An end for any reason waits for
# all three before the session is stopped.
trap 'wait; bash "$root/tools/session.sh" stop "$build"' EXIT
bash "$root/tools/session.sh" start "$build" --private-display &
session=$!
shipped=""
if [ "$NAPKIT_ARCH" != x86 ]; then
  napkit_build x86 napkit &
  shipped=$!
fi
napkit_build "$NAPKIT_ARCH"
[ -z "$shipped" ] || wait "$shipped"
wait "$session"
cd "$build"
ctest --output-on-failure "$@"
