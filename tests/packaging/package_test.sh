#!/usr/bin/env bash
# The Debian package as an administrator receives it: what it holds, what
# it depends on, and that its unit, man page and logrotate rule are accepted
# by the tools that will read them.
#
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

(cd "$build" && cpack -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1) || {
    cat "$tmp/cpack.log" >&2
    echo "FAIL: cpack could not build the packages" >&2
    exit 1
}
deb="$(ls "$tmp"/out/replica_*.deb)"
window_deb="$(ls "$tmp"/out/replica-window_*.deb)"

# What they hold.
contents() { dpkg-deb --contents "$1" | awk '{print $6}'; }
contents "$deb" >"$tmp/contents"
for path in ./usr/bin/replica ./usr/lib/systemd/system/replica@.service \
    ./usr/share/man/man1/replica.1.gz ./etc/logrotate.d/replica \
    ./usr/share/doc/replica/examples/replica.conf ./usr/share/doc/replica/README.md \
    ./usr/share/bash-completion/completions/replica; do
    grep -qxF "$path" "$tmp/contents" || fail "the package lacks $path"
done
contents "$window_deb" >"$tmp/window-contents"
grep -qxF ./usr/libexec/replica/replica-window "$tmp/window-contents" ||
    fail "replica-window lacks the window program"
dpkg-deb --info "$deb" conffiles | grep -qxF /etc/logrotate.d/replica ||
    fail "/etc/logrotate.d/replica is not a conffile"

# Runtime libraries only, no development package, nothing that is not a
# library. The agent's are the Firebird client and little more: a service
# machine installs no toolkit; the window brings it and the agent.
only_libraries() {
    while read -r name; do
        case "$name" in
        lib*-dev) fail "$2 depends on a development package: $name" ;;
        lib*) ;;
        replica) [ "$2" = replica-window ] || fail "$2 depends on $name" ;;
        *) fail "$2 depends on something that is not a library: $name" ;;
        esac
    done < <(tr ',' '\n' <<<"$1" | awk '{print $1}')
}
depends="$(dpkg-deb --field "$deb" Depends)"
window_depends="$(dpkg-deb --field "$window_deb" Depends)"
echo "replica Depends: $depends"
echo "replica Recommends: $(dpkg-deb --field "$deb" Recommends)"
echo "replica Installed-Size: $(dpkg-deb --field "$deb" Installed-Size) kB"
echo "replica-window Depends: $window_depends"
grep -qE "(^|, )libfbclient2( |,|$)" <<<"$depends" || fail "replica does not depend on libfbclient2"
grep -qi "qt" <<<"$depends" && fail "replica depends on the toolkit: $depends"
grep -qxF firebird3.0-server-core <<<"$(dpkg-deb --field "$deb" Recommends)" ||
    fail "replica does not recommend the embedded engine"
for name in "replica (= $(dpkg-deb --field "$deb" Version))" libqt6widgets6; do
    grep -qF "$name" <<<"$window_depends" || fail "replica-window does not depend on $name"
done
only_libraries "$depends" replica
only_libraries "$window_depends" replica-window
if grep -qi 'NEEDED.*libQt' <<<"$(readelf -d "$build/app/replica")"; then
    fail "the console program links the toolkit"
fi

# lintian accepts them: errors fail the test, the rest is shown.
if command -v lintian >/dev/null; then
    lintian --allow-root --tag-display-limit 0 "$deb" "$window_deb" >"$tmp/lintian.log" 2>&1 || true
    cat "$tmp/lintian.log"
    if grep -q '^E: ' "$tmp/lintian.log"; then
        fail "lintian reports errors"
    fi
else
    echo "SKIP: lintian is not installed; the packages were not checked"
fi

root="$tmp/root"
dpkg-deb -x "$deb" "$root"

# The unit starts the program the package installs.
unit="$root/usr/lib/systemd/system/replica@.service"
program="$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")"
[ -x "$root$program" ] || fail "ExecStart names $program, which the package does not install"

