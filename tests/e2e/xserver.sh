# Sourced by the end-to-end tests: an X server of the test's own on a free
# display, and a work directory, both removed when the test ends.
#   start_xserver            sets DISPLAY; the server runs until the test exits
#   $work                    an empty directory of the test's own
#   stop_on_exit PID         that process is killed when the test exits

work="$(mktemp -d)"
xvfb=""
stopped_on_exit=()
end_test() {
    for pid in "${stopped_on_exit[@]}"; do kill "$pid" 2>/dev/null || true; done
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap end_test EXIT

stop_on_exit() { stopped_on_exit+=("$1"); }

start_xserver() {
    local n display=""
    for n in $(seq 90 190); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            display=":$n"
            break
        fi
    done
    [ -n "$display" ] || { echo "no free X display"; exit 1; }
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY="$display"
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && return; sleep 0.1; done
    echo "the X server did not start"; exit 1
}
