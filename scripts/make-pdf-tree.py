#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes a folder tree of small PDF files for trying runs of many files.

    scripts/make-pdf-tree.py ROOT [COUNT]

COUNT files (default 2000) of 1 to 3 pages in nested folders under ROOT,
each page a few coloured rectangles and a line of text. Every 250th file is
damaged (cut short, or its cross-reference offsets wrong, or not a PDF at
all), every 400th is encrypted by qpdf with a user password ("secret"), and
every 300th is encrypted with only an owner password (it opens without
one). Prints how many of each kind it made.
"""
import os
import random
import subprocess
import sys


def pdf(pages, seed):
    rnd = random.Random(seed)
    objects = {}
    kids = " ".join(f"{4 + i} 0 R" for i in range(pages))
    objects[1] = b"<< /Type /Catalog /Pages 2 0 R >>"
    objects[2] = (f"<< /Type /Pages /Kids [{kids}] /Count {pages} "
                  f"/MediaBox [0 0 612 792] >>").encode()
    objects[3] = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
    for i in range(pages):
        ops = []
        for _ in range(3):
            r, g, b = (rnd.random() for _ in range(3))
            x, y = rnd.randrange(0, 400), rnd.randrange(0, 600)
            ops.append(f"{r:.2f} {g:.2f} {b:.2f} rg {x} {y} {rnd.randrange(50, 200)} "
                       f"{rnd.randrange(50, 200)} re f")
        ops.append(f"0 g BT /F1 18 Tf 72 740 Td (File {seed} page {i + 1}) Tj ET")
        content = "\n".join(ops).encode()
        page_number = 4 + i
        content_number = 4 + pages + i
        objects[page_number] = (f"<< /Type /Page /Parent 2 0 R /Contents {content_number} 0 R "
                                f"/Resources << /Font << /F1 3 0 R >> >> >>").encode()
        objects[content_number] = (b"<< /Length " + str(len(content)).encode() + b" >>\nstream\n"
                                   + content + b"\nendstream")
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for number in sorted(objects):
        offsets[number] = len(out)
        out += f"{number} 0 obj\n".encode() + objects[number] + b"\nendobj\n"
    xref = len(out)
    size = max(objects) + 1
    out += f"xref\n0 {size}\n0000000000 65535 f \n".encode()
    for number in range(1, size):
        out += f"{offsets[number]:010d} 00000 n \n".encode()
    out += f"trailer\n<< /Size {size} /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n".encode()
    return bytes(out)


def damage(data, kind):
    if kind == 0:
        return data[: len(data) // 2]  # cut short: no table, no trailer
    if kind == 1:
        return data.replace(b"0000000", b"0000099", 3)  # offsets that point nowhere
    return b"%PDF-1.4\nthis is not a PDF document at all\n"


def main():
    root = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    made = {"sound": 0, "damaged": 0, "encrypted_user": 0, "encrypted_owner": 0}
    for n in range(count):
        folder = os.path.join(root, f"set{n % 7}", f"year{2000 + n % 13}", f"box{n % 5}")
        os.makedirs(folder, exist_ok=True)
        name = os.path.join(folder, f"doc{n:05d}.pdf")
        data = pdf(1 + n % 3, n)
        if n % 250 == 17:
            data = damage(data, (n // 250) % 3)
            made["damaged"] += 1
        with open(name, "wb") as f:
            f.write(data)
        if n % 400 == 33 or n % 300 == 44:
            user = "secret" if n % 400 == 33 else ""
            subprocess.run(["qpdf", "--encrypt", user, "owner", "256", "--", name,
                            "--replace-input"], check=True)
            made["encrypted_user" if user else "encrypted_owner"] += 1
        elif n % 250 != 17:
            made["sound"] += 1
    print(" ".join(f"{k}={v}" for k, v in made.items()))


if __name__ == "__main__":
    main()
