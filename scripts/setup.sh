#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt that are missing. A name
# ending in "?" is installed where the release has it, and left out where it has not.
# Needs root or sudo; does nothing when everything is there already.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t wanted < <(grep -v '^\s*#' "$here/packages.txt" | sed '/^\s*$/d')
# Whole outputs are matched: grep -q leaving a pipe early would fail it under pipefail.
installed() { [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == *"install ok installed"* ]]; }
available() { [[ "$(apt-cache policy "$1" 2>/dev/null)" =~ Candidate:\ [^\(] ]]; }
missing=()
optional=()
for pkg in "${wanted[@]}"; do
    if [[ "$pkg" == *\? ]]; then
        installed "${pkg%\?}" || optional+=("${pkg%\?}")
    else
        installed "$pkg" || missing+=("$pkg")
    fi
done
# An optional package this release lacks must not send every run to the archive.
if [ ${#missing[@]} -eq 0 ]; then
    any=
    for pkg in "${optional[@]}"; do available "$pkg" && any=1; done
    [ -n "$any" ] || exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
for pkg in "${optional[@]}"; do available "$pkg" && missing+=("$pkg"); done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
