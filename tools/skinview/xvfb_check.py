#!/usr/bin/env python3
# xvfb_check.py SKINVIEW [OUT_DIR]: the skin viewer's real skinned windows under
# the SDL driver on a private Xvfb server with a white root window. Checks with the X server's
# own view: the page of every control stands where the program put it and is shaped (its
# rounded corners show the root), dragging its title bar moves the X window, its "Message"
# button opens a box centred on the screen whose Yes button answers 6, and the message boxes of
# --messages are centred too. Screenshots of the whole screen go to OUT_DIR as PNG files.
# Exits 77 (skipped) without Xvfb or xdotool.
import ctypes, ctypes.util, os, re, shutil, struct, subprocess, sys, time, zlib

SKIP = 77
viewer = sys.argv[1]
out_dir = sys.argv[2] if len(sys.argv) > 2 else '.'
display = None  # the private server's, once it runs


def set_display(name):
    global display
    display = name
    env['DISPLAY'] = name


for tool in ('Xvfb', 'xdotool', 'xwininfo'):
    if shutil.which(tool) is None:
        print('skipped: no ' + tool)
        sys.exit(SKIP)
env = dict(os.environ, SDL_AUDIODRIVER='dummy', TESSARK_DRIVER='sdl')
env.pop('TESSARK_SCALE', None)
env.pop('TESSARK_SCRIPT', None)
failures = []


def check(what, got, want):
    if got != want:
        failures.append('%s: got %r, want %r' % (what, got, want))
        print('FAIL', failures[-1])
    else:
        print('ok  ', what, got)


def geometry(name, tries=30):
    for _ in range(tries):
        out = subprocess.run(['xwininfo', '-display', display, '-name', name],
                             capture_output=True, text=True, timeout=10).stdout
        if 'Absolute upper-left X' in out:
            get = lambda key: int(re.search(key + r':\s+(-?\d+)', out).group(1))
            return (get('Absolute upper-left X'), get('Absolute upper-left Y'), get('Width'),
                    get('Height'))
        time.sleep(0.2)
    return None


def xdotool(*args):
    subprocess.run(['xdotool'] + [str(a) for a in args], env=env, timeout=10)
    time.sleep(0.3)


def click(x, y):
    xdotool('mousemove', x, y)
    xdotool('mousedown', 1)
    xdotool('mouseup', 1)


class XImage(ctypes.Structure):
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int),
                ('format', ctypes.c_int), ('data', ctypes.c_void_p), ('byte_order', ctypes.c_int),
                ('bitmap_unit', ctypes.c_int), ('bitmap_bit_order', ctypes.c_int),
                ('bitmap_pad', ctypes.c_int), ('depth', ctypes.c_int),
                ('bytes_per_line', ctypes.c_int), ('bits_per_pixel', ctypes.c_int)]


def grab():
    """The whole screen as rows of (r, g, b)."""
    X = ctypes.cdll.LoadLibrary(ctypes.util.find_library('X11'))
    X.XOpenDisplay.restype = ctypes.c_void_p
    X.XOpenDisplay.argtypes = [ctypes.c_char_p]
    X.XDefaultRootWindow.restype = ctypes.c_ulong
    X.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    X.XGetImage.restype = ctypes.POINTER(XImage)
    X.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                            ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    X.XCloseDisplay.argtypes = [ctypes.c_void_p]
    d = X.XOpenDisplay(display.encode())
    w, h = 1024, 768
    img = X.XGetImage(d, X.XDefaultRootWindow(d), 0, 0, w, h, 0xffffffff, 2).contents
    buf = ctypes.string_at(img.data, img.bytes_per_line * h)
    X.XCloseDisplay(d)
    rows = []
    for y in range(h):
        r = buf[y * img.bytes_per_line: y * img.bytes_per_line + w * 4]
        rows.append([(r[4 * x + 2], r[4 * x + 1], r[4 * x]) for x in range(w)])
    return rows


def save_png(rows, name):
    h, w = len(rows), len(rows[0])
    raw = b''.join(b'\x00' + bytes(c for p in row for c in p) for row in rows)
    chunk = lambda t, d: struct.pack('>I', len(d)) + t + d + struct.pack(
        '>I', zlib.crc32(t + d) & 0xffffffff)
    path = os.path.join(out_dir, name)
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0))
                + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))
    print('     screenshot', path)


class CursorImage(ctypes.Structure):
    _fields_ = [('x', ctypes.c_short), ('y', ctypes.c_short), ('width', ctypes.c_ushort),
                ('height', ctypes.c_ushort), ('xhot', ctypes.c_ushort), ('yhot', ctypes.c_ushort),
                ('serial', ctypes.c_ulong), ('pixels', ctypes.POINTER(ctypes.c_ulong)),
                ('atom', ctypes.c_ulong), ('name', ctypes.c_char_p)]


def cursor_at(x, y):
    """The X cursor shown with the pointer at (x, y): its size, hot spot and pixels."""
    xdotool('mousemove', x, y)
    xdotool('mousemove', x + 1, y)
    try:
        X = ctypes.cdll.LoadLibrary(ctypes.util.find_library('X11'))
        F = ctypes.cdll.LoadLibrary(ctypes.util.find_library('Xfixes'))
    except (OSError, TypeError):
        return None
    X.XOpenDisplay.restype = ctypes.c_void_p
    X.XOpenDisplay.argtypes = [ctypes.c_char_p]
    X.XCloseDisplay.argtypes = [ctypes.c_void_p]
    F.XFixesGetCursorImage.restype = ctypes.POINTER(CursorImage)
    F.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    d = X.XOpenDisplay(display.encode())
    c = F.XFixesGetCursorImage(d).contents
    pixels = ctypes.string_at(ctypes.cast(c.pixels, ctypes.c_void_p), c.width * c.height * 8)
    X.XCloseDisplay(d)
    return (c.width, c.height, c.xhot, c.yhot, zlib.crc32(pixels))


