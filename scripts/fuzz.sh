#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each one for a bounded time from its
# committed seed corpus (fuzz/corpus/<target>/). New inputs go to a scratch
# copy, so the committed corpus only changes by hand. A finding stops the
# script with its input saved under build-fuzz/findings/; it then belongs in
# a regression test (and its input in the seed corpus).
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]    (default 25, all)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh"

seconds="${1:-25}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_serverlist fuzz_joinedcode fuzz_aputilcrpt fuzz_quote fuzz_xls
             fuzz_parameterize fuzz_tableafterfrom fuzz_lockdate fuzz_commandline)
fi

build="$here/build-fuzz"
# -O1 with line tables: what libFuzzer is meant to run with, and quicker to
# build than an optimised build.
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DREPLICA_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" >/dev/null
ninja -C "$build" -j"$(nproc)" "${targets[@]}"

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
findings="$build/findings"
mkdir -p "$findings"
for target in "${targets[@]}"; do
    name="${target#fuzz_}"
    seeds="$here/fuzz/corpus/$name"
    scratch="$build/corpus/$name"
    rm -rf "$scratch"
    mkdir -p "$scratch"
    echo "== $target: ${seconds}s from $(find "$seeds" -type f | wc -l) seeds"
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$findings/$target-" -print_final_stats=1 \
        "$scratch" "$seeds" 2>"$build/$target.log" ||
        { tail -n 60 "$build/$target.log" >&2; echo "$target: finding in $findings" >&2; exit 1; }
    grep -E "^stat::number_of_executed_units|^Done" "$build/$target.log" || true
done
