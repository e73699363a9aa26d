#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Only what is missing is installed; as root directly, otherwise through sudo.
set -euo pipefail

packages=(
    cmake g++ make                       # build tools
    qt6-base-dev qt6-base-dev-tools      # Qt 6 Core, Gui, Widgets, Test, uic and moc
    qt6-qpa-plugins libgl-dev            # platform plugins; the GL headers Qt's CMake files want
    fonts-ipafont-gothic                 # IPAPGothic, metric-compatible stand-in for the designed font
    qt6-translations-l10n                # Qt's own texts in Japanese
    locales libc-l10n                    # the ja_JP.UTF-8 locale and the C library's Japanese messages
    xvfb xauth xdotool x11-utils x11-apps  # end-to-end tests: a headless X server, real input, pictures
    dbus at-spi2-core python3-pyatspi    # end-to-end test: an assistive-technology client over AT-SPI
    clang-14 libclang-rt-14-dev          # libFuzzer targets
    clang-tidy-14                        # static checks
    dpkg-dev lintian desktop-file-utils appstream  # the Debian package: dependencies, checks
    libx11-dev libxtst-dev               # the start-up benchmark's harness
)

# The tests run under the Japanese locale's messages and an English locale.
locales=(ja_JP.UTF-8 en_US.UTF-8)

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    "${as_root[@]}" apt-get update
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

for locale in "${locales[@]}"; do
    if ! locale -a | grep -qix "${locale/UTF-8/utf8}"; then
        echo "Generating the locale $locale"
        "${as_root[@]}" localedef -i "${locale%%.*}" -f UTF-8 "$locale"
    fi
done
