#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test
# headless. Fails when a test fails or when no test ran.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DSHOWFLST_WERROR=ON
cmake --build build --parallel "$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure --no-tests=error
