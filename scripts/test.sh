#!/usr/bin/env bash
# Set up, build and run the whole test suite: the plain build, then ThreadSanitizer on
# the threaded suites, then AddressSanitizer + UBSan on everything, then (as root) the
# plain build again in a Debian 13 root (scripts/debian13.sh).
# --plain: the plain build alone, as the Debian 13 leg runs it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
plain_only=
[ "${1:-}" = --plain ] && plain_only=1
bash scripts/setup.sh

jobs=$(nproc)
# A compiler cache (where ccache is installed) that a clone in another folder hits too.
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
# Suites whose tests run painter threads against the GUI thread.
threaded_labels='engine|panel|host|platform'

build() { # dir, extra cmake args...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    ninja -C "$dir" ${targets:-}
}

leg_start=$SECONDS
leg() { # name: the time since the last leg's end
    echo "== $1: $((SECONDS - leg_start)) s"
    leg_start=$SECONDS
}

echo "== plain build ($(. /etc/os-release && echo "$PRETTY_NAME"))"
build build
ctest --test-dir build --output-on-failure -j "$jobs"
leg "plain"
[ -z "$plain_only" ] || exit 0

echo "== ThreadSanitizer"
# Only what those suites run: the build is most of this step's time.
targets="ystrelo engine_tests panel_tests host_tests platform_tests" \
    build build-tsan -DYSTRELO_SANITIZE=thread -DCMAKE_BUILD_TYPE=RelWithDebInfo
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 print_suppressions=0 suppressions=$root/tests/tsan.supp" \
    ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L "$threaded_labels"
leg "ThreadSanitizer"

echo "== AddressSanitizer + UBSan"
build build-asan -DYSTRELO_SANITIZE=address -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
leg "AddressSanitizer + UBSan"

echo "== Debian 13"
bash scripts/debian13.sh