WHITE = (255, 255, 255)


def controls():
    print('-- the page of every control')
    p = subprocess.Popen([viewer, '--controls'], env=env, stdout=subprocess.PIPE, text=True)
    try:
        g = geometry('Every skinned control')
        if g is None:
            print('skipped: no host window')
            sys.exit(SKIP)
        time.sleep(0.5)
        check('placed by the program', g[:2], (40, 40))
        width, height = g[2], g[3]
        screen = grab()
        save_png(screen, 'skinview-controls-xvfb.png')
        check('the shape cuts the top-left corner', screen[40][40], WHITE)
        check('the shape cuts the bottom-right corner', screen[40 + height - 1][40 + width - 1],
              WHITE)
        check('the frame is drawn inside the corner', screen[40 + 3][40 + 100] != WHITE, True)
        # The window sizes itself: its edges and corners show the sizing cursors.
        arrow = cursor_at(40 + 200, 40 + 200)
        if arrow is not None:
            east = cursor_at(40 + width - 2, 40 + 150)
            south = cursor_at(40 + 150, 40 + height - 2)
            # Points of the corner zones (5 pixels) that the rounded shape leaves in.
            nwse = cursor_at(40 + width - 5, 40 + height - 5)
            nesw = cursor_at(40 + width - 5, 40 + 4)
            check('the right edge has its own cursor', east != arrow, True)
            check('the bottom edge has another', south not in (arrow, east), True)
            check('the bottom-right corner has a third', nwse not in (arrow, east, south), True)
            check('the top-right corner has a fourth', nesw not in (arrow, east, south, nwse),
                  True)
            check('the top-left corner is the bottom-right one', cursor_at(40 + 3, 40 + 3), nwse)
            # The two diagonals are one drawing mirrored (not the root window's cursor).
            check('the diagonals share size and hot spot', nesw[:4], nwse[:4])
            check('back to the arrow inside', cursor_at(40 + 200, 40 + 200), arrow)
        # Drag by the title bar, 60 pixels right and down, in steps.
        xdotool('mousemove', 40 + 200, 40 + 12)
        xdotool('mousedown', 1)
        for step in (20, 40, 60):
            xdotool('mousemove', 40 + 200 + step, 40 + 12 + step)
        xdotool('mouseup', 1)
        check('the X window after the drag', geometry('Every skinned control'),
              (100, 100, width, height))
        screen = grab()
        save_png(screen, 'skinview-dragged-xvfb.png')
        check('the old place shows the root', screen[40 + 30][40 + 30], WHITE)
        check('the new place shows the window', screen[100 + 60][100 + 30] != WHITE, True)
        # The "Message" button opens a box centred on the screen.
        click(100 + 306, 100 + 61)
        box = geometry('TessarkSetup')
        time.sleep(0.5)
        if box is None:
            check('the message box opens', None, 'a window')
        else:
            check('the box is centred', (box[0], box[1]),
                  ((1024 - box[2]) // 2, (768 - box[3]) // 2))
            screen = grab()
            save_png(screen, 'skinview-controls-message-xvfb.png')
            # Yes is the third button from the right: 16 + 2 x (75 + 8) from the right edge.
            inner_right = box[0] + box[2] - 16
            click(inner_right - 16 - 2 * 83 - 37, box[1] + box[3] - 16 - 16 - 12)
            time.sleep(0.5)
            save_png(grab(), 'skinview-controls-answered-xvfb.png')
    finally:
        p.terminate()
        out = p.communicate(timeout=10)[0]
    check('the box answered Yes', 'answered 6.' in out, True)


def messages():
    print('-- the message boxes')
    p = subprocess.Popen([viewer, '--messages'], env=env, stdout=subprocess.PIPE, text=True)
    try:
        box = geometry('TessarkSetup')
        time.sleep(0.5)
        if box is None:
            check('the first box opens', None, 'a window')
            return
        check('the first box is centred', (box[0], box[1]),
              ((1024 - box[2]) // 2, (768 - box[3]) // 2))
        screen = grab()
        save_png(screen, 'skinview-message-xvfb.png')
        check('its shape cuts the top-left corner', screen[box[1]][box[0]], WHITE)
        # OK, at the bottom right of the inner area, answers 1.
        click(box[0] + box[2] - 16 - 16 - 37, box[1] + box[3] - 16 - 16 - 12)
        second = geometry('TessarkSetup')
        check('the next box follows', second is not None, True)
    finally:
        p.terminate()
        out = p.communicate(timeout=10)[0]
    check('the first box answered OK', 'message 0x40: answer 1' in out, True)


# Xvfb picks a free display itself, so that a server someone else runs is never used.
ready, write_end = os.pipe()
xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1024x768x24',
                         '-wr', '-nolisten', 'tcp'], pass_fds=[write_end],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
os.close(write_end)
try:
    answer = b''
    with os.fdopen(ready, 'rb') as f:
        answer = f.readline().strip()
    if xvfb.poll() is not None or not answer.isdigit():
        print('skipped: Xvfb did not start')
        sys.exit(SKIP)
    set_display(':' + answer.decode())
    time.sleep(0.3)
    controls()
    messages()
finally:
    xvfb.terminate()
    xvfb.wait()
if failures:
    print('%d failed' % len(failures))
    sys.exit(1)
print('all passed')
