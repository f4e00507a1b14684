#!/usr/bin/env bash
# Builds NAPKIT, its test programs and test savers, and runs every test under
# Wine on a private X display. Extra arguments go to ctest (e.g. -R Tray).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${NAPKIT_BUILD_DIR:-$root/build}

bash "$root/tools/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)"

trap 'bash "$root/tools/session.sh" stop "$build"' EXIT
bash "$root/tools/session.sh" start "$build" --private-display
cd "$build"
ctest --output-on-failure "$@"
