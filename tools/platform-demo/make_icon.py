#!/usr/bin/env python3
# make_icon.py OUT.ico: the platform demo's icon, a 32 x 32 board corner with a blue piece
# (32-bit image with alpha, standard library only).
import math, struct, sys

def pixel(x, y):
    if x in (0, 31) or y in (0, 31):
        return (60, 40, 20, 255)
    light = ((x - 1) // 6 + (y - 1) // 6) % 2 == 0
    r, g, b = (222, 184, 135) if light else (160, 110, 60)
    d = math.hypot(x - 15.5, y - 15.5)
    if d < 9:
        r, g, b = (30, 60, 160) if d < 8 else (10, 20, 60)
    return (r, g, b, 255)

w = h = 32
rows = b''.join(bytes(c for (r, g, b, a) in [pixel(x, y)] for c in (b, g, r, a))
                for y in range(h - 1, -1, -1) for x in range(w))
mask = b'\0' * (4 * h)
image = struct.pack('<IiiHHIIiiII', 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0) + rows + mask
icon = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', w, h, 0, 0, 1, 32, len(image), 22)
open(sys.argv[1], 'wb').write(icon + image)
