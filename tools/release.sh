#!/usr/bin/env bash
# Makes the release archive dist/NAPKIT-<version>.zip:
#   NAPKIT.EXE   the shipped 32-bit program, built here with the i686
#                toolchain on any host (build dir: BUILD/x86, BUILD being
#                NAPKIT_BUILD_DIR or build/): cross-compiling runs no 32-bit
#                code, so every host makes the same bytes
#   NAPKIT.INI   sample settings file: every key with its default and a
#                comment line (release/NAPKIT.INI)
#   NAPKIT.TXT   the user guide (release/NAPKIT.TXT)
#   SHA256SUMS   checksums of the three files above
# The texts are kept in UTF-8 with LF line ends in release/ and go into the
# archive in Shift-JIS (code page 932) with CR LF, as Windows expects them.
#
# The archive is reproducible: the same sources give the same bytes. The
# program is linked without a PE time stamp, and every archive entry has the
# same fixed time, attributes and order.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/arch.sh
. "$root/tools/arch.sh"
build=$(napkit_build_dir x86)
version=$(sed -n 's/^project(NAPKIT VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "release: no version in CMakeLists.txt" >&2; exit 1; }
dist=$root/dist
zip=$dist/NAPKIT-$version.zip

# The host's own Wine is not needed here, only the i686 cross compiler that
# setup installs on every host.
bash "$root/tools/setup.sh" >/dev/null
napkit_build x86 napkit >/dev/null

mkdir -p "$dist"
python3 - "$build/NAPKIT.EXE" "$root/release" "$zip" <<'PY'
import hashlib, sys, zipfile

exe_path, sources, zip_path = sys.argv[1:4]
# A fixed time for every entry (zip times have no time zone).
ENTRY_TIME = (2026, 1, 1, 0, 0, 0)
UNIX_FILE = 0o100644 << 16          # a regular file, rw-r--r--

def windows_text(name):
    text = open(f"{sources}/{name}", encoding="utf-8").read()
    lines = text.replace("\r\n", "\n").split("\n")
    # Strict: a character without a code in code page 932 stops the release.
    return "\r\n".join(lines).encode("cp932")

files = [
    ("NAPKIT.EXE", open(exe_path, "rb").read()),
    ("NAPKIT.INI", windows_text("NAPKIT.INI")),
    ("NAPKIT.TXT", windows_text("NAPKIT.TXT")),
]
sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in files)
files.append(("SHA256SUMS", sums.encode("ascii")))

with zipfile.ZipFile(zip_path, "w") as archive:
    for name, data in files:
        entry = zipfile.ZipInfo(name, date_time=ENTRY_TIME)
        entry.create_system = 3
        entry.external_attr = UNIX_FILE
        entry.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(entry, data, compresslevel=9)
PY

echo "release: $zip"
sha256sum "$zip"
