#!/usr/bin/env bash
# Makes the pictures of the user guide in docs/images/ with Ystrelo itself on a private X
# server split into two monitors: the configuration dialog, and the saver. Needs a build
# (default build/); never touches the user's settings.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${1:-build}
ninja -C "$build" ystrelo >/dev/null
out=docs/images
mkdir -p "$out"

work=$(mktemp -d)
xvfb=
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Two monitors of 800 x 600 side by side, the left one primary. -noreset keeps the
# monitor layout when the last client goes.
Xvfb -displayfd 3 -noreset -screen 0 1600x600x24 -nolisten tcp 3>"$work/display" \
    >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
xrandr --setmonitor '*Left' 800/211x600/159+0+0 none
xrandr --setmonitor Right 800/211x600/159+800+0 none
# The server's own monitor spans both; switching its output off removes it (the server
# complains about the screen size it cannot change, which does not matter here).
xrandr --output screen --off 2>/dev/null || true

# The right monitor shows its own layout: a matrix of 3 x 2 frames painted in turn.
mkdir -p "$work/config"
cat >"$work/config/Ystrelo.ini" <<'EOF'
[TWinControlForm]
tbBands.Position=64
ckHighlightCalculations.Checked=False
[Monitor-0]
ckNoFrame.Checked=True
[Monitor-1]
ckCustom.Checked=True
ckScan.Checked=True
spWide.Position=3
spHigh.Position=2
EOF
export XDG_CONFIG_HOME="$work/config"

# The dialog, on its first tab; Enter presses its Close button.
"$build/ystrelo" /c &
app=$!
for _ in $(seq 100); do
    dialog=$(xdotool search --name '^Ystrelo Configuration$' 2>/dev/null | head -1) || true
    [ -n "$dialog" ] && break
    sleep 0.1
done
sleep "${DIALOG_SECONDS:-1.5}"
import -window "$dialog" "$work/dialog.png"
xdotool key --window "$dialog" Return
wait "$app"
convert "$work/dialog.png" -colors 192 "$out/configuration-dialog.png"

"$build/ystrelo" /s &
app=$!
sleep "${SAVER_SECONDS:-8}"
import -window root "$work/saver.png"
# A mouse movement ends the saver.
xdotool mousemove 100 100
sleep 0.5
xdotool mousemove 400 300
wait "$app"
convert "$work/saver.png" -resize 55% -colors 128 "$out/saver-two-monitors.png"
ls -l "$out"
