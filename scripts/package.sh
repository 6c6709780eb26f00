#!/usr/bin/env bash
# Builds the Debian packages of replica (fresh Debian 12, as root;
# idempotent): a release build of the programs in build-package/, with
# Debian's hardening flags and without -Werror, then the .deb there:
# replica (the console program, the service, the man page, the logrotate
# rule and the documents), which links no toolkit, and replica-window (the
# main screen), which depends on it.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh"

build="$here/build-package"
# Stack protector, fortified functions, read-only relocations bound at
# start-up (BIND_NOW), position-independent code; -O2 as Debian builds.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-DNDEBUG" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DREPLICA_WERROR=OFF -DREPLICA_BENCH=OFF >/dev/null
# Only what the packages hold; the tests are not needed for them.
ninja -C "$build" -j"$(nproc)" replica replica-window replica_manpage replica_changelog

# The flags reached the programs: a package without them is not made.
for program in "$build/app/replica" "$build/app/replica-window"; do
    # Read whole first: grep -q stops reading early, which pipefail counts.
    dynamic="$(readelf -d "$program")"
    symbols="$(readelf --dyn-syms -W "$program")"
    grep -qE 'FLAGS.*\bNOW\b' <<<"$dynamic" || {
        echo "$program is not linked with BIND_NOW" >&2
        exit 1
    }
    grep -q '__stack_chk_fail' <<<"$symbols" || {
        echo "$program has no stack protector" >&2
        exit 1
    }
    grep -qE '__[a-z]+_chk@' <<<"$symbols" || {
        echo "$program has no fortified functions" >&2
        exit 1
    }
done
(cd "$build" && cpack -G DEB)
ls "$build"/*.deb
