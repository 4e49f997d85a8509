#!/usr/bin/env python3
"""Writes the hand-made seed files of the BMP fuzz corpus (tools/fuzz/corpus/).

Each file is a small, well-formed BMP with at most one field damaged, so that the fuzzer starts
from every header layout and pixel format the decoder knows and from every way a header can lie
about the memory it needs. The name states what decoding the file must give; the corpus replay
test (tests/tools/FuzzCorpusReplayTest.cpp) reads it back:

  ok-WxH-...   decodes to a W x H picture
  bad-...      is refused ("Bitmap image is not valid")
  edge-...     either, but never a crash (a seed whose outcome the decoder leaves open)

Files the fuzzer adds later (crash-..., found-...) only have to be survived.

Usage: tools/fuzz/make_corpus.py [output-folder]   (default: the corpus folder next to this file)
"""

import os
import struct
import sys

WIDTH, HEIGHT = 5, 3  # odd width: every depth below 32 bits needs row padding

BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS, BI_ALPHABITFIELDS = 0, 1, 2, 3, 6

INT32_MIN = -(2**31)


def row_bytes(width, bits):
    return (width * bits + 31) // 32 * 4


def pattern_pixels(width, height, bits):
    """Uncompressed pixel rows, bottom row first, with distinct values and zeroed padding."""
    data = bytearray()
    for y in range(height):
        row = bytearray()
        if bits >= 8:
            for x in range(width):
                for channel in range(bits // 8):
                    row.append((x * 53 + y * 97 + channel * 31 + 7) & 0xFF)
        else:
            per_byte = 8 // bits
            mask = (1 << bits) - 1
            for start in range(0, width, per_byte):
                byte = 0
                for i in range(per_byte):
                    x = start + i
                    index = ((x + y) & mask) if x < width else 0
                    byte |= index << (8 - bits * (i + 1))
                row.append(byte)
        row.extend(b"\0" * (row_bytes(width, bits) - len(row)))
        data.extend(row)
    return bytes(data)


def palette_for(bits, entry_bytes=4):
    colours = bytearray()
    for i in range(1 << bits):
        blue, green, red = (i * 37) & 0xFF, (i * 71 + 40) & 0xFF, (i * 113 + 90) & 0xFF
        colours.extend(bytes([blue, green, red]) + (b"\0" if entry_bytes == 4 else b""))
    return bytes(colours)


def info_header(size, width, height, bits, compression=BI_RGB, colours_used=0, masks=None, image_size=0):
    """A BITMAPCOREHEADER (12), BITMAPINFOHEADER (40), its mask extensions (52, 56), the OS/2 2.x
    header (64), or a V4/V5 header (108, 124). Any other size gets the 40 bytes of fields of a
    BITMAPINFOHEADER, zero-padded to the size when it is larger."""
    if size == 12:
        return struct.pack("<IHHHH", 12, width & 0xFFFF, height & 0xFFFF, 1, bits)
    fields = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, image_size,
                         2835, 2835, colours_used, 0)
    red, green, blue, alpha = masks or (0, 0, 0, 0)
    if size in (52, 56, 108, 124):
        fields += struct.pack("<III", red, green, blue)
        if size >= 56:
            fields += struct.pack("<I", alpha)
    if size >= 108:
        fields += struct.pack("<I", 0x73524742)  # 'sRGB' colour space
    return fields + b"\0" * max(0, size - len(fields))


def bmp(info, extra=b"", pixels=b"", pixel_offset=None, file_size=None):
    """File header + info header + masks or palette + pixels."""
    offset = 14 + len(info) + len(extra) if pixel_offset is None else pixel_offset
    total = 14 + len(info) + len(extra) + len(pixels)
    header = b"BM" + struct.pack("<IHHI", total if file_size is None else file_size, 0, 0,
                                 offset & 0xFFFFFFFF)
    return header + info + extra + pixels


