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
Xvfb :99 -screen 0 800x800x24 >/dev/null 2>&1 &
xvfb=$!
sleep 2
DISPLAY=:99 TESSARK_DRIVER=sdl "$demo" &
demo_pid=$!
sleep 3
DISPLAY=:99 python3 "$here/x_screenshot.py" "$out/platform-demo-xvfb.png" 200,170 400,400
kill $demo_pid
wait $demo_pid 2>/dev/null || true
kill $xvfb
echo "screenshots in $out: platform-demo-null.png platform-demo-xvfb.png"
