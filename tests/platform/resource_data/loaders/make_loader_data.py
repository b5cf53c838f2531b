# Writes the cursors, bitmaps and damaged resources of the loader tests:
#   python3 make_loader_data.py <this folder>
import struct, os, sys
out = sys.argv[1]
os.makedirs(out, exist_ok=True)
def w(name, data):
    open(os.path.join(out, name), 'wb').write(data)

def pitch(width, bpp): return ((width * bpp + 31) // 32) * 4

def dib_header(width, height, bpp, compression=0, used=0, size=40):
    return struct.pack('<IiiHHIIiiII', size, width, height, 1, bpp, compression, 0, 0, 0, used, 0)

def icon_image(width, height, bpp, pixel, clear, palette=None):
    """pixel(x,y) -> bytes/index, clear(x,y) -> bool; rows top first given, stored bottom-up"""
    hdr = dib_header(width, height * 2, bpp, used=len(palette) if palette else 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in (palette or []))
    rows = b''
    for y in reversed(range(height)):
        if bpp == 32:
            row = b''.join(pixel(x, y) for x in range(width))
        elif bpp == 4:
            row = bytearray(pitch(width, 4))
            for x in range(width):
                row[x // 2] |= pixel(x, y) << (4 if x % 2 == 0 else 0)
            row = bytes(row)
        row += b'\0' * (pitch(width, bpp) - len(row))
        rows += row
    mask = b''
    for y in reversed(range(height)):
        m = bytearray(pitch(width, 1))
        for x in range(width):
            if clear(x, y): m[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(m)
    return hdr + pal + rows + mask

def cursor_file(images):
    """images: list of (width, height, hotx, hoty, data)"""
    head = struct.pack('<HHH', 0, 2, len(images))
    offset = 6 + 16 * len(images)
    entries = b''; blobs = b''
    for (wd, ht, hx, hy, data) in images:
        entries += struct.pack('<BBBBHHII', wd % 256, ht % 256, 0, 0, hx, hy, len(data), offset + len(blobs))
        blobs += data
    return head + entries + blobs

# 32 x 32, 32 bits: opaque green left half, clear right half; hot spot (5, 7).
big = icon_image(32, 32, 32, lambda x, y: struct.pack('<BBBB', 0, 255, 0, 255) if x < 16 else b'\0\0\0\0',
                 lambda x, y: x >= 16)
# 16 x 16, 4 bits: red (index 1) everywhere, its top row clear; hot spot (2, 3).
small = icon_image(16, 16, 4, lambda x, y: 1, lambda x, y: y == 0,
                   palette=[(0, 0, 0), (255, 0, 0)])
w('pointer.cur', cursor_file([(16, 16, 2, 3, small), (32, 32, 5, 7, big)]))
# A hot spot off the image.
w('hotspot_off.cur', cursor_file([(16, 16, 16, 1, small)]))

def bmp_file(info_and_bits):
    return b'BM' + struct.pack('<IHHI', 14 + len(info_and_bits), 0, 0, 14 + 40) + info_and_bits

# 3 x 2, 8 bits, four colours, bottom-up: top row 0 1 2, bottom row 3 0 1.
pal = [(10, 20, 30), (255, 0, 0), (0, 255, 0), (1, 2, 250)]
rows8 = [[0, 1, 2], [3, 0, 1]]
bits8 = b''.join(bytes(r) + b'\0' for r in reversed(rows8))
grid8 = dib_header(3, 2, 8, used=4) + b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in pal) + bits8
w('grid8.bmp', bmp_file(grid8))
# 2 x 3, 24 bits, top-down: rows (red, green), (blue, white), (black, grey).
rows24 = [[(255, 0, 0), (0, 255, 0)], [(0, 0, 255), (255, 255, 255)], [(0, 0, 0), (128, 128, 128)]]
bits24 = b''.join(b''.join(struct.pack('<BBB', b, g, r) for (r, g, b) in row) + b'\0\0' for row in rows24)
w('strip24.bmp', bmp_file(dib_header(2, -3, 24) + bits24))
# 5 x 1, 4 bits, two colours used (black, red): indices 1 0 1 1 0 (high nibble first).
bits4 = bytes([0x10, 0x11, 0x00, 0x00])
w('row4.bmp', bmp_file(dib_header(5, 1, 4, used=2) + struct.pack('<BBBBBBBB', 0, 0, 0, 0, 0, 0, 255, 0) + bits4))
# 2 x 1, 16 bits with 5-5-5 masks: pure red, pure blue.
w('fields16.bmp', bmp_file(dib_header(2, 1, 16, compression=3) + struct.pack('<III', 0x7C00, 0x3E0, 0x1F) +
                           struct.pack('<HH', 0x7C00, 0x001F)))

# Damaged bitmaps, stored raw (no file header) as resources of type 2.
w('bitmap_truncated.bin', dib_header(4, 4, 24) + b'\x11' * 20)          # needs 48 bytes of rows
w('bitmap_badbits.bin', dib_header(2, 2, 7) + b'\0' * 16)
w('bitmap_short.bin', dib_header(2, 2, 8)[:30])
w('bitmap_colours.bin', dib_header(1, 1, 8, used=300) + b'\0' * 1204)
w('bitmap_huge.bin', dib_header(0x40000000, 0x40000000, 32) + b'\0' * 64)
w('bitmap_rgba.bin', dib_header(1, 1, 32, compression=3) + struct.pack('<III', 0xFF000000, 0xFF0000, 0xFF00) + b'\0' * 4)
w('bitmap_sizefar.bin', struct.pack('<I', 4000) + dib_header(1, 1, 24)[4:] + b'\0' * 4)

# Damaged cursor groups (type 12) and images (type 1).
def group(entries, count=None):
    g = struct.pack('<HHH', 0, 2, len(entries) if count is None else count)
    for (wd, ht, bpp, size, ident) in entries:
        g += struct.pack('<HHHHIH', wd, ht, 1, bpp, size, ident)
    return g
w('cursor_lost.bin', group([(32, 64, 32, 100, 999)]))         # image 999 does not exist
w('cursor_cut.bin', group([(32, 64, 32, 100, 1)], count=3))   # three entries promised, one given
w('cursor_image_cut.bin', struct.pack('<HH', 1, 1) + big[:60])  # image 900: header, rows missing
w('cursor_group_cutimage.bin', group([(32, 64, 32, 64, 900)]))

# Damaged accelerator tables (type 9).
w('accel_odd.bin', struct.pack('<HHHHHH', 0x81, ord('A'), 5, 0, 0, 0))
w('accel_open.bin', struct.pack('<HHHH', 0x01, ord('A'), 5, 0))          # no last-entry mark
w('accel_flags.bin', struct.pack('<HHHH', 0xC1, ord('A'), 5, 0))         # unknown flag 0x40
