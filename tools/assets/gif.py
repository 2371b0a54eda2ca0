"""A small GIF89a writer: one 256-entry global colour table, no local tables,
no interlacing, a graphic control block before every image.

Only what the stored pictures need; the LZW encoder is our own.
"""

import struct


def lzw_encode(indices, min_code_size=8):
    """LZW-compresses a sequence of palette indices (bytes-like) into the
    GIF code stream (variable-width codes, LSB first)."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bit_buffer = 0
    bit_count = 0

    def emit(code, width):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += width
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    width = min_code_size + 1
    table = {}
    next_code = end + 1
    emit(clear, width)
    data = bytes(indices)
    if data:
        prefix = data[0]
        for k in data[1:]:
            key = (prefix << 8) | k
            code = table.get(key)
            if code is not None:
                prefix = code
                continue
            emit(prefix, width)
            if next_code < 4096:
                table[key] = next_code
                next_code += 1
                # The decoder widens its codes one step later than we add
                # the entry, so widen once the new code no longer fits.
                if next_code - 1 == (1 << width) and width < 12:
                    width += 1
            else:
                emit(clear, width)
                table = {}
                next_code = end + 1
                width = min_code_size + 1
            prefix = k
        emit(prefix, width)
    emit(end, width)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def _sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


class Frame:
    """One image: palette indices (row-major bytes), its rectangle and its
    graphic control settings."""

    def __init__(self, indices, width, height, left=0, top=0, delay=0, disposal=0,
                 transparent=None):
        assert len(indices) == width * height
        self.indices = bytes(indices)
        self.width, self.height, self.left, self.top = width, height, left, top
        self.delay, self.disposal, self.transparent = delay, disposal, transparent


def write_gif(width, height, palette, frames, loop=None, background=0, trailing=b""):
    """palette: 256 (r, g, b) tuples. loop: None for no looping extension,
    else the NETSCAPE2.0 loop count. trailing: bytes after the trailer."""
    assert len(palette) == 256
    out = bytearray(b"GIF89a")
    # Global colour table present, colour resolution 8 bits, not sorted,
    # 2^(7+1) entries.
    out += struct.pack("<HHBBB", width, height, 0xF7, background, 0)
    for r, g, b in palette:
        out += bytes((r, g, b))
    if loop is not None:
        out += b"\x21\xFF\x0BNETSCAPE2.0" + struct.pack("<BBHB", 3, 1, loop, 0)
    for f in frames:
        packed = (f.disposal & 7) << 2 | (1 if f.transparent is not None else 0)
        out += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, packed, f.delay,
                           f.transparent if f.transparent is not None else 0, 0)
        out += struct.pack("<BHHHHB", 0x2C, f.left, f.top, f.width, f.height, 0)
        out.append(8)
        out += _sub_blocks(lzw_encode(f.indices, 8))
    out.append(0x3B)
    out += trailing
    return bytes(out)


def lzw_decode(data, min_code_size=8):
    """Reference decoder, used only to check the encoder."""
    clear = 1 << min_code_size
    end = clear + 1
    width = min_code_size + 1
    table = [bytes([i]) for i in range(clear)] + [b"", b""]
    out = bytearray()
    prev = None
    pos = 0
    nbits = len(data) * 8
    while pos + width <= nbits:
        code = 0
        for i in range(width):
            bit = pos + i
            code |= ((data[bit >> 3] >> (bit & 7)) & 1) << i
        pos += width
        if code == clear:
            table = table[:end + 1]
            width = min_code_size + 1
            prev = None
            continue
        if code == end:
            break
        if prev is None:
            entry = table[code]
        elif code < len(table):
            entry = table[code]
            table.append(prev + entry[:1])
        else:
            entry = prev + prev[:1]
            table.append(entry)
        out += entry
        prev = entry
        if len(table) == (1 << width) and width < 12:
            width += 1
    return bytes(out)
