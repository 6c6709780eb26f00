#!/usr/bin/env bash
# Formats the project's own C++ sources (the tracked and new .cpp and .h
# files, not the build folders) with clang-format 14 in the style of
# .clang-format, in place. With --check nothing changes: the files that are
# not formatted are listed and the script fails. Given files, only those.
#
#   scripts/format.sh [--check] [FILE...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh"

check=0
if [ "${1:-}" = "--check" ]; then
    check=1
    shift
fi
# Version 14 by name: other versions lay some constructs out differently.
format=clang-format-14
files=()
for f in "$@"; do
    files+=("$(realpath "$f")")
done
cd "$here"
if [ ${#files[@]} -eq 0 ]; then
    while IFS= read -r f; do
        [ -f "$f" ] && files+=("$f")
    done < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
fi

if [ "$check" -eq 0 ]; then
    "$format" -i "${files[@]}"
    exit 0
fi
unformatted=()
for f in "${files[@]}"; do
    if ! "$format" "$f" | cmp -s - "$f"; then
        unformatted+=("$f")
    fi
done
if [ ${#unformatted[@]} -gt 0 ]; then
    echo "Not formatted (scripts/format.sh formats them):" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi
echo "format: all ${#files[@]} files formatted"
