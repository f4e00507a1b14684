#!/usr/bin/env bash
# Installs what building and testing NAPKIT needs on Debian 12: the MinGW-w64
# cross compilers, Wine for the build this host runs (tools/arch.sh: 32-bit
# Wine where the host runs 32-bit code, 64-bit Wine where it runs 64-bit code
# only), Xvfb, the Japanese locale and fonts, GoogleTest sources. Idempotent:
# only what is missing is installed. Prints the chosen build in one line.
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
for p in $NAPKIT_ARCH_PACKAGES cmake make xvfb xauth x11-utils imagemagick xdotool \
         locales fonts-ipafont-gothic googletest python3 zip unzip; do
  have "$p" || need_pkgs+=("$p")
done

if [ ${#need_pkgs[@]} -gt 0 ]; then
  echo "setup: installing ${need_pkgs[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
echo "setup: ready ($NAPKIT_ARCH_REASON)"
