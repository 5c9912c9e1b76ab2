#!/usr/bin/env bash
# Builds the Debian package out/package/ystrelo_<version>_<arch>.deb from this tree, with
# Debian's own tools (debhelper, dpkg-buildpackage), and checks it with lintian.
# Installs what that needs first (root or sudo). Install the result with
#     sudo apt install ./out/package/ystrelo_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh

out="$root/out/package"
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# dpkg-buildpackage writes its results beside the source folder and builds inside it: a
# copy of the tree keeps both out of the working tree, and a build folder of the
# developer's out of the package. The compiler cache (where ccache is installed) is the
# user's, not one under the HOME that debhelper sets, and the copy's folder name does not
# count for it.
mkdir "$stage/ystrelo-$version"
tar -C "$root" --exclude=./.git --exclude='./build*' --exclude=./out -cf - . |
    tar -C "$stage/ystrelo-$version" -xf -
(cd "$stage/ystrelo-$version" &&
    DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" \
        CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}" CCACHE_BASEDIR="$stage" CCACHE_NOHASHDIR=1 \
        dpkg-buildpackage -b -us -uc)

mkdir -p "$out"
rm -f "$out"/ystrelo_*.deb
cp "$stage"/ystrelo_"$version"_*.deb "$out/"
deb=$(ls "$out"/ystrelo_"$version"_*.deb)
echo "== lintian"
# Errors fail the build; warnings we cannot avoid are overridden in debian/, with reasons.
lintian --fail-on error --info "$deb" "$stage"/ystrelo_"$version"_*.changes

echo "== hardening-check"
# The protections Debian's build flags give, as Debian's tool reads them off the shipped
# program. Its "Control flow integrity" and "Branch Protection" lines are left out: they
# say no on amd64 even for Debian's own programs (coreutils' ls, say).
dpkg-deb -x "$deb" "$stage/unpacked"
program="$stage/unpacked/usr/bin/ystrelo"
report=$(hardening-check "$program" || true)
echo "$report"
hardened=1
for check in "Position Independent Executable" "Stack protected" "Fortify Source functions" \
    "Read-only relocations" "Immediate binding" "Stack clash protection"; do
    line=$(grep -F " $check: " <<<"$report" || true)
    case "$line" in
    *": yes"*) ;;
    " Stack clash protection: unknown"*)
        # The tool recognises only the probe loop of a stack allocation of variable size,
        # which the program has none of. What the flag does to it: no stack frame larger
        # than a page is allocated in one step, past the guard page, without probes.
        unprobed=$(objdump -d --no-show-raw-insn -M intel "$program" |
            grep -oE 'sub +rsp,0x[0-9a-f]+$' | sed 's/.*,//' |
            while read -r size; do
                [ $((size)) -gt 4096 ] && echo "$size"
            done | sort -u || true)
        if [ -n "$unprobed" ]; then
            echo "FAILED: stack frames allocated without stack-clash probes: $unprobed"
            hardened=0
        else
            echo "(stack clash protection: every frame above a page is probed)"
        fi
        ;;
    *)
        echo "FAILED: hardening-check:${line:- $check: not reported}"
        hardened=0
        ;;
    esac
done
[ "$hardened" = 1 ] || exit 1
echo "== Built $deb"
