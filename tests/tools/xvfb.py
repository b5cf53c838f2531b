# Checks of real programs on a private Xvfb server, through the X server's own view: a server
# of its own (on a display it picks itself), window geometry, pointer input and whole-screen
# pictures. Standard library only; the tools missing means the check is skipped.
import ctypes, ctypes.util, os, re, shutil, struct, subprocess, sys, time, zlib

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
        self.server = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', '%dx%dx24' % (WIDTH, HEIGHT),
             '-wr', '-nolisten', 'tcp'], pass_fds=[write_end],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(ready, 'rb') as f:
            answer = f.readline().strip()
        if self.server.poll() is not None or not answer.isdigit():
            print('skipped: Xvfb did not start')
            sys.exit(SKIP)
        self.display = ':' + answer.decode()
        self.env['DISPLAY'] = self.display
        time.sleep(0.3)

    def close(self):
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

    def drag(self, x, y, dx, dy, steps=5):
        """Presses at (x, y) and moves by (dx, dy) in `steps` quick steps before letting go."""
        self.xdotool('mousemove', x, y)
        self.xdotool('mousedown', 1, pause=0.2)
        for i in range(1, steps + 1):
            self.xdotool('mousemove', x + dx * i // steps, y + dy * i // steps, pause=0.05)
        self.xdotool('mouseup', 1)

    def grab(self):
        """The whole screen as rows of (r, g, b)."""
        X = ctypes.cdll.LoadLibrary(ctypes.util.find_library('X11'))
        X.XOpenDisplay.restype = ctypes.c_void_p
        X.XOpenDisplay.argtypes = [ctypes.c_char_p]
        X.XDefaultRootWindow.restype = ctypes.c_ulong
        X.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        X.XGetImage.restype = ctypes.POINTER(_XImage)
        X.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        X.XCloseDisplay.argtypes = [ctypes.c_void_p]
        d = X.XOpenDisplay(self.display.encode())
        img = X.XGetImage(d, X.XDefaultRootWindow(d), 0, 0, WIDTH, HEIGHT, 0xffffffff, 2).contents
        buf = ctypes.string_at(img.data, img.bytes_per_line * HEIGHT)
        X.XCloseDisplay(d)
        rows = []
        for y in range(HEIGHT):
            r = buf[y * img.bytes_per_line: y * img.bytes_per_line + WIDTH * 4]
            rows.append([(r[4 * x + 2], r[4 * x + 1], r[4 * x]) for x in range(WIDTH)])
        return rows

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


class _XImage(ctypes.Structure):
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int),
                ('format', ctypes.c_int), ('data', ctypes.c_void_p), ('byte_order', ctypes.c_int),
                ('bitmap_unit', ctypes.c_int), ('bitmap_bit_order', ctypes.c_int),
                ('bitmap_pad', ctypes.c_int), ('depth', ctypes.c_int),
                ('bytes_per_line', ctypes.c_int), ('bits_per_pixel', ctypes.c_int)]
