#!/usr/bin/env bash
# Checks the Debian package: lintian finds no error or warning, apt can
# resolve its dependencies here, the desktop entry and the AppStream metainfo
# are valid, and the program the entry starts passes the end-to-end tests
# from the unpacked package. As root, where the package is not installed
# already, it is then installed for real: AppStream must list it, the
# installed program must pass the end-to-end tests (its context menu and its
# error causes Japanese under an English locale among them), and it is
# removed again.
#   bash tests/package/check_package.sh build-deb/showflst_VERSION_amd64.deb
set -euo pipefail
deb="$(realpath "$1")"
top="$(cd "$(dirname "$0")/../.." && pwd)"
root="$(mktemp -d)"
installed=false
cleanup() {
    rm -rf "$root"
    if $installed; then apt-get purge -y -qq showflst >/dev/null || true; fi
}
trap cleanup EXIT

end_to_end() { # program
    for test in close_button assistive_technology style command_line; do
        echo "-- $test"
        bash "$top/tests/e2e/$test.sh" "$1"
    done
}

echo "== lintian"
lintian --fail-on error,warning "$deb"

echo "== dependencies"
apt-get install --simulate --quiet "$deb" >/dev/null

echo "== contents"
dpkg-deb -x "$deb" "$root"
entries=("$root"/usr/share/applications/*.desktop)
[ "${#entries[@]}" -eq 1 ] || { echo "expected one desktop entry: ${entries[*]}"; exit 1; }
entry="${entries[0]}"
id="$(basename "$entry" .desktop)"
desktop-file-validate "$entry"
for file in usr/share/icons/hicolor/32x32/apps/showflst.png usr/share/icons/hicolor/128x128/apps/showflst.png \
            usr/share/man/man1/showflst.1.gz usr/share/doc/showflst/copyright "usr/share/metainfo/$id.metainfo.xml"; do
    [ -s "$root/$file" ] || { echo "missing: $file"; exit 1; }
done

echo "== AppStream"
appstreamcli validate --pedantic --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
appstreamcli validate-tree --pedantic --no-net "$root"

echo "== the program the menu entry starts, unpacked"
command="$(sed -n 's/^Exec=//p' "$entry")"
end_to_end "$(PATH="$root/usr/bin" command -v "$command")"

echo "== installed"
if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: installing the package needs root"
    exit 0
fi
if dpkg-query -W -f='${Status}' showflst 2>/dev/null | grep -q 'install ok installed'; then
    echo "skipped: showflst is installed on this machine already, and stays as it is"
    exit 0
fi
installed=true
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
appstreamcli refresh-cache --force >/dev/null
appstreamcli get "$id" | tee "$root/listed"
grep -q "^Identifier: $id " "$root/listed"
end_to_end "/usr/bin/$command"
