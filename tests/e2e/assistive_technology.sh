#!/usr/bin/env bash
# End to end: the program on an X server of its own, walked by a real
# assistive-technology client over AT-SPI on a session bus of its own, under
# an English locale (see assistive_technology.py).
#   bash tests/e2e/assistive_technology.sh PROGRAM
set -euo pipefail
program="$(realpath "$1")"
here="$(cd "$(dirname "$0")" && pwd)"

source "$here/xserver.sh"
start_xserver
# Debian's own Python, which has the AT-SPI bindings.
dbus-run-session -- /usr/bin/python3 "$here/assistive_technology.py" "$program" "$work" 2> >(grep -vE \
    'dbus-daemon|SpiRegistry|XDG_RUNTIME_DIR' >&2)
