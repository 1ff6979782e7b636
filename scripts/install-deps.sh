#!/usr/bin/env bash
# Installs what building and testing need. Idempotent: does nothing when all is present.
set -euo pipefail

packages=(g++ clang libclang-rt-14-dev cmake ninja-build pkg-config libcrypto++-dev zlib1g-dev libglib2.0-dev
          libedit-dev libzxcvbn-dev
          googletest libgtest-dev libgmock-dev openssl
          qt6-base-dev qt6-svg-dev qt6-wayland qt6-gtk-platformtheme qt6-xdgdesktopportal-platformtheme
          desktop-file-utils appstream shared-mime-info libglib2.0-bin libxml2-utils python3
          python3-gi gir1.2-nautilus-4.0
          dpkg-dev file
          groff-base mandoc zsh fish
          g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
