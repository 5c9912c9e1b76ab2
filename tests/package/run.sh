#!/usr/bin/env bash
# The package test: builds the Debian package from this tree, installs it as a user does
# (apt-get install ./...deb), runs the hosts against the installed files (the test program
# given as $1), then purges the package and checks that none of its files is left.
# Exit 77 (skipped) where it cannot install: neither root nor sudo without a password, or
# a Ystrelo the test did not install is there already, which it must not replace.
set -uo pipefail
tests=$1
root=$(cd "$(dirname "$0")/../.." && pwd)

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
    if ! sudo -n true 2>/dev/null; then
        echo "skipped: installing a package needs root or sudo without a password"
        exit 77
    fi
    SUDO=(sudo -n)
fi
if dpkg-query -W -f='${Status}' ystrelo 2>/dev/null | grep -q 'ok installed' ||
    [ -e /usr/bin/ystrelo ]; then
    echo "skipped: a Ystrelo is installed on this machine already; the test leaves it alone"
    exit 77
fi

start=$SECONDS
stage() { echo "== $1 (at ${SECONDS}s: $((SECONDS - start)) s so far)"; }

mkdir -p "$root/out"
stage "building the package"
bash "$root/scripts/package.sh" >"$root/out/package-build.log" 2>&1 || {
    tail -n 40 "$root/out/package-build.log"
    echo "FAILED: the package did not build (log: out/package-build.log)"
    exit 1
}
tail -n 3 "$root/out/package-build.log"
deb=$(ls "$root"/out/package/ystrelo_*.deb)

purge() {
    "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq ystrelo >/dev/null 2>&1
}
trap purge EXIT

stage "installing $deb"
if ! "${SUDO[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" \
    >"$root/out/package-install.log" 2>&1; then
    cat "$root/out/package-install.log"
    echo "FAILED: apt-get could not install the package"
    exit 1
fi

stage "the hosts against the installed files"
"$tests"
status=$?

stage "purging the package"
if ! purge; then
    echo "FAILED: apt-get could not purge the package"
    status=1
fi
trap - EXIT
if dpkg-query -W -f='${Status}' ystrelo 2>/dev/null | grep -q 'installed'; then
    echo "FAILED: the package is still installed after the purge"
    status=1
fi
# Every file of the package is gone, and every folder it brought that no other package
# owns (/usr/libexec/xscreensaver stays: XScreenSaver's).
while read -r path; do
    path=${path#.}
    path=${path%/}
    [ -n "$path" ] || continue
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        dpkg -S "$path" >/dev/null 2>&1 ||
            { echo "FAILED: left behind: the folder $path"; status=1; }
    elif [ -e "$path" ] || [ -L "$path" ]; then
        echo "FAILED: left behind: $path"
        status=1
    fi
done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t)
stage "done"
exit $status
