#!/bin/sh
# screenshots.sh BUILD_DIR OUT_DIR: tessark-anim-demo headless (null driver, demo.script,
# simulated clock) and under Xvfb with the SDL driver, each saved as a PNG in OUT_DIR:
# anim-demo-null-1.png, anim-demo-null-2.png (twice the size) and anim-demo-xvfb.png.
set -e
[ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR OUT_DIR" >&2; exit 2; }
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
tools=$(cd "$here/../platform-demo" && pwd)
demo="$build/bin/tessark-anim-demo"
(cd "$out" && TESSARK_DRIVER=null TESSARK_CLOCK=sim TESSARK_SCRIPT="$here/demo.script" "$demo")
for n in 1 2; do
    python3 "$tools/bmp_to_png.py" "$out/anim-demo-null-$n.bmp" "$out/anim-demo-null-$n.png" 2
done
# Xvfb picks a free display itself and writes its number to the file.
number=$(mktemp)
Xvfb -displayfd 3 -screen 0 800x800x24 -noreset 3>"$number" >/dev/null 2>&1 &
xvfb=$!
for i in 1 2 3 4 5 6 7 8 9 10; do [ -s "$number" ] && break; sleep 1; done
trap 'kill $xvfb 2>/dev/null || true' EXIT
[ -s "$number" ] || { echo "Xvfb did not start" >&2; exit 1; }
display=":$(cat "$number")"
rm -f "$number"
# Xvfb has no sound card: SDL's silent audio driver still takes the mix through SDL audio.
DISPLAY=$display SDL_AUDIODRIVER=dummy TESSARK_DRIVER=sdl "$demo" &
demo_pid=$!
trap 'kill $demo_pid $xvfb 2>/dev/null || true' EXIT
sleep 3
# Three quick taps on the window (centred at twice its size): each plays the next sound, and
# they play mixed. Then the screenshot, and Escape closes the demo, which prints its sound and
# memory report.
DISPLAY=$display python3 "$here/x_input.py" 400,300 300,500 500,450
sleep 0.2
DISPLAY=$display python3 "$tools/x_screenshot.py" "$out/anim-demo-xvfb.png"
DISPLAY=$display python3 "$here/x_input.py" escape
status=0
for i in 1 2 3 4 5 6 7 8 9 10; do kill -0 $demo_pid 2>/dev/null || break; sleep 1; done
if kill -0 $demo_pid 2>/dev/null; then
    echo "the SDL run did not close on Escape" >&2
    kill $demo_pid
    status=1
fi
wait $demo_pid || status=1
echo "screenshots in $out: anim-demo-null-1.png anim-demo-null-2.png anim-demo-xvfb.png"
exit $status
