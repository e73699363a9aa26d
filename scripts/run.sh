#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it in the caller's
# current directory, where it reads and writes showflst.dat.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"

bash "$top/scripts/install-deps.sh"
cmake -S "$top" -B "$top/build"
cmake --build "$top/build" --parallel "$(nproc)" --target showflst
exec "$top/build/showflst"
