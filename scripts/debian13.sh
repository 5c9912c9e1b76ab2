#!/usr/bin/env bash
# The Debian 13 leg of the test command: the plain build and its whole suite (the X11
# hosts, Wayland on Debian 13's sway, the package test) in a Debian 13 root made with
# mmdebstrap from Debian's archive. The root is kept between runs, with the packages the
# suite installed in it; the source is copied in afresh each time.
#
# Debian's archive is reached as this machine's apt reaches it: through the address its
# own sources give (a local mirror, a caching proxy's address) and its proxy settings.
#
# Skips, with one line and exit code 0, where the machine cannot make the root: without
# root, or without Debian's archive. YSTRELO_DEBIAN13_ROOT moves the root elsewhere.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
chroot_dir=${YSTRELO_DEBIAN13_ROOT:-/var/cache/ystrelo/debian13}
start=$SECONDS

# The address of the machine's first binary source of main whose Release file carries
# Label ($1): apt itself reads the sources, in either format, with their options. Before
# apt has fetched any Release file there are no labels, and the address's last folder ($2)
# decides.
apt_site() { # label, folder
    local targets
    targets=$(apt-get indextargets --format '$(LABEL)|$(TARGET_OF)|$(COMPONENT)|$(SITE)' \
        2>/dev/null || true)
    [ -n "$targets" ] || targets=$(apt-get indextargets --no-release-info \
        --format '|$(TARGET_OF)|$(COMPONENT)|$(SITE)' 2>/dev/null || true)
    awk -F'|' -v label="$1" -v path="/$2/?$" '
        !found && $2 == "deb" && $3 == "main" && ($1 == label || ($1 == "" && $4 ~ path)) {
            print $4
            found = 1
        }' <<<"$targets"
}
mirror=$(apt_site Debian debian)
security=$(apt_site Debian-Security debian-security)
# A machine whose sources name no Debian archive (another distribution) takes Debian's own.
if [ -z "$mirror" ]; then
    mirror=http://deb.debian.org/debian
    security=http://deb.debian.org/debian-security
fi
sources=("deb $mirror trixie main" "deb $mirror trixie-updates main")
[ -z "$security" ] || sources+=("deb $security trixie-security main")
# mmdebstrap gives apt a configuration of its own, without the machine's proxy; in the
# root's configuration it also serves the packages the suite installs later. (Not printed:
# a proxy's address may hold a password.)
proxy=()
while IFS= read -r line; do
    proxy+=("--aptopt=$line")
done < <(apt-config dump --no-empty --format '%f "%v";%n' Acquire::http::Proxy \
    Acquire::https::Proxy 2>/dev/null || true)

skip() {
    echo "skipped: the Debian 13 leg: $1"
    exit 0
}

[ "$(id -u)" -eq 0 ] || skip "making and entering a Debian 13 root needs root"
command -v mmdebstrap >/dev/null || skip "mmdebstrap is not installed"

# A root that was being made when a run was cut short has no mark and is made anew.
mark="$chroot_dir/.ystrelo-root-complete"
if [ ! -e "$mark" ]; then
    echo "== Debian 13: making the root $chroot_dir from $mirror"
    rm -rf "$chroot_dir"
    mkdir -p "$(dirname "$chroot_dir")"
    log=$(mktemp)
    if ! mmdebstrap --mode=root --variant=apt --include=ca-certificates "${proxy[@]}" \
        trixie "$chroot_dir" "${sources[@]}" >"$log" 2>&1; then
        tail -n 5 "$log"
        rm -rf "$chroot_dir" "$log"
        skip "mmdebstrap could not make the root from $mirror (no network?)"
    fi
    rm -f "$log"
    touch "$mark"
else
    echo "== Debian 13: reusing the root $chroot_dir"
fi

# The copy the suite builds and runs in: a fresh tree, without this tree's builds.
work="$chroot_dir/work/ystrelo"
rm -rf "$work"
mkdir -p "$work"
tar -C "$root" --exclude=./.git --exclude='./build*' --exclude=./out -cf - . | tar -C "$work" -xf -

# A mount and PID namespace of its own: the mounts below and every process the suite
# leaves go with it. The root is a mount point of its own, as / is on a machine, and gets
# a fresh /tmp and /run, so that the host's X and Wayland sockets stay out of sight.
status=0
unshare --mount --pid --fork --kill-child --propagation private bash -c '
    set -e
    r=$1
    shift
    mount --bind "$r" "$r"
    mount -t proc proc "$r/proc"
    mount --rbind /sys "$r/sys"
    mount --rbind /dev "$r/dev"
    mount -t tmpfs -o mode=1777 tmpfs "$r/tmp"
    mount -t tmpfs -o mode=755 tmpfs "$r/run"
    cp /etc/resolv.conf "$r/etc/resolv.conf"
    chroot "$r" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb CI="${CI:-}" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
' _ "$chroot_dir" bash -c 'cd /work/ystrelo && bash scripts/test.sh --plain' || status=$?
echo "== Debian 13: $((SECONDS - start)) s"
exit $status
