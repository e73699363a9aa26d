#!/usr/bin/env bash
# End to end: the window's style. The classic Windows style is the default,
# and a style the user names, with -style or QT_STYLE_OVERRIDE, is used
# instead. Compares pictures of the window: started plainly it must look as
# with -style Windows, and with -style Fusion as with QT_STYLE_OVERRIDE=Fusion,
# and not as with the Windows style.
#   bash tests/e2e/style.sh PROGRAM
set -euo pipefail
program="$(realpath "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/xserver.sh"
start_xserver
cd "$work"

# A picture of the window of the program started with these arguments.
picture() { # name [VARIABLE=value] -- [arguments]
    local name="$1" assignments=()
    shift
    while [ "$1" != "--" ]; do assignments+=("$1"); shift; done
    shift
    env QT_QPA_PLATFORM=xcb "${assignments[@]}" "$program" "$@" &
    local app=$!
    stop_on_exit "$app"
    local window
    window="$(timeout 20 xdotool search --sync --onlyvisible --pid "$app" | head -n 1)"
    sleep 1
    xwd -silent -id "$window" | tail -c +200 > "$name.xwd"
    kill "$app"
    wait "$app" 2>/dev/null || true
}
picture plain --
picture windows -- -style Windows
picture fusion -- -style Fusion
picture override QT_STYLE_OVERRIDE=Fusion --

failed=0
same() { cmp -s "$1.xwd" "$2.xwd"; }
if same plain windows; then echo "ok:   plainly started, it uses the Windows style"; else echo "FAIL: the default is not the Windows style"; failed=1; fi
if same fusion override; then echo "ok:   -style and QT_STYLE_OVERRIDE choose alike"; else echo "FAIL: -style Fusion and QT_STYLE_OVERRIDE=Fusion differ"; failed=1; fi
if ! same fusion windows; then echo "ok:   -style Fusion is used instead of the default"; else echo "FAIL: -style Fusion was overridden"; failed=1; fi
exit "$failed"
