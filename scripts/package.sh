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
# developer's out of the package.
mkdir "$stage/ystrelo-$version"
tar -C "$root" --exclude=./.git --exclude='./build*' --exclude=./out -cf - . |
    tar -C "$stage/ystrelo-$version" -xf -
(cd "$stage/ystrelo-$version" &&
    DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" dpkg-buildpackage -b -us -uc)

mkdir -p "$out"
rm -f "$out"/ystrelo_*.deb
cp "$stage"/ystrelo_"$version"_*.deb "$out/"
deb=$(ls "$out"/ystrelo_"$version"_*.deb)
echo "== lintian"
# Errors fail the build; warnings we cannot avoid are overridden in debian/, with reasons.
lintian --fail-on error --info "$deb" "$stage"/ystrelo_"$version"_*.changes
echo "== Built $deb"
