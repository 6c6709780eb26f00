#!/usr/bin/env bash
# Installs everything replica needs to build, test and run on Debian 12.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils
    qt6-base-dev qt6-base-dev-tools libgl-dev
    qt6-translations-l10n
    libgtest-dev libgmock-dev googletest
    # The package and its checks: dpkg-shlibdeps, man -l, systemd-analyze
    # verify, logrotate, lintian.
    dpkg-dev man-db groff-base systemd logrotate lintian
    # The fault suite runs a Firebird server of its own (the program of this
    # package, with a private configuration and port); the fuzz targets need
    # clang and its libFuzzer runtime.
    firebird3.0-server clang libclang-rt-14-dev
    # The format and tidy checks (scripts/format.sh, scripts/tidy.sh), in
    # the version their settings (.clang-format, .clang-tidy) were made with.
    clang-format-14 clang-tidy-14
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "These packages are missing: ${missing[*]}" >&2
        echo "Run this script as root (or with sudo) to install them." >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # Installing the Firebird server package starts the machine's own server
    # where services can start; nothing here needs it, and where they cannot
    # (a container) its start would fail the installation. Services are kept
    # from starting while apt runs, unless the machine already has a policy.
    policy=/usr/sbin/policy-rc.d
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' >"$policy"
        chmod 755 "$policy"
        trap 'rm -f "$policy"' EXIT
    fi
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
