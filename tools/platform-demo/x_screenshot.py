#!/usr/bin/env python3
# x_screenshot.py OUT.png [X,Y ...]: clicks at the given root-window points (XTest), then saves
# the top-left 800 x 800 pixels of the X display in $DISPLAY as a PNG (standard library only).
import ctypes, ctypes.util, sys, struct, zlib, time
X = ctypes.cdll.LoadLibrary(ctypes.util.find_library('X11'))
X.XOpenDisplay.restype = ctypes.c_void_p
X.XOpenDisplay.argtypes = [ctypes.c_char_p]
X.XDefaultRootWindow.restype = ctypes.c_ulong
X.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
class XImage(ctypes.Structure):
    _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int), ('format', ctypes.c_int),
                ('data', ctypes.c_void_p), ('byte_order', ctypes.c_int), ('bitmap_unit', ctypes.c_int), ('bitmap_bit_order', ctypes.c_int),
                ('bitmap_pad', ctypes.c_int), ('depth', ctypes.c_int), ('bytes_per_line', ctypes.c_int), ('bits_per_pixel', ctypes.c_int)]
X.XGetImage.restype = ctypes.POINTER(XImage)
X.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
d = X.XOpenDisplay(None)
root = X.XDefaultRootWindow(d)
clicks = [tuple(map(int, a.split(','))) for a in sys.argv[2:]]
if clicks:
    T = ctypes.cdll.LoadLibrary(ctypes.util.find_library('Xtst'))
    T.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
    T.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
    X.XFlush.argtypes = [ctypes.c_void_p]
    for (x, y) in clicks:
        T.XTestFakeMotionEvent(d, -1, x, y, 0); X.XFlush(d); time.sleep(0.2)
        T.XTestFakeButtonEvent(d, 1, 1, 0); X.XFlush(d); time.sleep(0.1)
        T.XTestFakeButtonEvent(d, 1, 0, 0); X.XFlush(d); time.sleep(0.3)
    time.sleep(1)
w, h = 800, 800
img = X.XGetImage(d, root, 0, 0, w, h, 0xffffffff, 2).contents
buf = ctypes.string_at(img.data, img.bytes_per_line * h)
rows = []
for y in range(h):
    r = buf[y*img.bytes_per_line: y*img.bytes_per_line + w*4]
    px = bytearray(w*3)
    px[0::3] = r[2::4]; px[1::3] = r[1::4]; px[2::3] = r[0::4]
    rows.append(b'\x00' + bytes(px))
def chunk(t, dd): return struct.pack('>I', len(dd)) + t + dd + struct.pack('>I', zlib.crc32(t + dd) & 0xffffffff)
open(sys.argv[1], 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) + chunk(b'IDAT', zlib.compress(b''.join(rows))) + chunk(b'IEND', b''))
