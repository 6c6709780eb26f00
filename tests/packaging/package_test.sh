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
    echo "FAIL: cpack could not build the package" >&2
    exit 1
}
deb="$(ls "$tmp"/out/*.deb)"

# What it holds.
dpkg-deb --contents "$deb" | awk '{print $6}' >"$tmp/contents"
for path in ./usr/bin/replica ./usr/lib/systemd/system/replica@.service \
    ./usr/share/man/man1/replica.1.gz ./etc/logrotate.d/replica \
    ./usr/share/doc/replica/examples/replica.conf ./usr/share/doc/replica/README.md; do
    grep -qxF "$path" "$tmp/contents" || fail "the package lacks $path"
done
dpkg-deb --info "$deb" conffiles | grep -qxF /etc/logrotate.d/replica ||
    fail "/etc/logrotate.d/replica is not a conffile"

# Runtime libraries only: the Firebird client and Qt 6 Widgets among them,
# no development package, nothing that is not a library.
depends="$(dpkg-deb --field "$deb" Depends)"
echo "Depends: $depends"
for lib in libfbclient2 libqt6widgets6; do
    grep -qE "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib"
done
while read -r name; do
    case "$name" in
    lib*-dev) fail "Depends names a development package: $name" ;;
    lib*) ;;
    *) fail "Depends names something that is not a library: $name" ;;
    esac
done < <(tr ',' '\n' <<<"$depends" | awk '{print $1}')

root="$tmp/root"
dpkg-deb -x "$deb" "$root"

# The unit starts the program the package installs.
unit="$root/usr/lib/systemd/system/replica@.service"
program="$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")"
[ -x "$root$program" ] || fail "ExecStart names $program, which the package does not install"

# A configuration error stops the retries, a missing settings file keeps the
# instance from starting, and no core dump can keep the password.
for setting in RestartPreventExitStatus=6 LimitCORE=0 'ConditionPathExists=/etc/replica/%i.conf'; do
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
