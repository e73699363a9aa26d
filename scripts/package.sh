#!/usr/bin/env bash
# Builds the Debian package in build-deb/, with Debian's hardening flags.
# Install it with:  sudo apt install ./build-deb/showflst_*_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build build-deb --parallel "$(nproc)" --target showflst install_files
(cd build-deb && cpack -G DEB)
ls build-deb/showflst_*.deb
