#!/usr/bin/env python3
# xvfb_host_check.py PROBE: runs tessark-host-probe under the SDL driver on a
# private Xvfb server and compares the X server's own view of the host window (geometry, shape
# and pixels) with the window's rectangle, at scale 1 and 2: moving and sizing from the program,
# dragging with the pointer, the work area and the window shape (on a white root window). Exits 77 (skipped) without
# Xvfb, xdotool or xwininfo, or when the probe has no SDL driver.
import ctypes, ctypes.util, os, re, shutil, subprocess, sys, time

SKIP = 77
probe = sys.argv[1]
display = None  # the private server's, once it runs


def set_display(name):
    global display
    display = name


for tool in ('Xvfb', 'xdotool', 'xwininfo'):
    if shutil.which(tool) is None:
        print('skipped: no ' + tool)
        sys.exit(SKIP)
failures = []


def check(what, got, want):
    if got != want:
        failures.append('%s: got %r, want %r' % (what, got, want))
        print('FAIL', failures[-1])
    else:
        print('ok  ', what, got)


def xwininfo(*args):
    out = subprocess.run(['xwininfo', '-display', display, '-name', 'Tessark host probe'] +
                         list(args), capture_output=True, text=True, timeout=10).stdout
    return out


def geometry():
    out = xwininfo()
    get = lambda key: int(re.search(key + r':\s+(-?\d+)', out).group(1))
    return (get('Absolute upper-left X'), get('Absolute upper-left Y'), get('Width'),
            get('Height'))


class XImage(ctypes.Structure):
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int),
                ('format', ctypes.c_int), ('data', ctypes.c_void_p), ('byte_order', ctypes.c_int),
                ('bitmap_unit', ctypes.c_int), ('bitmap_bit_order', ctypes.c_int),
                ('bitmap_pad', ctypes.c_int), ('depth', ctypes.c_int),
                ('bytes_per_line', ctypes.c_int), ('bits_per_pixel', ctypes.c_int)]


def screen_pixel(x, y):
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
    img = X.XGetImage(d, X.XDefaultRootWindow(d), x, y, 1, 1, 0xffffffff, 2).contents
    b = ctypes.string_at(img.data, 4)
    X.XCloseDisplay(d)
    return (b[2], b[1], b[0])


class Probe:
    def __init__(self, scale):
        env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER='dummy', TESSARK_DRIVER='sdl')
        env.pop('TESSARK_SCALE', None)
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


def drag(points):
    subprocess.run(['xdotool', 'mousemove', str(points[0][0]), str(points[0][1])],
                   env=dict(os.environ, DISPLAY=display))
    time.sleep(0.3)
    subprocess.run(['xdotool', 'mousedown', '1'], env=dict(os.environ, DISPLAY=display))
    time.sleep(0.3)
    for x, y in points[1:]:
        subprocess.run(['xdotool', 'mousemove', str(x), str(y)],
                       env=dict(os.environ, DISPLAY=display))
        time.sleep(0.3)
    subprocess.run(['xdotool', 'mouseup', '1'], env=dict(os.environ, DISPLAY=display))
    time.sleep(0.5)


def run(scale):
    print('-- scale', scale)
    k = scale
    p = Probe(scale)
    if p.first is None:
        p.close()
        print('skipped: the probe did not start a host window')
        sys.exit(SKIP)
    check('created', p.first, (100, 80, 300, 230))
    check('X geometry at creation', geometry(), (100 * k, 80 * k, 200 * k, 150 * k))
    check('work area', p.ask('work'), (0, 0, 1024 // k, 768 // k))
    check('moved and sized', p.ask('move 150 120 260 180'), (150, 120, 410, 300))
    check('X geometry after MoveWindow', geometry(), (150 * k, 120 * k, 260 * k, 180 * k))
    check('placed', p.ask('place 40 30'), (40, 30, 300, 210))
    check('X geometry after SetWindowPos', geometry(), (40 * k, 30 * k, 260 * k, 180 * k))
    # Drag by 60 x 40 window pixels with the pointer, in steps.
    sx, sy = (40 + 20) * k, (30 + 20) * k
    drag([(sx, sy), (sx + 20 * k, sy + 10 * k), (sx + 40 * k, sy + 30 * k), (sx + 60 * k, sy + 40 * k)])
    check('dragged', p.ask('rect'), (100, 70, 360, 250))
    check('X geometry after the drag', geometry(), (100 * k, 70 * k, 260 * k, 180 * k))
    # A fast drag: 40 moves at once, the window moving under the pointer all the while.
    sx, sy = (100 + 20) * k, (70 + 20) * k
    drag([(sx, sy), (sx, sy)])  # settle the pointer, press and release once
    env = dict(os.environ, DISPLAY=display)
    subprocess.run(['xdotool', 'mousedown', '1'], env=env)
    time.sleep(0.3)
    moves = []
    for i in range(1, 41):
        moves += ['mousemove', str(sx + 5 * i * k), str(sy + 3 * i * k)]
    subprocess.run(['xdotool'] + moves, env=env)
    time.sleep(0.3)
    subprocess.run(['xdotool', 'mouseup', '1'], env=env)
    time.sleep(0.5)
    check('after a fast drag', p.ask('rect'), (300, 190, 560, 370))
    check('X geometry after a fast drag', geometry(), (300 * k, 190 * k, 260 * k, 180 * k))
    p.ask('place 100 70')
    check('no notch yet', screen_pixel((100 + 240) * k, (70 + 10) * k), (30, 90, 200))
    p.ask('shape')
    # The notch (40 x 30 at the top-right) shows the white root window, the rest the window (a
    # host that could not shape the window would show black there).
    inside = screen_pixel((100 + 10) * k, (70 + 10) * k)
    notch = screen_pixel((100 + 240) * k, (70 + 10) * k)
    below = screen_pixel((100 + 240) * k, (70 + 50) * k)
    check('inside the shape', inside, (30, 90, 200))
    check('in the notch', notch, (255, 255, 255))
    check('under the notch', below, (30, 90, 200))
    check('shape kept after a move', p.ask('place 120 90'), (120, 90, 380, 270))
    check('notch after the move', screen_pixel((120 + 240) * k, (90 + 10) * k), (255, 255, 255))
    check('window after the move', screen_pixel((120 + 10) * k, (90 + 10) * k), (30, 90, 200))
    p.ask('unshape')
    check('no notch after unshape', screen_pixel((120 + 240) * k, (90 + 10) * k), (30, 90, 200))
    # Moved from outside (as a window manager or the user would): the window follows.
    subprocess.run(['xdotool', 'search', '--name', 'Tessark host probe', 'windowmove',
                    str(300 * k), str(200 * k)], env=dict(os.environ, DISPLAY=display),
                   capture_output=True, timeout=10)
    check('moved by the host', p.ask('rect'), (300, 200, 560, 380))
    p.close()


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
    run(1)
    run(2)
finally:
    xvfb.terminate()
    xvfb.wait()
if failures:
    print('%d failed' % len(failures))
    sys.exit(1)
print('all passed')
