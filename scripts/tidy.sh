#!/usr/bin/env bash
# Runs clang-tidy 14 with the checks of .clang-tidy over the sources of
# engine/, families/, app/, screens/ and demo/ (or only the given files),
# with the compile commands of build/ (configured here as scripts/test.sh
# configures it; nothing needs to be built). Prints every finding and fails
# when there is one.
#
#   scripts/tidy.sh [FILE...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh"

build="$here/build"
files=()
for f in "$@"; do
    files+=("$(realpath "$f")")
done
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
if [ ${#files[@]} -eq 0 ]; then
    # The translation units of those folders, as the build compiles them
    # (not the sources CMake generates under build/).
    while IFS= read -r f; do
        files+=("$f")
    done < <(sed -n 's/^ *"file": "\(.*\)",\?$/\1/p' "$build/compile_commands.json" |
        grep -E "^$here/(engine|families|app|screens|demo)/" | sort -u)
fi

logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT
# One log per file, so that parallel runs do not mix their lines; a run
# that fails (a file that does not compile) is a finding of its own. The
# build is configured for GCC: clang does not know some of its warning
# options.
printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -I{} sh -c '
    log="$3/$(echo "$2" | tr / _).log"
    clang-tidy-14 -p "$1" --quiet --extra-arg=-Wno-unknown-warning-option "$2" >"$log" 2>&1 ||
        echo "$2:1:1: error: clang-tidy ended with status $?" >>"$log"' _ "$build" {} "$logs"

# A finding in a header shows in every file that includes it: once is enough.
findings="$(cat "$logs"/*.log | grep -E '^[^ ].*:[0-9]+:[0-9]+: (warning|error):' |
    sed "s|^$here/||" | sort -u || true)"
if [ -n "$findings" ]; then
    cat "$logs"/*.log | grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' >&2 || true
    echo >&2
    echo "tidy: $(printf '%s\n' "$findings" | wc -l) findings in ${#files[@]} files:" >&2
    printf '%s\n' "$findings" >&2
    exit 1
fi
echo "tidy: ${#files[@]} files, no findings"
