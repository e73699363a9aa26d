#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test
# headless; then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, a bounded fuzzing run of each libFuzzer target,
# the Debian package's checks and clang-tidy. Fails when a test fails, when no
# test ran, or on any sanitizer report, fuzzer finding, package problem or
# clang-tidy warning.
#   bash scripts/test.sh           everything
#   bash scripts/test.sh --quick   the plain build and its tests only
set -euo pipefail
cd "$(dirname "$0")/.."
quick=false
[ "${1:-}" = "--quick" ] && quick=true

bash scripts/install-deps.sh
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

echo "== build and test"
cmake -S . -B build -DSHOWFLST_WERROR=ON -DSHOWFLST_BENCH=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
cmake --build build --parallel "$jobs"
ctest --test-dir build --output-on-failure --no-tests=error
$quick && exit 0

echo "== the same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -DSHOWFLST_WERROR=ON -DSHOWFLST_SANITIZE=ON
cmake --build build-sanitize --parallel "$jobs"
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure --no-tests=error

echo "== fuzzing"
bash scripts/fuzz.sh "${SHOWFLST_FUZZ_SECONDS:-30}"

echo "== the Debian package"
bash scripts/package.sh
bash tests/package/check_package.sh build-deb/showflst_*_amd64.deb

echo "== clang-tidy"
# Its count of the warnings it hid in system headers is noise.
quiet() { grep -vE '^[0-9]+ warnings? generated\.$' >&2 || true; }
git ls-files '*.cpp' | grep -v '^fuzz/' | xargs -r -P "$jobs" -n 4 clang-tidy-14 -p build --quiet 2> >(quiet)
git ls-files "fuzz/*.cpp" | xargs -r clang-tidy-14 -p build-fuzz --quiet 2> >(quiet)
echo "clang-tidy: no findings"
