#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the hostile documents bench/hostile_render.sh renders, into DIR:

  flate-bomb.pdf  page 1's content: /FlateDecode three times over, about
                  1 KB inflating to 10 GB of spaces; page 2 is plain
  lzw-bomb.pdf    page 1's content: /FlateDecode three times over an LZW stream
                  that expands to 10 GB of spaces; page 2 is plain
  big-size.pdf    12 KB, 4 plain pages, the trailer claiming /Size 10000000
  ten-pages.pdf   10 plain pages of text (the start-up cost of rendering)

Usage: make_hostile.py DIR
"""
import os
import sys
import zlib

GB = 1 << 30
MB = 1 << 20


def pdf(objects, size=None):
    """A PDF of objects (bytes, numbered from 1, 1 the catalog)."""
    out = bytearray(b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for i, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % i + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (
        size or len(objects) + 1, xref)
    return bytes(out)


def stream(entries, data):
    return b"<< %s /Length %d >>\nstream\n" % (entries, len(data)) + data + b"\nendstream"


def pages(contents):
    """Catalog, page tree and one page per content stream (dict, data)."""
    count = len(contents)
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
               b"<< /Type /Pages /Kids [%s] /Count %d /MediaBox [0 0 612 792] >>" % (
                   b" ".join(b"%d 0 R" % (3 + 2 * i) for i in range(count)), count),
               ]
    for i, (entries, data) in enumerate(contents):
        objects.append(b"<< /Type /Page /Parent 2 0 R /Contents %d 0 R "
                       b"/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 "
                       b"/BaseFont /Helvetica >> >> >> >>" % (4 + 2 * i))
        objects.append(stream(entries, data))
    return objects


PLAIN = b"0 0 1 rg 100 100 300 300 re f BT /F1 24 Tf 72 700 Td (Page) Tj ET"


def deflated_spaces(total):
    """The zlib stream of total bytes of spaces, from one flushed block
    repeated: what a deflater writes, without deflating them all."""
    chunk = b" " * MB
    z = zlib.compressobj(9)
    head = z.compress(chunk) + z.flush(zlib.Z_FULL_FLUSH)
    block = z.compress(chunk) + z.flush(zlib.Z_FULL_FLUSH)
    parts = [head] + [block] * (total // MB - 1)
    # The final block, then the checksum of all the data.
    tail = z.flush(zlib.Z_FINISH)
    adler = 1
    big = chunk * 16
    for _ in range(total // len(big)):
        adler = zlib.adler32(big, adler)
    return b"".join(parts) + tail[:-4] + adler.to_bytes(4, "big")


def lzw_spaces(total):
    """An LZW stream (9 to 12-bit codes, early change) of about total
    bytes of spaces: on one byte repeated each code is one longer than the
    last, and the table is cleared before it fills, at a code count that
    keeps each cycle a whole number of bytes so the cycles repeat."""
    def cycle(last):
        codes, bits, next_code, width = [], 0, 258, 9
        codes.append((32, width))
        for code in range(258, last + 1):
            codes.append((code, width))
            next_code += 1
            if next_code + 1 >= 2048:
                width = 12
            elif next_code + 1 >= 1024:
                width = 11
            elif next_code + 1 >= 512:
                width = 10
        # The first code after a clear adds no entry; from the second on,
        # each adds one: the width used for the clear at the end is the
        # width after the last entry.
        codes.append((256, width))
        return codes
    for last in range(4000, 4090):
        body = cycle(last)
        if sum(w for _, w in body) % 8 == 0:
            break
    per_cycle = sum(code - 256 if code >= 258 else 1 for code, _ in body if code != 256)
    cycles = max(1, total // per_cycle)
    acc, nbits, out = 0, 0, bytearray()

    def put(code, width):
        nonlocal acc, nbits
        acc = (acc << width) | code
        nbits += width
        while nbits >= 8:
            nbits -= 8
            out.append((acc >> nbits) & 0xFF)
        acc &= (1 << nbits) - 1

    put(256, 9)
    for _ in range(cycles):
        for code, width in body:
            put(code, width)
    put(257, 9)
    if nbits:
        out.append((acc << (8 - nbits)) & 0xFF)
    return bytes(out), cycles * per_cycle


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)

    def write(name, data):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        print("%-16s %8d bytes" % (name, len(data)))

    flate = zlib.compress(zlib.compress(deflated_spaces(10 * GB), 9), 9)
    write("flate-bomb.pdf", pdf(pages([
        (b"/Filter [/FlateDecode /FlateDecode /FlateDecode]", flate), (b"", PLAIN)])))
    lzw, expands = lzw_spaces(10 * GB)
    print("  (the LZW stream: %d bytes expanding to %d)" % (len(lzw), expands))
    packed = zlib.compress(zlib.compress(zlib.compress(lzw, 9), 9), 9)
    write("lzw-bomb.pdf", pdf(pages([
        (b"/Filter [/FlateDecode /FlateDecode /FlateDecode /LZWDecode]", packed),
        (b"", PLAIN)])))
    padding = b"% " + b"padding " * 1400 + b"\n"
    write("big-size.pdf", pdf(pages([(b"", PLAIN + b"\n" + padding)] + [(b"", PLAIN)] * 3),
                              size=10000000))
    write("ten-pages.pdf", pdf(pages([(b"", PLAIN)] * 10)))


if __name__ == "__main__":
    main()
