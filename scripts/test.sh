#!/usr/bin/env bash
# Set up, build and run the whole test suite: the plain build, then ThreadSanitizer on
# the threaded suites, then AddressSanitizer + UBSan on everything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

jobs=$(nproc)
# Suites whose tests run painter threads against the GUI thread.
threaded_labels='engine|panel|host|platform'

build() { # dir, extra cmake args...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    ninja -C "$dir" ${targets:-}
}

echo "== plain build"
build build
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== ThreadSanitizer"
# Only what those suites run: the build is most of this step's time.
targets="ystrelo engine_tests panel_tests host_tests platform_tests" \
    build build-tsan -DYSTRELO_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 print_suppressions=0 suppressions=$root/tests/tsan.supp" \
    ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L "$threaded_labels"

echo "== AddressSanitizer + UBSan"
build build-asan -DYSTRELO_SANITIZE=address -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
