# Sourced by every script: the one place that knows which build of NAPKIT
# this host runs and tests, and how Wine is started for it.
#
#   x86  the shipped 32-bit build: i686 MinGW-w64, 32-bit Wine, a win32 prefix
#   x64  the same sources for x86-64: x86_64 MinGW-w64, 64-bit Wine, a win64
#        prefix; for hosts that run 64-bit code only
#
# NAPKIT_ARCH=x86|x64 forces one; otherwise x86 where this host can execute
# 32-bit code, x64 where it cannot. After sourcing:
#   NAPKIT_ARCH            x86 or x64
#   NAPKIT_ARCH_REASON     one line: which build and why
#   NAPKIT_TOOLCHAIN       the CMake toolchain file of that build
#   NAPKIT_TRIPLE          its MinGW-w64 target (compilers are NAPKIT_TRIPLE-gcc...)
#   NAPKIT_WINEARCH        win32 or win64
#   NAPKIT_WINE            the Wine loader to start programs with
#   NAPKIT_WINESERVER      the Wine server of that loader
#   NAPKIT_ARCH_PACKAGES   the Debian packages this choice needs
# and napkit_toolchain ARCH names the toolchain file of either build (the
# release is always made with the x86 one).
#
# Debian's /usr/bin/wine is not used: it picks the 32-bit loader whenever that
# file exists, even on a host whose kernel refuses to run it.

napkit_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

napkit_toolchain() {
  case $1 in
    x86) echo "$napkit_root/cmake/mingw-i686.cmake" ;;
    x64) echo "$napkit_root/cmake/mingw-x86_64.cmake" ;;
  esac
}

# Whether the kernel runs 32-bit x86 programs: a 93-byte static i386 ELF that
# only calls exit(0) is executed. On a 64-bit-only kernel execve fails with
# ENOEXEC ("Exec format error"); no package is needed to find out.
napkit_host_runs_x86() {
  local probe status
  probe=$(mktemp "${TMPDIR:-/tmp}/napkit-i386-probe.XXXXXX") || return 1
  # ELF header (52 bytes), one program header (32 bytes), then
  # mov eax,1 / xor ebx,ebx / int 0x80.
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' > "$probe"
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >> "$probe"
  printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000' >> "$probe"
  printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >> "$probe"
  printf '\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000' >> "$probe"
  printf '\270\001\000\000\000\061\333\315\200' >> "$probe"
  chmod +x "$probe"
  "$probe" >/dev/null 2>&1
  status=$?
  rm -f "$probe"
  return $status
}

napkit_select_arch() {
  local runs_x86=0
  napkit_host_runs_x86 && runs_x86=1
  case ${NAPKIT_ARCH:-} in
    x86)
      if [ $runs_x86 = 0 ]; then
        echo "NAPKIT_ARCH=x86 cannot be used here: this host runs 64-bit code only, so 32-bit Wine cannot start (leave NAPKIT_ARCH unset, or set it to x64)." >&2
        return 1
      fi
      NAPKIT_ARCH_REASON="NAPKIT_ARCH=x86: the 32-bit build (i686)" ;;
    x64)
      NAPKIT_ARCH_REASON="NAPKIT_ARCH=x64: the x86-64 build" ;;
    "")
      if [ $runs_x86 = 1 ]; then
        NAPKIT_ARCH=x86
        NAPKIT_ARCH_REASON="this host runs 32-bit code: the shipped 32-bit build (i686)"
      else
        NAPKIT_ARCH=x64
        NAPKIT_ARCH_REASON="this host runs 64-bit code only: the x86-64 build"
      fi ;;
    *)
      echo "NAPKIT_ARCH must be x86 or x64, not '$NAPKIT_ARCH'." >&2
      return 1 ;;
  esac
  NAPKIT_TOOLCHAIN=$(napkit_toolchain "$NAPKIT_ARCH")
  # The i686 cross compiler is always needed: the shipped NAPKIT.EXE is
  # built and checked on every host.
  NAPKIT_ARCH_PACKAGES="g++-mingw-w64-i686"
  if [ "$NAPKIT_ARCH" = x86 ]; then
    NAPKIT_TRIPLE=i686-w64-mingw32
    NAPKIT_WINEARCH=win32
    NAPKIT_WINE=/usr/lib/wine/wine
    NAPKIT_ARCH_PACKAGES="$NAPKIT_ARCH_PACKAGES wine wine32:i386"
  else
    NAPKIT_TRIPLE=x86_64-w64-mingw32
    NAPKIT_WINEARCH=win64
    NAPKIT_WINE=/usr/lib/wine/wine64
    NAPKIT_ARCH_PACKAGES="$NAPKIT_ARCH_PACKAGES g++-mingw-w64-x86-64 wine wine64"
  fi
  NAPKIT_WINESERVER=/usr/lib/wine/wineserver64
  [ -x "$NAPKIT_WINESERVER" ] || NAPKIT_WINESERVER=/usr/lib/wine/wineserver32
  export NAPKIT_ARCH NAPKIT_ARCH_REASON NAPKIT_TOOLCHAIN NAPKIT_TRIPLE NAPKIT_WINEARCH NAPKIT_WINE \
         NAPKIT_WINESERVER NAPKIT_ARCH_PACKAGES
}

