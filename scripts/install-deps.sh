#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Only what is missing is installed; as root directly, otherwise through sudo.
set -euo pipefail

packages=(
    cmake g++ make                       # build tools
    qt6-base-dev qt6-base-dev-tools      # Qt 6 Core, Gui, Widgets, Test, uic and moc
    qt6-qpa-plugins libgl-dev            # platform plugins; the GL headers Qt's CMake files want
    fonts-ipafont-gothic                 # IPAPGothic, metric-compatible stand-in for the designed font
    xvfb xauth xdotool x11-utils         # end-to-end test: a headless X server and real pointer input
    clang-14 libclang-rt-14-dev          # libFuzzer targets
    clang-tidy-14                        # static checks
    dpkg-dev lintian desktop-file-utils  # the Debian package: dependencies, checks
    libx11-dev libxtst-dev               # the start-up benchmark's harness
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
((${#missing[@]})) || exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