# A configuration error stops the retries, a missing settings file keeps the
# instance from starting, and no core dump can keep the password.
for setting in RestartPreventExitStatus=6 LimitCORE=0 'ConditionPathExists=/etc/replica/%i.conf' \
    CapabilityBoundingSet= SystemCallFilter=@system-service MemoryDenyWriteExecute=yes \
    ProtectProc=invisible UMask=0027; do
    grep -qxF "$setting" "$unit" || fail "the unit lacks $setting"
done

if command -v systemd-analyze >/dev/null; then
    # The program is looked for where the unit says; point it at the
    # extracted one, and the man page reference at the extracted page.
    sed "s|^ExecStart=$program|ExecStart=$root$program|" "$unit" >"$tmp/replica@001.service"
    if ! MANPATH="$root/usr/share/man" systemd-analyze verify "$tmp/replica@001.service" \
        >"$tmp/verify.log" 2>&1 || [ -s "$tmp/verify.log" ]; then
        cat "$tmp/verify.log" >&2
        fail "systemd-analyze verify does not accept the unit"
    fi
else
    echo "SKIP: systemd-analyze is not installed; the unit was not verified"
fi

# The hardening measured as systemd measures it: exposure 2.0 at most.
if systemd-analyze security --help 2>/dev/null | grep -q -- --offline; then
    systemd-analyze security --offline=yes --threshold=20 "$tmp/replica@001.service" \
        >"$tmp/security.log" 2>&1 || {
        grep '✗' "$tmp/security.log" >&2
        fail "the unit's exposure is above 2.0"
    }
    tail -n 1 "$tmp/security.log"
else
    echo "SKIP: this systemd-analyze cannot measure a unit offline"
fi

# The maintainer scripts, as dpkg runs them in a throwaway root: a purge
# takes away the enablement links, the log files and the state of the
# instances, and keeps the administrator's settings and passwords.
fake="$tmp/installed"
mkdir -p "$fake/var/lib/dpkg/updates" "$fake/var/lib/dpkg/info"
touch "$fake/var/lib/dpkg/status"
dpkg_root() {
    dpkg --root="$fake" --force-script-chrootless --force-depends --force-not-root \
        --log=/dev/null "$@" >>"$tmp/dpkg.log" 2>&1
}
if dpkg_root -i "$deb"; then
    mkdir -p "$fake/etc/systemd/system/multi-user.target.wants" "$fake/var/log/private/replica/001" \
        "$fake/var/lib/private/replica/001"
    ln -s /usr/lib/systemd/system/replica@.service \
        "$fake/etc/systemd/system/multi-user.target.wants/replica@001.service"
    ln -s private/replica "$fake/var/log/replica"
    echo "REPLICA_SERVER=db:/srv/erp" >"$fake/etc/replica/001.conf"
    echo secret >"$fake/etc/replica/001.password"
    dpkg_root --purge replica || fail "dpkg --purge failed: $(tail -n 3 "$tmp/dpkg.log")"
    for gone in etc/systemd/system/multi-user.target.wants/replica@001.service var/log/replica \
        var/log/private/replica var/lib/private/replica usr/bin/replica; do
        [ ! -e "$fake/$gone" ] && [ ! -L "$fake/$gone" ] || fail "a purge leaves /$gone"
    done
    for kept in etc/replica/001.conf etc/replica/001.password; do
        [ -e "$fake/$kept" ] || fail "a purge removes the administrator's /$kept"
    done
else
    echo "SKIP: dpkg cannot install into a throwaway root: $(tail -n 1 "$tmp/dpkg.log")"
fi

# What the scripts ask of systemd, where it runs: systemctl and
# deb-systemd-invoke are stand-ins that record their arguments, and a
# private /run says that systemd is the init system.
stubs="$tmp/stubs"
mkdir -p "$stubs"
cat >"$stubs/systemctl" <<'STUB'
#!/bin/sh
echo "systemctl $*" >>"$CALLS"
case "$*" in
*--state=running*) echo "replica@001.service loaded active running Replication agent" ;;
*list-units*)
    echo "replica@001.service loaded active running Replication agent"
    echo "replica@002.service loaded inactive dead Replication agent"
    ;;
