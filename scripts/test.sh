#!/usr/bin/env bash
# Builds replica and runs every test suite on real Firebird databases (embedded
# engine, temporary folders; the fault suite also on a Firebird server it
# starts itself). With --sanitize the build and the tests run under
# AddressSanitizer and UndefinedBehaviorSanitizer, in a separate build folder,
# without the fault suite: its kills and freezes depend on timing, not on
# memory errors, and the plain pass has run it.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh"

build="$here/build"
# Line tables are enough for a failure's backtrace and halve the build's
# debug information.
extra=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")
skip=()
if [ "${1:-}" = "--sanitize" ]; then
    build="$here/build-sanitize"
    # -O1 is what the sanitizers are meant to run with; the benchmarks
    # measure nothing under them.
    extra=(-DREPLICA_SANITIZE=ON -DREPLICA_BENCH=OFF
           -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")
    skip=(-LE faults)
    # intercept_tls_get_addr=0: the leak checker of GCC 12's runtime follows
    # the thread-local blocks of libraries the Firebird client has already
    # unloaded at exit, and crashes on them.
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_odr_violation=0:intercept_tls_get_addr=0"
    export LSAN_OPTIONS="suppressions=$here/scripts/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$here/scripts/ubsan.supp"
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
ninja -C "$build" -j"$(nproc)"
cd "$build"
ctest --output-on-failure -j"$(nproc)" --timeout 600 "${skip[@]}"
