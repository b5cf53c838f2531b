#!/usr/bin/env python3
# bmp_to_png.py IN.bmp OUT.png [SCALE]: a 24/32-bit BMP as a PNG (standard library only).
import sys, struct, zlib
def bmp2png(src, dst, scale=2):
    b = open(src,'rb').read()
    off = struct.unpack_from('<I', b, 10)[0]; w, h = struct.unpack_from('<ii', b, 18); bpp = struct.unpack_from('<H', b, 28)[0]
    assert bpp in (24, 32)
    bytespp = bpp // 8
    stride = (w * bytespp + 3) & ~3
    rows = []
    topdown = h < 0; h = abs(h)
    for y in range(h):
        sy = y if topdown else h - 1 - y
        r = b[off + sy*stride: off + sy*stride + w*bytespp]
        px = bytearray()
        for x in range(w):
            B, G, R = r[x*bytespp], r[x*bytespp+1], r[x*bytespp+2]
            px += bytes([R, G, B]) * scale
        for _ in range(scale): rows.append(b'\x00' + bytes(px))
    raw = b''.join(rows)
    def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w*scale, h*scale, 8, 2, 0, 0, 0)) + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b'')
    open(dst, 'wb').write(png)
bmp2png(sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 2)
