#!/usr/bin/env bash
# Checks the Debian package: lintian finds no error or warning, apt can
# resolve its dependencies here, the desktop entry is valid, and the program
# the entry starts runs from the unpacked package and saves with its close
# button (the end-to-end test, on the packaged binary).
#   bash tests/package/check_package.sh build-deb/showflst_VERSION_amd64.deb
set -euo pipefail
deb="$(realpath "$1")"
top="$(cd "$(dirname "$0")/../.." && pwd)"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT

echo "== lintian"
lintian --fail-on error,warning "$deb"

echo "== dependencies"
apt-get install --simulate --quiet "$deb" >/dev/null

echo "== contents"
dpkg-deb -x "$deb" "$root"
entry="$root/usr/share/applications/showflst.desktop"
desktop-file-validate "$entry"
for file in usr/share/icons/hicolor/32x32/apps/showflst.png usr/share/icons/hicolor/128x128/apps/showflst.png \
            usr/share/man/man1/showflst.1.gz usr/share/doc/showflst/copyright; do
    [ -s "$root/$file" ] || { echo "missing: $file"; exit 1; }
done

echo "== the program the menu entry starts"
command="$(sed -n 's/^Exec=//p' "$entry")"
program="$(PATH="$root/usr/bin" command -v "$command")"
bash "$top/tests/e2e/close_button.sh" "$program"
