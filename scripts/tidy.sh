#!/usr/bin/env bash
# Runs clang-tidy 14 with the checks of .clang-tidy over the sources of
# engine/, families/, app/, screens/ and demo/ (or only the given files),
# with the compile commands of build/ (configured here as scripts/test.sh
# configures it; nothing needs to be built). Prints every finding and fails
# when there is one, unless scripts/tidy-pending.txt lists its file and
# check.
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

# Findings listed in scripts/tidy-pending.txt (file and check) are reported
# but do not fail the run; an entry that no longer matches is pointed out.
pending="$here/scripts/tidy-pending.txt"
split="$(printf '%s\n' "$findings" | awk -v list="$pending" '
    BEGIN {
        while ((getline line < list) > 0) {
            sub(/#.*/, "", line)
            if (split(line, f, " ") == 2) { known[f[1] " " f[2]] = 0 }
        }
    }
    $0 == "" { next }
    {
        file = $0; sub(/:.*/, "", file)
        checks = $0; kind = "new"
        if (match(checks, /\[[a-z0-9.,-]+\]$/)) {
            n = split(substr(checks, RSTART + 1, RLENGTH - 2), c, ",")
            for (i = 1; i <= n; ++i) {
                if ((file " " c[i]) in known) { known[file " " c[i]]++; kind = "pending" }
            }
        }
        print kind "\t" $0
    }
    END { for (k in known) if (known[k] == 0) print "stale\t" k }')"
new="$(printf '%s\n' "$split" | sed -n 's/^new\t//p')"
waiting="$(printf '%s\n' "$split" | sed -n 's/^pending\t//p')"
stale="$(printf '%s\n' "$split" | sed -n 's/^stale\t//p' | sort)"

if [ -n "$waiting" ]; then
    echo "tidy: $(printf '%s\n' "$waiting" | wc -l) findings listed in scripts/tidy-pending.txt:"
    printf '%s\n' "$waiting"
fi
if [ -n "$stale" ] && [ $# -eq 0 ]; then
    echo "tidy: entries of scripts/tidy-pending.txt with no finding any more (remove them):"
    printf '%s\n' "$stale"
fi
if [ -n "$new" ]; then
    # The whole report of each file with a new finding: the notes and the
    # line of code under each one.
    for log in "$logs"/*.log; do
        if sed "s|^$here/||" "$log" | grep -qxF -f <(printf '%s\n' "$new"); then
            grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' "$log" >&2 || true
        fi
    done
    echo >&2
    echo "tidy: $(printf '%s\n' "$new" | wc -l) findings in ${#files[@]} files:" >&2
    printf '%s\n' "$new" >&2
    exit 1
fi
echo "tidy: ${#files[@]} files, no new findings"
