#!/usr/bin/env bash
# End to end: what the program answers on its command line, and how it ends
# where there is no display. None of it needs a display.
#   bash tests/e2e/command_line.sh PROGRAM
set -euo pipefail
program="$(realpath "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/xserver.sh"
failed=0
check() { # what, then a command that must succeed
    local what="$1"; shift
    if "$@"; then echo "ok:   $what"; else echo "FAIL: $what"; failed=1; fi
}
# Runs the program without any display; sets status, out and err.
run_without_display() {
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" "$program" "${arguments[@]}" \
        >"$work/out" 2>"$work/err" </dev/null || status=$?
    out="$(cat "$work/out")"
    err="$(cat "$work/err")"
}

arguments=(--help)
run_without_display
check "--help exits 0" [ "$status" -eq 0 ]
check "--help tells of the settings file" grep -q 'showflst.dat' "$work/out"
check "--help tells of the keys that step the times" grep -q 'Page Up' "$work/out"
check "--help names both options" grep -q -e '--help' -e '--version' "$work/out"

arguments=(-h)
run_without_display
check "-h is --help" [ "$status" -eq 0 -a "$(head -n 1 "$work/out")" = "使い方: showflst [--help] [--version]" ]

arguments=(--version)
run_without_display
check "--version exits 0" [ "$status" -eq 0 ]
check "--version prints the name and version" grep -qxE 'showflst [0-9]+\.[0-9]+\.[0-9]+' "$work/out"

# No display, one that cannot be reached, and a Wayland one that is not there
# (in a session, which always has a runtime directory).
free_display=""
for n in $(seq 150 250); do
    [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ] && { free_display=":$n"; break; }
done
arguments=(--some-argument-it-ignores)
for case in "none" "DISPLAY=$free_display" "QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY=nowhere XDG_RUNTIME_DIR=$work"; do
    if [ "$case" = none ]; then run_without_display; else read -ra assignments <<<"$case"; run_without_display "${assignments[@]}"; fi
    check "no display ($case): exit status 1, no abort" [ "$status" -eq 1 ]
    check "no display ($case): one line, in Japanese and English" \
        [ "$(wc -l <"$work/err")" -eq 1 -a -z "$out" ]
    check "no display ($case): it says so" grep -q -e '画面に接続できません' -e 'cannot connect to a display' "$work/err"
done
exit "$failed"