esac
STUB
printf '#!/bin/sh\necho "deb-systemd-invoke $*" >>"$CALLS"\n' >"$stubs/deb-systemd-invoke"
chmod +x "$stubs/systemctl" "$stubs/deb-systemd-invoke"
scripts="$tmp/control"
dpkg-deb --control "$deb" "$scripts"
run_script() { # script arguments...: the calls it makes, one a line
    : >"$tmp/calls"
    CALLS="$tmp/calls" PATH="$stubs:$PATH" unshare -m sh -c \
        'mount -t tmpfs none /run && mkdir -p /run/systemd/system && exec "$@"' sh "$@" ||
        echo "exit status $?" >>"$tmp/calls"
    grep -v list-units "$tmp/calls" || true
}
if unshare -m true 2>/dev/null; then
    expect_calls() { # what, expected calls, script arguments...
        local what="$1" expected="$2"
        shift 2
        [ "$(run_script "$@")" = "$expected" ] ||
            fail "$what: $(run_script "$@" | tr '\n' ';') instead of $(tr '\n' ';' <<<"$expected")"
    }
    expect_calls "an upgrade" "systemctl --system daemon-reload
deb-systemd-invoke restart replica@001.service" "$scripts/postinst" configure 0.0.9
    expect_calls "a first installation" "systemctl --system daemon-reload" \
        "$scripts/postinst" configure
    expect_calls "a removal" "deb-systemd-invoke stop replica@001.service
deb-systemd-invoke stop replica@002.service" "$scripts/prerm" remove
    expect_calls "the removal before an upgrade" "" "$scripts/prerm" upgrade 0.2.0
    expect_calls "after a removal" "systemctl --system daemon-reload" "$scripts/postrm" remove
else
    echo "SKIP: no private mount namespace here; the scripts' systemd calls were not checked"
fi

# The man page renders without warnings and lists every option of --help,
# each screen field among them.
page="$root/usr/share/man/man1/replica.1.gz"
LC_ALL=C.UTF-8 MANWIDTH=100 man --warnings -l "$page" >"$tmp/man.txt" 2>"$tmp/man.err" ||
    fail "man -l cannot render the page"
if [ -s "$tmp/man.err" ]; then
    cat "$tmp/man.err" >&2
    fail "the man page has warnings"
fi
grep -q "^NAME" "$tmp/man.txt" || fail "the rendered page has no NAME section"
# One line, blanks squeezed: a caption may be broken across lines.
tr -s ' \n' '  ' <"$tmp/man.txt" >"$tmp/man.flat"
"$build/app/replica" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u | while read -r option; do
    grep -qF -- "$option" "$tmp/man.flat" || echo "$option"
done >"$tmp/missing"
[ ! -s "$tmp/missing" ] || fail "the man page lacks $(tr '\n' ' ' <"$tmp/missing")"
for field in "Servidor :" "Usuario :" "Clave :" "Compañía Local:" "Prefijo a enviar:" \
    "Operaciones a traer:" "Operaciones a enviar:" "Frecuencia:" \
    "Enviar lo más reciente primero" "No reintentar errores" "Agencia:"; do
    grep -qF -- "$field" "$tmp/man.flat" || fail "the man page lacks the field $field"
done

# logrotate reads the rule.
if command -v logrotate >/dev/null; then
    if ! logrotate --debug --state "$tmp/logrotate.state" "$root/etc/logrotate.d/replica" \
        >"$tmp/logrotate.log" 2>&1 || grep -qi '^error' "$tmp/logrotate.log"; then
        cat "$tmp/logrotate.log" >&2
        fail "logrotate does not accept the rule"
    fi
else
    echo "SKIP: logrotate is not installed; the rule was not checked"
fi

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "package $(basename "$deb") checked"
