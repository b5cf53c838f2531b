#!/usr/bin/env python3
# xvfb_check.py SKINVIEW [OUT_DIR]: the skin viewer's real skinned windows under
# the SDL driver on a private Xvfb server with a white root window. Checks with the X server's
# own view: the page of every control stands where the program put it and is shaped (its
# rounded corners show the root), its edges and corners show the sizing cursors, dragging its
# title bar moves the X window, its "Message" button opens a box centred on the screen whose
# Yes button answers 6, and the message boxes of --messages are centred too. Screenshots of the
# whole screen go to OUT_DIR as PNG files. Exits 77 (skipped) without Xvfb, xdotool or
# xwininfo, or when the viewer opens no window.
import os, subprocess, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tests',
                                'tools'))
import xvfb  # noqa: E402

viewer = sys.argv[1]
x = xvfb.Session(sys.argv[2] if len(sys.argv) > 2 else '.')
WHITE = (255, 255, 255)


def controls():
    print('-- the page of every control')
    p = subprocess.Popen([viewer, '--controls'], env=x.env, stdout=subprocess.PIPE, text=True)
    try:
        g = x.geometry('Every skinned control')
        if g is None:
            print('skipped: no host window')
            sys.exit(xvfb.SKIP)
        time.sleep(0.5)
        x.check('placed by the program', g[:2], (40, 40))
        width, height = g[2], g[3]
        screen = x.grab()
        x.save_png(screen, 'skinview-controls-xvfb.png')
        x.check('the shape cuts the top-left corner', screen[40][40], WHITE)
        x.check('the shape cuts the bottom-right corner', screen[40 + height - 1][40 + width - 1],
                WHITE)
        x.check('the frame is drawn inside the corner', screen[40 + 3][40 + 100] != WHITE, True)
        # The window sizes itself: its edges and corners show the sizing cursors.
        arrow = x.cursor_at(40 + 200, 40 + 200)
        if arrow is not None:
            east = x.cursor_at(40 + width - 2, 40 + 150)
            south = x.cursor_at(40 + 150, 40 + height - 2)
            # Points of the corner zones (5 pixels) that the rounded shape leaves in.
            nwse = x.cursor_at(40 + width - 5, 40 + height - 5)
            nesw = x.cursor_at(40 + width - 5, 40 + 4)
            x.check('the right edge has its own cursor', east != arrow, True)
            x.check('the bottom edge has another', south not in (arrow, east), True)
            x.check('the bottom-right corner has a third', nwse not in (arrow, east, south), True)
            x.check('the top-right corner has a fourth', nesw not in (arrow, east, south, nwse),
                    True)
            x.check('the top-left corner is the bottom-right one', x.cursor_at(40 + 3, 40 + 3),
                    nwse)
            # The two diagonals are one drawing mirrored (not the root window's cursor).
            x.check('the diagonals share size and hot spot', nesw[:4], nwse[:4])
            x.check('back to the arrow inside', x.cursor_at(40 + 200, 40 + 200), arrow)
        # Drag by the title bar, 60 pixels right and down, in steps.
        x.drag(40 + 200, 40 + 12, 60, 60, steps=3, pause=0.3)
        x.check('the X window after the drag', x.geometry('Every skinned control'),
                (100, 100, width, height))
        screen = x.grab()
        x.save_png(screen, 'skinview-dragged-xvfb.png')
        x.check('the old place shows the root', screen[40 + 30][40 + 30], WHITE)
        x.check('the new place shows the window', screen[100 + 60][100 + 30] != WHITE, True)
        # The "Message" button opens a box centred on the screen.
        x.click(100 + 306, 100 + 61)
        box = x.geometry('TessarkSetup')
        time.sleep(0.5)
        if box is None:
            x.check('the message box opens', None, 'a window')
        else:
            x.check('the box is centred', (box[0], box[1]),
                    ((xvfb.WIDTH - box[2]) // 2, (xvfb.HEIGHT - box[3]) // 2))
            screen = x.grab()
            x.save_png(screen, 'skinview-controls-message-xvfb.png')
            # Yes is the third button from the right: 16 + 2 x (75 + 8) from the right edge.
            inner_right = box[0] + box[2] - 16
            x.click(inner_right - 16 - 2 * 83 - 37, box[1] + box[3] - 16 - 16 - 12)
            time.sleep(0.5)
            x.save_png(x.grab(), 'skinview-controls-answered-xvfb.png')
    finally:
        p.terminate()
        out = p.communicate(timeout=10)[0]
    x.check('the box answered Yes', 'answered 6.' in out, True)


def messages():
    print('-- the message boxes')
    p = subprocess.Popen([viewer, '--messages'], env=x.env, stdout=subprocess.PIPE, text=True)
    try:
        box = x.geometry('TessarkSetup')
        time.sleep(0.5)
        if box is None:
            x.check('the first box opens', None, 'a window')
            return
        x.check('the first box is centred', (box[0], box[1]),
                ((xvfb.WIDTH - box[2]) // 2, (xvfb.HEIGHT - box[3]) // 2))
        screen = x.grab()
        x.save_png(screen, 'skinview-message-xvfb.png')
        x.check('its shape cuts the top-left corner', screen[box[1]][box[0]], WHITE)
        # OK, at the bottom right of the inner area, answers 1.
        x.click(box[0] + box[2] - 16 - 16 - 37, box[1] + box[3] - 16 - 16 - 12)
        second = x.geometry('TessarkSetup')
        x.check('the next box follows', second is not None, True)
    finally:
        p.terminate()
        out = p.communicate(timeout=10)[0]
    x.check('the first box answered OK', 'message 0x40: answer 1' in out, True)


controls()
messages()
x.finish()
