#!/usr/bin/env bash
# Builds the Debian package of replica (fresh Debian 12, as root; idempotent):
# a release build of the program in build-package/, then the .deb there.
# The package holds the program, its man page, the systemd template unit
# replica@.service, the logrotate rule and the documents, and depends on
# runtime libraries only.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/setup.sh"

build="$here/build-package"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# Only what the package holds; the tests are not needed for it.
ninja -C "$build" -j"$(nproc)" replica replica_manpage
(cd "$build" && cpack -G DEB)
ls "$build"/*.deb
