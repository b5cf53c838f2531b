# Checks of real programs on a private Xvfb server (white root window), through the X server's
# own view: a server of its own (on a display it picks itself), window geometry, pointer input,
# the screen's pixels and the cursor shown. Standard library only; the tools missing means the
# check is skipped.
import atexit, ctypes, ctypes.util, os, re, shutil, struct, subprocess, sys, time, zlib

SKIP = 77
WIDTH, HEIGHT = 1024, 768


class Session:
    def __init__(self, out_dir='.'):
        for tool in ('Xvfb', 'xdotool', 'xwininfo'):
            if shutil.which(tool) is None:
                print('skipped: no ' + tool)
                sys.exit(SKIP)
        self.out_dir = out_dir
        self.failures = []
        self.env = dict(os.environ, SDL_AUDIODRIVER='dummy', TESSARK_DRIVER='sdl')
        for name in ('TESSARK_SCALE', 'TESSARK_SCRIPT', 'TESSARK_CLOCK'):
            self.env.pop(name, None)
        # Sanitizer builds: the host libraries' own leaks are not the program's.
        here = os.path.dirname(os.path.abspath(__file__))
        self.env['LSAN_OPTIONS'] = 'suppressions=' + os.path.join(here, 'lsan_host.supp')
        ready, write_end = os.pipe()
        # Without -noreset the server resets whenever its last client leaves, and a program
        # started in that moment finds no display.
        self.server = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', '%dx%dx24' % (WIDTH, HEIGHT),
             '-wr', '-noreset', '-nolisten', 'tcp'], pass_fds=[write_end],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(ready, 'rb') as f:
            answer = f.readline().strip()
        if self.server.poll() is not None or not answer.isdigit():
            print('skipped: Xvfb did not start')
            sys.exit(SKIP)
        self.display = ':' + answer.decode()
        self.env['DISPLAY'] = self.display
        # A check that skips or breaks half-way must not leave its server behind.
        atexit.register(self.close)
        time.sleep(0.3)

    def close(self):
        if self.server.poll() is None:
            self.server.terminate()
            self.server.wait()

    def check(self, what, got, want):
        if got != want:
            self.failures.append('%s: got %r, want %r' % (what, got, want))
            print('FAIL', self.failures[-1])
        else:
            print('ok  ', what, got)

    def finish(self):
        self.close()
        if self.failures:
            print('%d failed' % len(self.failures))
            sys.exit(1)
        print('all passed')

    def geometry(self, name, tries=30):
        """(x, y, width, height) of the top-level window called `name`, or None."""
        for _ in range(tries):
            out = subprocess.run(['xwininfo', '-display', self.display, '-name', name],
                                 capture_output=True, text=True, timeout=10).stdout
            if 'Absolute upper-left X' in out:
                get = lambda key: int(re.search(key + r':\s+(-?\d+)', out).group(1))
                return (get('Absolute upper-left X'), get('Absolute upper-left Y'),
                        get('Width'), get('Height'))
            time.sleep(0.2)
        return None

    def xdotool(self, *args, pause=0.3):
        subprocess.run(['xdotool'] + [str(a) for a in args], env=self.env, timeout=10)
        time.sleep(pause)

    def click(self, x, y):
        self.xdotool('mousemove', x, y)
        self.xdotool('mousedown', 1)
        self.xdotool('mouseup', 1)

    def drag(self, x, y, dx, dy, steps=5, pause=0.05):
        """Presses at (x, y) and moves by (dx, dy) in `steps` even steps before letting go."""
        self.drag_through([(x + dx * i // steps, y + dy * i // steps) for i in range(steps + 1)],
                          pause)

    def drag_through(self, points, pause=0.05, settle=0.3):
        """Presses at the first of `points`, moves through the others `pause` seconds apart and
        lets go, then gives the program `settle` seconds."""
        self.xdotool('mousemove', *points[0])
        # The press must have reached the program before the pointer travels.
        self.xdotool('mousedown', 1, pause=max(pause, 0.2))
        for x, y in points[1:]:
            self.xdotool('mousemove', x, y, pause=pause)
        self.xdotool('mouseup', 1, pause=settle)

    def grab(self, x=0, y=0, width=WIDTH, height=HEIGHT):
        """The screen's pixels in the rectangle (the whole screen by default) as rows of
        (r, g, b)."""
        X = _xlib()
        d = X.XOpenDisplay(self.display.encode())
        img = X.XGetImage(d, X.XDefaultRootWindow(d), x, y, width, height, 0xffffffff,
                          2).contents
        buf = ctypes.string_at(img.data, img.bytes_per_line * height)
        X.XCloseDisplay(d)
        rows = []
        for row in range(height):
            r = buf[row * img.bytes_per_line: row * img.bytes_per_line + width * 4]
            rows.append([(r[4 * i + 2], r[4 * i + 1], r[4 * i]) for i in range(width)])
        return rows

    def pixel(self, x, y):
        """The (r, g, b) the screen shows at (x, y)."""
        return self.grab(x, y, 1, 1)[0][0]

    def cursor_at(self, x, y):
        """The X cursor shown with the pointer at (x, y) as (width, height, hot spot x, hot spot
        y, checksum of its pixels), or None without the XFixes library."""
        self.xdotool('mousemove', x, y)
        # One more pixel, so that the program sees the pointer move there even if it was there.
        self.xdotool('mousemove', x + 1, y)
        try:
            X = _xlib()
            F = ctypes.cdll.LoadLibrary(ctypes.util.find_library('Xfixes'))
        except (OSError, TypeError):
            return None
        F.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
        F.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
        d = X.XOpenDisplay(self.display.encode())
        c = F.XFixesGetCursorImage(d).contents
        pixels = ctypes.string_at(ctypes.cast(c.pixels, ctypes.c_void_p), c.width * c.height * 8)
        X.XCloseDisplay(d)
        return (c.width, c.height, c.xhot, c.yhot, zlib.crc32(pixels))

    def save_png(self, rows, name):
        h, w = len(rows), len(rows[0])
        raw = b''.join(b'\x00' + bytes(c for p in row for c in p) for row in rows)
        chunk = lambda t, d: struct.pack('>I', len(d)) + t + d + struct.pack(
            '>I', zlib.crc32(t + d) & 0xffffffff)
        path = os.path.join(self.out_dir, name)
        with open(path, 'wb') as f:
            f.write(b'\x89PNG\r\n\x1a\n' +
                    chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) +
                    chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))
        print('     screenshot', path)


