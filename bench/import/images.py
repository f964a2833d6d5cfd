"""Small but real GIF, PNG and JPEG files for the page-import benchmark, written by hand so
that the site needs nothing beyond Python's standard library. Every writer takes a random
generator and a size in pixels and returns the file's bytes; the same generator state gives
the same bytes.

- GIF: a 128-colour palette and LZW data that never grows past 8-bit codes (a clear code
  after every 125 literals), so the file is about one byte per pixel.
- PNG: 8-bit RGB noise, deflated; noise does not compress, so the file is about three bytes
  per pixel.
- JPEG: baseline, one grey component, with the standard luminance tables. The quantised
  coefficients are drawn directly (there is no picture to transform); any set of coefficients
  decodes, so the file is valid, and about 14 bytes per 8x8 block.
"""
import struct
import zlib

# Clear codes come often enough that an 8-bit code size is never outgrown: after a clear
# the dictionary is at 130 and the decoder adds one entry per literal after the first.
GIF_LITERALS_PER_CLEAR = 125


def gif(rng, width, height):
    colours = 128
    palette = bytes(rng.randrange(256) for _ in range(colours * 3))
    pixels = bytearray()
    base = rng.randrange(colours)
    for y in range(height):
        for x in range(width):
            # Bands with noise: looks like something, and every value stays a literal.
            pixels.append((base + (x + y) // 4 + rng.randrange(8)) % colours)
    clear, end = colours, colours + 1
    codes = []
    for start in range(0, len(pixels), GIF_LITERALS_PER_CLEAR):
        codes.append(clear)
        codes.extend(pixels[start:start + GIF_LITERALS_PER_CLEAR])
    codes.append(end)
    data = bytes(codes)  # 8-bit codes: one byte each, low bits first is the byte itself
    blocks = bytearray()
    for start in range(0, len(data), 255):
        chunk = data[start:start + 255]
        blocks.append(len(chunk))
        blocks += chunk
    blocks.append(0)
    header = b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF6, 0, 0)  # 128-entry table
    image = b"," + struct.pack("<HHHHB", 0, 0, width, height, 0)
    return header + palette + image + bytes([7]) + bytes(blocks) + b";"


def _png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(rng, width, height):
    raw = bytearray()
    for _ in range(height):
        raw.append(0)  # filter type None
        raw += rng.randbytes(width * 3)
    return (b"\x89PNG\r\n\x1a\n" + _png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + _png_chunk(b"IDAT", zlib.compress(bytes(raw), 6)) + _png_chunk(b"IEND", b""))


# Standard luminance Huffman tables: code counts per length 1..16, then the symbols.
DC_COUNTS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_SYMBOLS = list(range(12))
AC_COUNTS = [0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D]
AC_SYMBOLS = [
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07,
    0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52, 0xD1, 0xF0,
    0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25, 0x26, 0x27, 0x28,
    0x29, 0x2A, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
    0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
    0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
    0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
    0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5,
    0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2,
    0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8,
    0xF9, 0xFA,
]
QUANT = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55, 14, 13, 16, 24, 40, 57, 69, 56,
         14, 17, 22, 29, 51, 87, 80, 62, 18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
         49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]  # the usual luminance table; its order is immaterial for drawn coefficients


def _huffman_codes(counts, symbols):
    """Canonical codes: {symbol: (code, length)}."""
    codes, code, k = {}, 0, 0
    for length, count in enumerate(counts, start=1):
        for _ in range(count):
            codes[symbols[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


class _BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.bits = 0

    def put(self, value, length):
        self.acc = (self.acc << length) | (value & ((1 << length) - 1))
        self.bits += length
        while self.bits >= 8:
            self.bits -= 8
            byte = (self.acc >> self.bits) & 0xFF
            self.out.append(byte)
            if byte == 0xFF:
                self.out.append(0)  # stuffed zero after a data 0xFF
        self.acc &= (1 << self.bits) - 1

    def finish(self):
        if self.bits:
            self.put((1 << (8 - self.bits)) - 1, 8 - self.bits)  # pad with one bits
        return bytes(self.out)


def _magnitude(value):
    """(size category, extra bits) of a coefficient as the entropy coder writes them."""
    size = abs(value).bit_length()
    bits = value if value >= 0 else value + (1 << size) - 1
    return size, bits


def jpeg(rng, width, height):
    dc_codes = _huffman_codes(DC_COUNTS, DC_SYMBOLS)
    ac_codes = _huffman_codes(AC_COUNTS, AC_SYMBOLS)
    writer = _BitWriter()
    previous_dc = 0
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    for _ in range(blocks):
        dc = rng.randrange(-40, 41)
        size, bits = _magnitude(dc - previous_dc)
        previous_dc = dc
        code, length = dc_codes[size]
        writer.put(code, length)
        if size:
            writer.put(bits, size)
        run = 0
        last = rng.randrange(4, 40)  # coefficients after this one are zero
        for k in range(1, last + 1):
            value = rng.choice((0, 0, 0, 1, -1, 2, -2, 3, -5)) if k < last else rng.choice((1, -1, 4))
            if value == 0:
                run += 1
                continue
            while run > 15:
                writer.put(*ac_codes[0xF0])  # sixteen zeros
                run -= 16
            size, bits = _magnitude(value)
            writer.put(*ac_codes[(run << 4) | size])
            writer.put(bits, size)
            run = 0
        if last < 63:
            writer.put(*ac_codes[0x00])  # end of block
    scan = writer.finish()

    def segment(marker, body):
        return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body

    jfif = segment(0xE0, b"JFIF\x00" + struct.pack(">BBBHHBB", 1, 1, 0, 1, 1, 0, 0))
    dqt = segment(0xDB, bytes([0]) + bytes(QUANT))
    sof = segment(0xC0, struct.pack(">BHHB", 8, height, width, 1) + bytes([1, 0x11, 0]))
    dht = segment(0xC4, bytes([0x00]) + bytes(DC_COUNTS) + bytes(DC_SYMBOLS)
                  + bytes([0x10]) + bytes(AC_COUNTS) + bytes(AC_SYMBOLS))
    sos = segment(0xDA, bytes([1, 1, 0x00, 0, 63, 0]))
    return b"\xff\xd8" + jfif + dqt + sof + dht + sos + scan + b"\xff\xd9"


# Bytes per pixel of each writer, to pick dimensions that give a wanted file size.
BYTES_PER_PIXEL = {".gif": 1.0, ".png": 3.0, ".jpg": 14 / 64, ".jpeg": 14 / 64}
WRITERS = {".gif": gif, ".png": png, ".jpg": jpeg, ".jpeg": jpeg}


def image(rng, extension, approx_bytes):
    """An image of the kind the extension names, of roughly approx_bytes bytes."""
    pixels = max(1, int(approx_bytes / BYTES_PER_PIXEL[extension]))
    aspect = rng.uniform(0.5, 2.0)
    width = max(1, round((pixels * aspect) ** 0.5))
    height = max(1, round(pixels / width))
    return WRITERS[extension](rng, width, height), width, height
