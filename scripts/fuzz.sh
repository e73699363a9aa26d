#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number
# of seconds (default 60). Starts from the seed corpus in fuzz/corpus, which
# it does not change; what it finds goes to build-fuzz/.
#   bash scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

bash scripts/install-deps.sh
cmake -S . -B build-fuzz -DSHOWFLST_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
cmake --build build-fuzz --parallel "$(nproc)"

for target in settings_file steptime; do
    work="build-fuzz/corpus/$target"
    mkdir -p "$work" build-fuzz/artifacts
    echo "== fuzz_$target for $seconds s"
    "build-fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix=build-fuzz/artifacts/ "$work" "fuzz/corpus/$target"
done
