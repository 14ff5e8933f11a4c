#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build and test Tolvo, skipping
# those already present. Usage: scripts/install-deps.sh [--gui-runtime]
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6opengl6-dev libgl-dev
    libcpp-httplib-dev libssl-dev
    qtkeychain-qt6-dev gnome-keyring dbus
    qt6-qpa-plugins fonts-dejavu-core
    nginx   # the relay's front door, run by its test
    libqt6sql6-sqlite
    # The launcher and metainfo validators, the Debian package (dpkg-shlibdeps
    # and the file type check of CPack), a private D-Bus session for the
    # desktop notification tests.
    desktop-file-utils appstream dpkg-dev file dbus-daemon
    libsodium-dev minisign clang-format
)
if [[ "${1:-}" == "--gui-runtime" ]]; then
    packages+=(qt6-wayland libqt6multimedia6)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
