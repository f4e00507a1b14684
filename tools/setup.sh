#!/usr/bin/env bash
# Installs what building and testing NAPKIT needs on Debian 12: CMake, Ninja,
# the MinGW-w64 cross compilers, Wine for the build this host runs
# (tools/arch.sh: 32-bit Wine where the host runs 32-bit code, 64-bit Wine
# where it runs 64-bit code only), Xvfb, the Japanese locale and fonts,
# GoogleTest sources, and the new Wine prefix that each build's own starts
# as. Idempotent: only what is missing is installed or made. Prints the
# chosen build in one line.
set -euo pipefail
# shellcheck source=tools/arch.sh
. "$(dirname "$0")/arch.sh"
napkit_select_arch || exit 1

need_pkgs=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

if [ "$NAPKIT_ARCH" = x86 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

# shellcheck disable=SC2086
for p in $NAPKIT_ARCH_PACKAGES cmake make ninja-build xvfb xauth x11-utils imagemagick xdotool \
         locales fonts-ipafont-gothic googletest python3 zip unzip; do
  have "$p" || need_pkgs+=("$p")
done

if [ ${#need_pkgs[@]} -gt 0 ]; then
  echo "setup: installing ${need_pkgs[*]}"
  # A source list this machine's owner switched off by renaming it (such as
  # "x.list.disabled-by-admin") makes apt print a notice at every call; apt
  # is told to skip such names silently, as it does "x.list.disabled".
  quiet=(-o 'Dir::Ignore-Files-Silently::=\.disabled')
  $SUDO apt-get update -qq "${quiet[@]}"
  # debconf pre-configures packages with a program of apt-utils; while that is
  # missing it warns, at every install, that it delays the configuration. So
  # apt-utils comes first, alone, with that one warning (about itself) off.
  # env, not a prefix: sudo would drop the variables.
  if ! have apt-utils; then
    $SUDO env DEBIAN_FRONTEND=noninteractive DEBCONF_NOWARNINGS=yes \
      apt-get install -y -qq --no-install-recommends "${quiet[@]}" apt-utils >/dev/null
  fi
  $SUDO env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${quiet[@]}" "${need_pkgs[@]}" >/dev/null
fi

# The Japanese locale gets a folder of its own, not a place in the locale
# archive: a process reads the archive once, so a shell started before the
# locale was made (tools/run.sh, which runs this script and then sources the
# session's settings) could never switch to it from the archive, and
# locale-gen rebuilds the whole archive under every running program.
# (grep reads the whole list: under pipefail an early exit of grep -q can end
# locale with SIGPIPE and look like a missing locale.)
if ! locale -a 2>/dev/null | grep -i '^ja_JP\.utf-\?8$' >/dev/null; then
  $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO localedef --no-archive -i ja_JP -c -f UTF-8 ja_JP.UTF-8
fi
napkit_make_prefix_template
echo "setup: ready ($NAPKIT_ARCH_REASON)"
