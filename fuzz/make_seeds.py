#!/usr/bin/env python3
# SPDX-License-Identifier: Zlib
"""Writes the fuzzers' seed corpus into fuzz/corpus/<target>/: small valid files
of every form the readers accept (BMP headers and pixel formats, WAV sample
formats, grid files, float sample buffers), a few bytes each. The resource and
reload targets take a leading byte that picks the kind (0 raw, 1 image, 2 sound).

    python3 fuzz/make_seeds.py    # rewrites the seeds; the files are committed
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus")
ROOT = os.path.dirname(HERE)


def bmp(width, height, bpp, rows, palette=b"", compression=0, masks=b"", header=40):
    """A BMP from already padded pixel rows (bottom-up unless height < 0)."""
    pixels = b"".join(rows)
    if header == 12:  # OS/2 core header: 16-bit sizes, 3-byte palette entries
        info = struct.pack("<IHHHH", 12, width, height, 1, bpp)
    else:
        info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, compression, len(pixels),
                           2835, 2835, len(palette) // 4, 0)
    offset = 14 + len(info) + len(masks) + len(palette)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + masks + palette + pixels


def bmps():
    pal2 = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    pal16 = b"".join(bytes([i * 16, 255 - i * 16, i * 8, 0]) for i in range(16))
    return {
        "rgb24_1x1.bmp": bmp(1, 1, 24, [bytes([10, 20, 30, 0])]),
        "rgb24_topdown_1x2.bmp": bmp(1, -2, 24, [bytes([1, 2, 3, 0]), bytes([4, 5, 6, 0])]),
        "argb32_bitfields_2x2.bmp": bmp(
            2, 2, 32, [bytes([0, 0, 255, 255, 0, 255, 0, 128]), bytes([255, 0, 0, 64, 9, 9, 9, 0])],
            compression=3, masks=struct.pack("<IIII", 0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
        "rgb555_2x1.bmp": bmp(2, 1, 16, [struct.pack("<HH", 0x7C00, 0x03E0)]),
        "pal8_2x2.bmp": bmp(2, 2, 8, [bytes([0, 1, 0, 0]), bytes([1, 0, 0, 0])], palette=pal2),
        "pal4_3x1.bmp": bmp(3, 1, 4, [bytes([0x1F, 0x80, 0, 0])], palette=pal16),
        "pal1_9x1.bmp": bmp(9, 1, 1, [bytes([0xA5, 0x80, 0, 0])], palette=pal2),
        # RLE8: a run of 2 of colour 1, end of line, a run of 2 of colour 0, end of bitmap.
        "rle8_2x2.bmp": bmp(2, 2, 8, [bytes([2, 1, 0, 0, 2, 0, 0, 1])], palette=pal2,
                            compression=1),
        "rle4_4x1.bmp": bmp(4, 1, 4, [bytes([4, 0x1E, 0, 1])], palette=pal16, compression=2),
        "core24_1x1.bmp": bmp(1, 1, 24, [bytes([200, 100, 50, 0])], header=12),
    }


def wav(fmt_tag, channels, rate, bits, data, fmt_extra=b"", block=None):
    block = block if block is not None else channels * bits // 8
    fmt = struct.pack("<HHIIHH", fmt_tag, channels, rate, rate * block, block, bits) + fmt_extra
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt
    body += b"data" + struct.pack("<I", len(data)) + data
    if len(data) % 2:
        body += b"\0"
    return b"RIFF" + struct.pack("<I", len(body)) + body


def wavs():
    s16 = struct.pack("<8h", 0, 8000, 16000, 8000, 0, -8000, -16000, -8000)
    pcm_guid = struct.pack("<IHH8s", 1, 0, 0x10, bytes([0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71]))
    ima_block = struct.pack("<hBB", 0, 0, 0) + bytes(range(0x10, 0x30, 2))  # 4 + 16 bytes
    ms_coefs = struct.pack("<14h", 256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232)
    ms_block = struct.pack("<Bhhhh", 0, 16, 100, 50, 25) + bytes(range(0x11, 0x21))  # 7 + 16
    return {
        "u8_mono.wav": wav(1, 1, 8000, 8, bytes([128, 160, 192, 160, 128, 96, 64, 96])),
        "s16_mono.wav": wav(1, 1, 22050, 16, s16),
        "s16_stereo.wav": wav(1, 2, 48000, 16, s16),
        "s24_mono.wav": wav(1, 1, 44100, 24, bytes(range(12))),
        "s32_mono.wav": wav(1, 1, 44100, 32, struct.pack("<3i", 0, 1 << 30, -(1 << 30))),
        "f32_mono.wav": wav(3, 1, 44100, 32, struct.pack("<4f", 0.0, 0.5, -0.5, 1.0)),
        "alaw_mono.wav": wav(6, 1, 8000, 8, bytes([0xD5, 0x55, 0xAA, 0x2A])),
        "mulaw_mono.wav": wav(7, 1, 8000, 8, bytes([0xFF, 0x7F, 0x80, 0x00])),
        "extensible_s16.wav": wav(0xFFFE, 1, 22050, 16, s16,
                                  fmt_extra=struct.pack("<HHI", 22, 16, 4) + pcm_guid),
        "ima_adpcm_mono.wav": wav(0x11, 1, 8000, 4, ima_block, block=len(ima_block),
                                  fmt_extra=struct.pack("<HH", 2, 33)),
        "ms_adpcm_mono.wav": wav(2, 1, 8000, 4, ms_block, block=len(ms_block),
                                 fmt_extra=struct.pack("<HHH", 32, 34, 7) + ms_coefs),
    }


def grids():
    with open(os.path.join(ROOT, "res", "world", "world.csv"), "rb") as f:
        real = f.read()
    row = ",".join("0" if i % 3 else "1" for i in range(20)).encode()
    return {
        "world.csv": real,
        "crlf_rows.csv": (row + b"\r\n") * 3,
        "blank_lines.csv": row + b"\n\n\n  " + row + b"\n",
        "semicolons.csv": row.replace(b",", b";") + b"\n",
        "long_line.csv": row + b"," + row + b"\n",
        "short_rows.csv": b"0,1\n2\n\n",
        "no_final_newline.csv": row,
        "nul_bytes.csv": b"0,\0,1\n" + row,
        "empty_first_line.csv": b"\n" + row,
    }


def floats(*values):
    return struct.pack("<%df" % len(values), *values)


def mic():
    sine = [math.sin(2 * math.pi * i / 16) for i in range(16)]
    return {
        "silence.f32": floats(0.0, 0.0, 0.0, 0.0),
        "negative_zero.f32": floats(-0.0),
        "square_full.f32": floats(1.0, -1.0, 1.0, -1.0),
        "sine.f32": floats(*sine),
        "threshold.f32": floats(0.0316, -0.0316),
        "three_bytes.raw": b"\x00\x00\x80",
        "one_byte.raw": b"\x01",
        "odd_tail.raw": floats(0.25) + b"\x3f\x80",
        "nan.f32": struct.pack("<I", 0x7FC00000) + floats(0.5),
        "infinity.f32": struct.pack("<II", 0x7F800000, 0xFF800000),
        "denormal.f32": struct.pack("<II", 0x00000001, 0x807FFFFF),
        "huge.f32": floats(3.0e38, -3.0e38),
    }


def write(target, files):
    # Files are only (re)written, never removed: inputs that once made a target
    # fail are kept beside the seeds as regressions (names with "found").
    d = os.path.join(OUT, target)
    os.makedirs(d, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(d, name), "wb") as f:
            f.write(data)


def main():
    images, sounds = bmps(), wavs()
    raw = {"raw_empty": b"", "raw_text": b"hello\n", "raw_binary": bytes(range(0, 256, 17))}
    resource = {}
    for kind, files in ((0, raw), (1, images), (2, sounds)):
        for name, data in files.items():
            resource["%d_%s" % (kind, name)] = bytes([kind]) + data
    resource["3_refused_kind"] = b"\x03abc"
    write("resource", resource)
    reload = {k: v for k, v in resource.items()
              if k[0] in "012" and not k.startswith(("1_core", "1_rle4", "2_ms", "2_ima"))}
    write("reload", reload)
    write("world", grids())
    write("mic", mic())


if __name__ == "__main__":
    main()
