#!/usr/bin/env bash
# Set up, build and start the saver. On a desktop (DISPLAY set) it covers the monitors
# until the mouse moves or a key is pressed. Without a display it runs for a few seconds
# on a virtual X server of its own and saves a screenshot, whose file name it prints.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
build=${YSTRELO_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
ninja -C "$build" ystrelo

if [[ -n "${DISPLAY:-}" ]]; then
    echo "== The saver on $DISPLAY: move the mouse or press a key to end it"
    exec "./$build/ystrelo" /s
fi

seconds=${YSTRELO_RUN_SECONDS:-6}
size=${YSTRELO_RUN_SIZE:-1280x720}
out="$root/out/run"
shot="$out/saver.png"
mkdir -p "$out"

xvfb_pid=
saver_pid=
cleanup() {
    [[ -n "$saver_pid" ]] && kill "$saver_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# -displayfd: the server picks a free display number itself and writes it to us.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [[ -s "$display_file" ]] && break
    sleep 0.1
done
display=":$(head -n 1 "$display_file")"
rm -f "$display_file"
[[ "$display" != ":" ]] || { echo "Xvfb did not start" >&2; exit 1; }

echo "== No display: the saver on a virtual X server ($display, $size) for $seconds seconds"
DISPLAY=$display "./$build/ystrelo" /s &
saver_pid=$!
sleep "$seconds"
DISPLAY=$display import -window root "$shot"
# A termination request ends the saver the orderly way: painter stopped, settings saved.
kill -TERM "$saver_pid"
wait "$saver_pid" || { echo "the saver ended with status $?" >&2; exit 1; }
saver_pid=
echo "Screenshot: $shot"
