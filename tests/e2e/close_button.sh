#!/usr/bin/env bash
# End to end: the built program on an X server of its own, in a directory of
# its own, driven with real pointer input. It steps both times, picks a radio
# button and presses the close button; the settings file must then hold
# exactly what was chosen, and the program must have exited with status 0.
set -euo pipefail
program="$(realpath "$1")"

source "$(dirname "$0")/xserver.sh"
start_xserver

cd "$work"
printf '08:00\r\n17:00\r\nnoikkai\r\nhyoji2\r\nhyoji1\r\n' > showflst.dat

QT_QPA_PLATFORM=xcb "$program" &
app=$!
stop_on_exit "$app"
window="$(timeout 20 xdotool search --sync --onlyvisible --name '自動表示設定' | head -n 1)"
sleep 0.5

# Points inside the window's client area, from the layout: the up-downs stand
# at (81, 32) and (169, 32), 16 x 20 each.
click() { # x y button [repeat]
    xdotool mousemove --window "$window" "$1" "$2" click --repeat "${4:-1}" --delay 150 "$3"
    sleep 0.3
}
click 89 36 1          # from-time up arrow, left: 08:01
click 89 47 3          # from-time down arrow, right: an hour forward, 09:01
click 177 36 1 2       # to-time up arrow, double click: two steps, 17:02
click 60 296 1         # never, for the holdings check result file
click 282 339 1        # 閉じる

status=0
timeout 20 tail --pid="$app" -f /dev/null || { echo "the program did not exit"; exit 1; }
wait "$app" || status=$?

expected="$(printf '09:01\r\n17:02\r\nnoikkai\r\nhyoji2\r\nnohyoji\r\n' | od -An -c)"
actual="$(od -An -c showflst.dat)"
if [ "$status" -ne 0 ]; then
    echo "exit status $status, expected 0"
    exit 1
fi
if [ "$actual" != "$expected" ]; then
    echo "showflst.dat holds:"; echo "$actual"; echo "expected:"; echo "$expected"
    exit 1
fi
echo "close button saved exactly what was chosen; exit status 0"