def _xlib():
    X = ctypes.cdll.LoadLibrary(ctypes.util.find_library('X11'))
    X.XOpenDisplay.restype = ctypes.c_void_p
    X.XOpenDisplay.argtypes = [ctypes.c_char_p]
    X.XDefaultRootWindow.restype = ctypes.c_ulong
    X.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    X.XGetImage.restype = ctypes.POINTER(_XImage)
    X.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                            ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    X.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return X


class _XImage(ctypes.Structure):
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int),
                ('format', ctypes.c_int), ('data', ctypes.c_void_p), ('byte_order', ctypes.c_int),
                ('bitmap_unit', ctypes.c_int), ('bitmap_bit_order', ctypes.c_int),
                ('bitmap_pad', ctypes.c_int), ('depth', ctypes.c_int),
                ('bytes_per_line', ctypes.c_int), ('bits_per_pixel', ctypes.c_int)]


class _CursorImage(ctypes.Structure):
    _fields_ = [('x', ctypes.c_short), ('y', ctypes.c_short), ('width', ctypes.c_ushort),
                ('height', ctypes.c_ushort), ('xhot', ctypes.c_ushort), ('yhot', ctypes.c_ushort),
                ('serial', ctypes.c_ulong), ('pixels', ctypes.POINTER(ctypes.c_ulong)),
                ('atom', ctypes.c_ulong), ('name', ctypes.c_char_p)]
