#!/bin/sh
# screenshots.sh BUILD_DIR OUT_DIR: tessark-board headless (null driver, simulated clock) and
# under Xvfb with the SDL driver, as PNGs in OUT_DIR: board-setup.png (the set-up sweep),
# board-capture.png (a capture's light traces and burst), board-over.png (a finished game with
# the winner's strip) and board-xvfb.png (the self-playing game under SDL at twice the size).
set -e
[ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR OUT_DIR" >&2; exit 2; }
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
tools=$(cd "$here/../platform-demo" && pwd)
board="$build/bin/tessark-board"
machine=$(mktemp -d)
trap 'rm -rf "$machine"' EXIT
game="27,31,41,97,75,30,40,75,63,29,39,63,51,28,38,96,74,27,37,74,62,26,36,90,78,25,35,89,90,24,34,78,68,35,45,91,69,51,63,92,91,23,35,95,83,63,73,90,89,73,85,94,95,85,96,0"
run() {
    (cd "$out" && TESSARK_MACHINE="$machine" TESSARK_DRIVER=null TESSARK_CLOCK=sim "$@" >/dev/null)
}
# Move 17 (blue 35 -> 45) captures red on 51: replayed from the position after 16 moves.
run env TESSARK_SCRIPT="$here/screenshots.script" "$board" --new --history "$game" --from 16
printf 'wait 9000\nscreenshot board-over.bmp\n' >"$machine/over.script"
run env TESSARK_SCRIPT="$machine/over.script" "$board" --new --history "$game" --from 26
for name in board-setup board-capture board-over; do
    python3 "$tools/bmp_to_png.py" "$out/$name.bmp" "$out/$name.png" 2
done
number=$(mktemp)
Xvfb -displayfd 3 -screen 0 800x800x24 3>"$number" >/dev/null 2>&1 &
xvfb=$!
for i in 1 2 3 4 5 6 7 8 9 10; do [ -s "$number" ] && break; sleep 1; done
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$machine"' EXIT
[ -s "$number" ] || { echo "Xvfb did not start" >&2; exit 1; }
display=":$(cat "$number")"
rm -f "$number"
DISPLAY=$display SDL_AUDIODRIVER=dummy TESSARK_DRIVER=sdl TESSARK_MACHINE="$machine" \
    "$board" --player1 high --player2 medium --new --quit-after 12000 >/dev/null &
pid=$!
sleep 8
DISPLAY=$display python3 "$tools/x_screenshot.py" "$out/board-xvfb.png"
wait $pid
echo "screenshots in $out: board-setup.png board-capture.png board-over.png board-xvfb.png"
