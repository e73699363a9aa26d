#!/usr/bin/env bash
# Builds showflst and the empty-window baseline in one release tree
# (build-bench/), starts an X server of its own and measures both, run
# alternately.
#   bash bench/run.sh [runs]     (default 15)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-15}"

bash scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSHOWFLST_BENCH=ON >/dev/null
cmake --build build-bench --parallel "$(nproc)" --target showflst bench_empty_window startup_bench

work="$(mktemp -d)"
xvfb=""
trap '[ -n "$xvfb" ] && kill "$xvfb"; rm -rf "$work"' EXIT
for n in $(seq 90 190); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY="$display"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# Both programs look up the same caches; one unmeasured start of each fills them.
build-bench/bench/startup_bench 1 "$work" "empty window=$PWD/build-bench/bench/bench_empty_window" \
    "showflst=$PWD/build-bench/showflst" >/dev/null
rm -f "$work/showflst.dat"
build-bench/bench/startup_bench "$runs" "$work" "empty window=$PWD/build-bench/bench/bench_empty_window" \
    "showflst=$PWD/build-bench/showflst"
