#!/bin/sh
# screenshots.sh BUILD_DIR OUT_DIR: the demo headless (null driver, scripted, simulated clock)
# and under Xvfb with the SDL driver, each saved as a PNG in OUT_DIR.
set -e
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
demo="$build/bin/tessark-platform-demo"
(cd "$out" && TESSARK_DRIVER=null TESSARK_CLOCK=sim TESSARK_SCRIPT="$here/demo.script" "$demo")
python3 "$here/bmp_to_png.py" "$out/platform-demo-null.bmp" "$out/platform-demo-null.png" 2
python3 "$here/bmp_to_png.py" "$out/platform-demo-board.bmp" "$out/platform-demo-board.png" 2
Xvfb :99 -screen 0 800x800x24 -noreset >/dev/null 2>&1 &
xvfb=$!
sleep 2
# The dialog opens at once. Both windows are centred on the X screen at twice their size; the
# clicks choose Medium, Computer and Animations, then play the tone.
# Xvfb has no sound card: SDL's silent audio driver still takes the tone through SDL audio.
DISPLAY=:99 SDL_AUDIODRIVER=dummy TESSARK_DRIVER=sdl "$demo" --dialog &
demo_pid=$!
sleep 3
DISPLAY=:99 python3 "$here/x_screenshot.py" "$out/platform-demo-xvfb.png" 261,232 483,232 \
    469,334 289,612
kill $demo_pid
wait $demo_pid 2>/dev/null || true
# The round window is a shaped host window: the board shows around the disc.
DISPLAY=:99 SDL_AUDIODRIVER=dummy TESSARK_DRIVER=sdl "$demo" --round &
demo_pid=$!
sleep 3
DISPLAY=:99 python3 "$here/x_screenshot.py" "$out/platform-demo-xvfb-round.png"
kill $demo_pid
wait $demo_pid 2>/dev/null || true
kill $xvfb
echo "screenshots in $out: platform-demo-null.png platform-demo-board.png platform-demo-xvfb.png platform-demo-xvfb-round.png"