def plain(bits, size=40, width=WIDTH, height=HEIGHT, compression=BI_RGB, masks=None):
    """A well-formed uncompressed file of the given depth with the pattern picture."""
    palette = b""
    if bits <= 8:
        palette = palette_for(bits, 3 if size == 12 else 4)
    extra = palette
    if compression in (BI_BITFIELDS, BI_ALPHABITFIELDS) and size == 40:
        extra = struct.pack("<IIII", *masks) if compression == BI_ALPHABITFIELDS else struct.pack("<III", *masks[:3])
    info = info_header(size, width, height, bits, compression, masks=masks)
    return bmp(info, extra, pattern_pixels(width, abs(height), bits))


def rle8_rows(width, height):
    """Run-length rows: a run, then the rest literally (absolute mode), end of line per row."""
    data = bytearray()
    for y in range(height):
        data += bytes([2, (y * 40) & 0xFF])
        rest = [(y * 11 + x * 29) & 0xFF for x in range(width - 2)]
        if len(rest) >= 3:
            data += bytes([0, len(rest)]) + bytes(rest) + (b"\0" if len(rest) % 2 else b"")
        else:
            data += b"".join(bytes([1, v]) for v in rest)
        data += b"\0\0"
    return bytes(data + b"\0\1")


def rle4_rows(width, height):
    data = bytearray()
    for y in range(height):
        data += bytes([width, ((y & 15) << 4) | ((y + 5) & 15)])  # alternating two-colour run
        data += b"\0\0"
    return bytes(data + b"\0\1")


def rle(bits, pixels, width=WIDTH, height=HEIGHT, compression=None):
    if compression is None:
        compression = BI_RLE8 if bits == 8 else BI_RLE4
    palette_bits = bits if bits in (4, 8) else 8
    info = info_header(40, width, height, bits, compression, image_size=len(pixels))
    return bmp(info, palette_for(palette_bits), pixels)


def cut(data, length):
    return data[:length]


def with_u32(data, offset, value):
    return data[:offset] + struct.pack("<I", value & 0xFFFFFFFF) + data[offset + 4:]


def with_u16(data, offset, value):
    return data[:offset] + struct.pack("<H", value & 0xFFFF) + data[offset + 2:]


