#!/usr/bin/env python3
# x_input.py ACTION ...: input for the X display in $DISPLAY through XTest (standard library
# only). ACTION is X,Y (a click at that root-window point) or "escape"; actions follow each
# other 60 ms apart, quicker than x_screenshot.py's clicks, so the demo's sounds overlap.
import ctypes, ctypes.util, sys, time
X = ctypes.cdll.LoadLibrary(ctypes.util.find_library('X11'))
T = ctypes.cdll.LoadLibrary(ctypes.util.find_library('Xtst'))
X.XOpenDisplay.restype = ctypes.c_void_p
X.XOpenDisplay.argtypes = [ctypes.c_char_p]
X.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
X.XFlush.argtypes = [ctypes.c_void_p]
T.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
T.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
T.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
d = X.XOpenDisplay(None)
if not d:
    sys.exit('x_input.py: no X display')
for action in sys.argv[1:]:
    if action == 'escape':
        key = X.XKeysymToKeycode(d, 0xff1b)
        T.XTestFakeKeyEvent(d, key, 1, 0); X.XFlush(d); time.sleep(0.02)
        T.XTestFakeKeyEvent(d, key, 0, 0); X.XFlush(d)
    else:
        x, y = map(int, action.split(','))
        T.XTestFakeMotionEvent(d, -1, x, y, 0); X.XFlush(d); time.sleep(0.02)
        T.XTestFakeButtonEvent(d, 1, 1, 0); X.XFlush(d); time.sleep(0.02)
        T.XTestFakeButtonEvent(d, 1, 0, 0); X.XFlush(d)
    time.sleep(0.06)
