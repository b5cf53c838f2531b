#!/usr/bin/env python3
# xvfb_host_check.py PROBE: runs tessark-host-probe under the SDL driver on a private Xvfb
# server and compares the X server's own view of the host window (geometry, shape and pixels)
# with the window's rectangle, at scale 1 and 2: moving and sizing from the program, dragging
# with the pointer, the work area and the window shape (on a white root window). Exits 77
# (skipped) without Xvfb, xdotool or xwininfo, or when the probe has no SDL driver.
import os, subprocess, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tools'))
import xvfb  # noqa: E402

probe = sys.argv[1]
x = xvfb.Session()
NAME = 'Tessark host probe'
BLUE, WHITE = (30, 90, 200), (255, 255, 255)


class Probe:
    def __init__(self, scale):
        env = dict(x.env)
        if scale != 1:
            env['TESSARK_SCALE'] = str(scale)
        self.p = subprocess.Popen([probe], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  env=env, text=True)
        self.first = self.read()

    def read(self):
        line = self.p.stdout.readline().split()
        return tuple(int(v) for v in line[1:]) if line else None

    def ask(self, command):
        self.p.stdin.write(command + '\n')
        self.p.stdin.flush()
        return self.read()

    def close(self):
        try:
            self.p.stdin.write('quit\n')
            self.p.stdin.flush()
            self.p.wait(timeout=10)
        except Exception:
            self.p.kill()


def run(scale):
    print('-- scale', scale)
    k = scale
    p = Probe(scale)
    if p.first is None:
        p.close()
        print('skipped: the probe did not start a host window')
        sys.exit(xvfb.SKIP)
    x.check('created', p.first, (100, 80, 300, 230))
    x.check('X geometry at creation', x.geometry(NAME), (100 * k, 80 * k, 200 * k, 150 * k))
    x.check('work area', p.ask('work'), (0, 0, xvfb.WIDTH // k, xvfb.HEIGHT // k))
    x.check('moved and sized', p.ask('move 150 120 260 180'), (150, 120, 410, 300))
    x.check('X geometry after MoveWindow', x.geometry(NAME), (150 * k, 120 * k, 260 * k, 180 * k))
    x.check('placed', p.ask('place 40 30'), (40, 30, 300, 210))
    x.check('X geometry after SetWindowPos', x.geometry(NAME), (40 * k, 30 * k, 260 * k, 180 * k))
    # Drag by 60 x 40 window pixels with the pointer, in steps.
    sx, sy = (40 + 20) * k, (30 + 20) * k
    x.drag_through([(sx, sy), (sx + 20 * k, sy + 10 * k), (sx + 40 * k, sy + 30 * k),
                    (sx + 60 * k, sy + 40 * k)], pause=0.3, settle=0.5)
    x.check('dragged', p.ask('rect'), (100, 70, 360, 250))
    x.check('X geometry after the drag', x.geometry(NAME), (100 * k, 70 * k, 260 * k, 180 * k))
    # A fast drag: 40 moves at once, the window moving under the pointer all the while.
    sx, sy = (100 + 20) * k, (70 + 20) * k
    x.drag_through([(sx, sy), (sx, sy)], pause=0.3, settle=0.5)  # settle, press, release once
    x.xdotool('mousedown', 1)
    moves = []
    for i in range(1, 41):
        moves += ['mousemove', sx + 5 * i * k, sy + 3 * i * k]
    x.xdotool(*moves)
    x.xdotool('mouseup', 1, pause=0.5)
    x.check('after a fast drag', p.ask('rect'), (300, 190, 560, 370))
    x.check('X geometry after a fast drag', x.geometry(NAME),
            (300 * k, 190 * k, 260 * k, 180 * k))
    p.ask('place 100 70')
    x.check('no notch yet', x.pixel((100 + 240) * k, (70 + 10) * k), BLUE)
    p.ask('shape')
    # The notch (40 x 30 at the top-right) shows the white root window, the rest the window (a
    # host that could not shape the window would show black there).
    inside = x.pixel((100 + 10) * k, (70 + 10) * k)
    notch = x.pixel((100 + 240) * k, (70 + 10) * k)
    below = x.pixel((100 + 240) * k, (70 + 50) * k)
    x.check('inside the shape', inside, BLUE)
    x.check('in the notch', notch, WHITE)
    x.check('under the notch', below, BLUE)
    x.check('shape kept after a move', p.ask('place 120 90'), (120, 90, 380, 270))
    x.check('notch after the move', x.pixel((120 + 240) * k, (90 + 10) * k), WHITE)
    x.check('window after the move', x.pixel((120 + 10) * k, (90 + 10) * k), BLUE)
    p.ask('unshape')
    x.check('no notch after unshape', x.pixel((120 + 240) * k, (90 + 10) * k), BLUE)
    # Moved from outside (as a window manager or the user would): the window follows.
    x.xdotool('search', '--name', NAME, 'windowmove', 300 * k, 200 * k, pause=0)
    x.check('moved by the host', p.ask('rect'), (300, 200, 560, 380))
    p.close()


run(1)
run(2)
x.finish()