def corpus():
    files = {}
    size = f"{WIDTH}x{HEIGHT}"
    rgb565 = (0xF800, 0x07E0, 0x001F, 0)
    argb = (0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)

    # Every info-header size the decoder knows, 24 bits a pixel, and sizes it does not.
    files[f"ok-{size}-info-12.bmp"] = plain(24, size=12)
    files[f"ok-{size}-info-40.bmp"] = plain(24, size=40)
    files[f"ok-{size}-info-52.bmp"] = plain(24, size=52)
    files[f"ok-{size}-info-56.bmp"] = plain(24, size=56)
    files[f"ok-{size}-info-64.bmp"] = plain(24, size=64)
    files[f"ok-{size}-info-108.bmp"] = plain(24, size=108)
    files[f"ok-{size}-info-124.bmp"] = plain(24, size=124)
    files["bad-info-unknown-20.bmp"] = plain(24, size=20)
    files["bad-info-unknown-0.bmp"] = with_u32(plain(24), 14, 0)
    files["bad-info-unknown-4294967295.bmp"] = with_u32(plain(24), 14, 0xFFFFFFFF)
    files["bad-info-larger-than-file.bmp"] = cut(plain(24, size=124), 14 + 100)

    # Every bit count, uncompressed (and with masks where they apply).
    files["bad-bits-0.bmp"] = with_u16(plain(24), 28, 0)
    files[f"ok-{size}-bits-1.bmp"] = plain(1)
    files["bad-bits-2.bmp"] = plain(2)
    files[f"ok-{size}-bits-4.bmp"] = plain(4)
    files[f"ok-{size}-bits-8.bmp"] = plain(8)
    files[f"ok-{size}-bits-16.bmp"] = plain(16)
    files[f"ok-{size}-bits-16-bitfields-565.bmp"] = plain(16, compression=BI_BITFIELDS, masks=rgb565)
    files[f"ok-{size}-bits-24.bmp"] = plain(24)
    files[f"ok-{size}-bits-32.bmp"] = plain(32)
    files[f"ok-{size}-bits-32-bitfields-v5.bmp"] = plain(32, size=124, compression=BI_BITFIELDS, masks=argb)
    files["bad-bits-3.bmp"] = with_u16(plain(24), 28, 3)
    files["bad-bits-48.bmp"] = with_u16(plain(24), 28, 48)
    files["bad-bits-65535.bmp"] = with_u16(plain(24), 28, 0xFFFF)
    files[f"ok-{size}-bits-1-core.bmp"] = plain(1, size=12)
    files[f"ok-{size}-bits-8-core.bmp"] = plain(8, size=12)

    # Masks that cover no bit, every bit, or overlap.
    files["bad-bitfields-zero-masks.bmp"] = plain(32, size=124, compression=BI_BITFIELDS, masks=(0, 0, 0, 0))
    files["bad-bitfields-full-masks.bmp"] = plain(
        32, size=124, compression=BI_BITFIELDS, masks=(0xFFFFFFFF,) * 4)
    files["bad-bitfields-overlapping-16.bmp"] = plain(
        16, compression=BI_BITFIELDS, masks=(0xFFFF, 0x0FF0, 0x8001, 0))
    # BITFIELDS in a 40-byte header whose masks would lie where the pixels start.
    masked = plain(16, compression=BI_BITFIELDS, masks=rgb565)
    files["bad-bitfields-masks-overlap-pixels.bmp"] = with_u32(masked, 10, 54)

    # Palettes: more colours than the depth allows, or a colour count far beyond the file.
    files["bad-palette-count-257.bmp"] = with_u32(plain(8), 46, 257)
    files["bad-palette-count-4294967295.bmp"] = with_u32(plain(8), 46, 0xFFFFFFFF)
    files[f"ok-{size}-palette-count-2-indices-up-to-15.bmp"] = with_u32(plain(4), 46, 2)

    # Run-length data: well formed, with a bit count it cannot have, and runs that lie.
    files[f"ok-{size}-rle8.bmp"] = rle(8, rle8_rows(WIDTH, HEIGHT))
    files[f"ok-{size}-rle4.bmp"] = rle(4, rle4_rows(WIDTH, HEIGHT))
    files["bad-rle8-with-bits-4.bmp"] = rle(4, rle8_rows(WIDTH, HEIGHT), compression=BI_RLE8)
    files["bad-rle4-with-bits-8.bmp"] = rle(8, rle4_rows(WIDTH, HEIGHT), compression=BI_RLE4)
    files["bad-rle8-with-bits-24.bmp"] = rle(24, rle8_rows(WIDTH, HEIGHT), compression=BI_RLE8)
    files["bad-rle4-with-bits-1.bmp"] = rle(1, rle4_rows(WIDTH, HEIGHT), compression=BI_RLE4)
    files["bad-bitfields-with-bits-24.bmp"] = with_u32(plain(24), 30, BI_BITFIELDS)
    files["bad-compression-jpeg.bmp"] = with_u32(plain(24), 30, 4)
    files["bad-compression-4294967295.bmp"] = with_u32(plain(24), 30, 0xFFFFFFFF)
    files[f"ok-{size}-rle8-run-past-row-end.bmp"] = rle(8, bytes([255, 9, 0, 0, 0, 1]))
    files[f"ok-{size}-rle8-absolute-past-row-end.bmp"] = rle(8, bytes([0, 200]) + bytes(range(200)) + b"\0\1")
    files[f"ok-{size}-rle8-absolute-past-data-end.bmp"] = rle(8, bytes([0, 255, 1, 2, 3]))
    files[f"ok-{size}-rle8-delta-past-image.bmp"] = rle(8, bytes([0, 2, 255, 255, 1, 7, 0, 1]))
    files[f"ok-{size}-rle8-rows-past-image.bmp"] = rle(8, bytes([5, 1, 0, 0]) * 40 + b"\0\1")
    files[f"ok-{size}-rle8-no-end-of-bitmap.bmp"] = rle(8, bytes([5, 1, 0, 0]))
    files[f"ok-{size}-rle8-escape-at-end.bmp"] = rle(8, bytes([5, 1, 0]))
    files[f"ok-{size}-rle4-run-past-row-end.bmp"] = rle(4, bytes([255, 0x12, 0, 0, 0, 1]))
    files[f"ok-{size}-rle4-absolute-odd-past-data-end.bmp"] = rle(4, bytes([0, 255, 0x12]))
    files["bad-rle8-top-down.bmp"] = with_u32(rle(8, rle8_rows(WIDTH, HEIGHT)), 22, -HEIGHT)
    files["ok-16384x1-rle8-end-of-bitmap-at-once.bmp"] = rle(8, b"\0\1", width=16384, height=1)

    # Width and height: zero, negative (a top-down file), the most negative 32-bit value, and
    # sides just past the limit the replay uses (16384).
    files["bad-height-0.bmp"] = with_u32(plain(24), 22, 0)
    files[f"ok-{size}-height-negative-top-down.bmp"] = plain(24, height=-HEIGHT)
    files["bad-height-int32-min.bmp"] = with_u32(plain(24), 22, INT32_MIN)
    files["bad-height-int32-min-bits-1.bmp"] = with_u32(plain(1), 22, INT32_MIN)
    files["bad-width-0.bmp"] = with_u32(plain(24), 18, 0)
    files["bad-width-negative.bmp"] = with_u32(plain(24), 18, -WIDTH)
    files["bad-width-int32-min.bmp"] = with_u32(plain(24), 18, INT32_MIN)
    files["bad-width-16385.bmp"] = with_u32(plain(24), 18, 16385)
    files["bad-height-16385.bmp"] = with_u32(plain(24), 22, 16385)
    files["bad-core-height-0.bmp"] = with_u16(plain(24, size=12), 20, 0)

    # Sizes whose byte count overflows 32 bits (32768 * 32768 * 4 = 2^32 wraps to 0), in a file
    # far too short to hold them.
    files["bad-overflow-32768x32768-bits-32.bmp"] = with_u32(with_u32(plain(32), 18, 32768), 22, 32768)
    files["bad-overflow-65536x65536-bits-24.bmp"] = with_u32(with_u32(plain(24), 18, 65536), 22, 65536)
    files["bad-overflow-core-65535x65535.bmp"] = with_u16(with_u16(plain(24, size=12), 18, 0xFFFF), 20, 0xFFFF)
    files["bad-overflow-2147483647x2147483647.bmp"] = with_u32(with_u32(plain(24), 18, 0x7FFFFFFF), 22, 0x7FFFFFFF)
    files["bad-pixels-exceed-file-16384x16384.bmp"] = with_u32(with_u32(plain(24), 18, 16384), 22, 16384)

    # The pixel-data offset: at the end of the file, past it, its largest value, inside headers.
    whole = plain(24)
    files["bad-offset-at-file-end.bmp"] = with_u32(whole, 10, len(whole))
    files["bad-offset-past-file-end.bmp"] = with_u32(whole, 10, len(whole) + 1000)
    files["bad-offset-4294967295.bmp"] = with_u32(whole, 10, 0xFFFFFFFF)
    files["bad-offset-0.bmp"] = with_u32(whole, 10, 0)
    files["bad-offset-inside-info-header.bmp"] = with_u32(whole, 10, 20)
    files["bad-offset-leaves-too-few-rows.bmp"] = with_u32(whole, 10, len(whole) - row_bytes(WIDTH, 24))
    files[f"ok-{size}-file-size-field-wrong.bmp"] = with_u32(whole, 2, 7)

    # Truncation inside the file header, the info header, the palette and the pixels.
    files["bad-empty.bmp"] = b""
    files["bad-signature-only.bmp"] = b"BM"
    files["bad-signature-wrong.bmp"] = b"BA" + whole[2:]
    files["bad-truncated-file-header.bmp"] = cut(whole, 10)
    files["bad-truncated-before-info-size.bmp"] = cut(whole, 16)
    files["bad-truncated-info-header-40.bmp"] = cut(whole, 14 + 30)
    files["bad-truncated-info-header-124.bmp"] = cut(plain(24, size=124), 14 + 64)
    files["bad-truncated-info-header-12.bmp"] = cut(plain(24, size=12), 14 + 8)
    files["bad-truncated-palette.bmp"] = cut(plain(8), 14 + 40 + 100)
    files["bad-truncated-pixels-mid-row.bmp"] = cut(whole, len(whole) - 7)
    files["bad-truncated-pixels-last-byte.bmp"] = cut(whole, len(whole) - 1)
    files["bad-truncated-pixels-bits-32.bmp"] = cut(plain(32), len(plain(32)) - 5)
    files["bad-truncated-pixels-bits-1.bmp"] = cut(plain(1), len(plain(1)) - 1)
    files[f"ok-{size}-truncated-rle8.bmp"] = cut(rle(8, rle8_rows(WIDTH, HEIGHT)), 14 + 40 + 1024 + 5)

    # Planes should be 1; the decoder does not read the field.
    files[f"ok-{size}-planes-0.bmp"] = with_u16(whole, 26, 0)
    files[f"ok-{size}-planes-2.bmp"] = with_u16(whole, 26, 2)

    # Masks of unusual widths, alpha bitfields, masks in 52- and 56-byte headers.
    files[f"ok-{size}-bits-16-bitfields-231.bmp"] = plain(16, compression=BI_BITFIELDS, masks=(0x30, 0x0E, 0x01, 0))
    files[f"ok-{size}-bits-16-bitfields-52.bmp"] = plain(16, size=52, compression=BI_BITFIELDS, masks=rgb565)
    files[f"ok-{size}-bits-32-bitfields-11-11-10.bmp"] = plain(
        32, compression=BI_BITFIELDS, masks=(0xFFE00000, 0x001FFC00, 0x3FF, 0))
    files[f"ok-{size}-bits-32-alphabitfields-56.bmp"] = plain(
        32, size=56, compression=BI_ALPHABITFIELDS, masks=(0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000))
    alpha40 = bmp(info_header(40, WIDTH, HEIGHT, 16, BI_ALPHABITFIELDS),
                  struct.pack("<IIII", 0x0F00, 0x00F0, 0x000F, 0xF000), pattern_pixels(WIDTH, HEIGHT, 16))
    files[f"ok-{size}-bits-16-alphabitfields-4444.bmp"] = alpha40
    files["bad-bitfields-split-mask.bmp"] = plain(16, compression=BI_BITFIELDS, masks=(0x5C00, 0x03E0, 0x1F, 0))
    files["bad-bits-2-core.bmp"] = plain(2, size=12)
    files["bad-os2-huffman.bmp"] = plain(1, size=64, compression=3)

    # OS/2 1.x palettes shorter than the depth allows: the gap before the pixels says how long.
    short = info_header(12, WIDTH, HEIGHT, 8)
    files[f"ok-{size}-bits-8-core-palette-5.bmp"] = bmp(short, palette_for(8, 3)[:15], pattern_pixels(WIDTH, HEIGHT, 8))
    short4 = info_header(12, WIDTH, HEIGHT, 4)
    files[f"ok-{size}-bits-4-core-palette-3.bmp"] = bmp(short4, palette_for(4, 3)[:9], pattern_pixels(WIDTH, HEIGHT, 4))

    # Run-length skips: a delta, an early end of line, an early end of bitmap.
    files[f"ok-{size}-rle8-delta-and-early-ends.bmp"] = rle(8, bytes([2, 1, 0, 2, 1, 1, 1, 2, 0, 0, 1, 3, 0, 1]))
    files[f"ok-{size}-rle4-delta-and-early-ends.bmp"] = rle(4, bytes([3, 0x12, 0, 2, 1, 0, 1, 0x33, 0, 0, 0, 1]))
    return files


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                                "corpus")
    os.makedirs(folder, exist_ok=True)
    for name, data in sorted(corpus().items()):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    print(f"{len(corpus())} files written to {folder}")


if __name__ == "__main__":
    main()