# The build folder of either build: BUILD/x86 or BUILD/x64, BUILD being
# NAPKIT_BUILD_DIR or build/ at the top of the work tree.
napkit_build_dir() {
  echo "${NAPKIT_BUILD_DIR:-$napkit_root/build}/$1"
}

# A new Wine prefix takes wineboot 10 to 20 s. tools/setup.sh makes one per
# user, Wine build and Wine version, and each build folder's prefix starts as
# a copy of it (tools/session.sh).
napkit_prefix_template() {
  local cache=${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/napkit version
  version=$("$NAPKIT_WINE" --version 2>/dev/null | tr -c 'A-Za-z0-9.\n-' _)
  echo "$cache/wineprefix-$NAPKIT_WINEARCH-${version:-unknown}"
}

# Makes that template unless it is there, without a display (the session's
# programs meet the display later); says so and fails when Wine cannot.
napkit_make_prefix_template() {
  local template new
  template=$(napkit_prefix_template)
  [ -f "$template/system.reg" ] && return 0
  new=$template.new.$$
  mkdir -p "$(dirname "$template")"
  (
    # The locale of the session: Wine sets up the fonts of its language.
    export WINEARCH=$NAPKIT_WINEARCH WINEPREFIX=$new WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
    unset DISPLAY
    timeout 300 "$NAPKIT_WINE" wineboot -i >/dev/null 2>&1 || true
    # Unmanaged windows: otherwise every window that is hidden or destroyed
    # waits two seconds for a window manager that the virtual desktop lacks.
    timeout 60 "$NAPKIT_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    # A crashing program must end (and fail its test), not wait in the crash
    # dialog with the test's output pipe held open.
    timeout 60 "$NAPKIT_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      >/dev/null 2>&1 || true
    timeout 60 "$NAPKIT_WINESERVER" -w || true
  )
  # Debian's Wine names the folder of this prefix's server in it: a copy
  # must get a folder of its own.
  rm -f "$new/wineserver"
  if [ ! -f "$new/system.reg" ]; then
    rm -rf "$new"
    echo "Wine could not create a prefix in $new" >&2
    return 1
  fi
  # Another run may have made it meanwhile: its copy is as good.
  mv -T "$new" "$template" 2>/dev/null || rm -rf "$new"
}

# Configures and builds targets of either build: napkit_build ARCH TARGET...
# (no target: everything). The x86 program is the one that ships.
napkit_build() {
  local arch=$1 dir
  shift
  dir=$(napkit_build_dir "$arch")
  # Ninja, which starts far fewer processes than make; a folder configured
  # before keeps the generator it has.
  local generator=()
  [ -f "$dir/CMakeCache.txt" ] || generator=(-G Ninja)
  cmake "${generator[@]}" -S "$napkit_root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$(napkit_toolchain "$arch")" \
        -DNAPKIT_SHIPPED_EXE="$(napkit_build_dir x86)/NAPKIT.EXE" >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build "$dir" -j"$(nproc)" --target "$@"
  else
    cmake --build "$dir" -j"$(nproc)"
  fi
}
