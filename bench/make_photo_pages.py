#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes photos.pdf: PAGES pages (default 300), each a distinct 1024 x 768
baseline JPEG cut from a real photograph with a caption under it.

    make_photo_pages.py PICTURES_DIR OUT.pdf [PAGES]

The photographs are the colour JPEGs of PICTURES_DIR that are at least
200 pixels on each side (the shared corpus's pictures/jpeg); each page
crops one of them at its own size and place and scales the crop to
1024 x 768 with ImageMagick (convert), quality 85. Real photographs are
smoother than bench_roundtrip_files's synthetic ones (gradients, noise
and an XOR pattern), and are what a photographic document holds.
"""
import os
import subprocess
import sys
import tempfile


def photographs(folder):
    found = []
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if not name.lower().endswith(('.jpg', '.jpeg')):
            continue
        probe = subprocess.run(['identify', '-format', '%w %h %[colorspace]', path],
                               capture_output=True, text=True, check=False)
        fields = probe.stdout.split()
        if probe.returncode == 0 and len(fields) == 3 and fields[2] == 'sRGB' and \
                int(fields[0]) >= 200 and int(fields[1]) >= 200:
            found.append(path)
    return found


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    pages = int(sys.argv[3]) if len(sys.argv) == 4 else 300
    sources = photographs(sys.argv[1])
    if not sources:
        sys.exit('no photographs in ' + sys.argv[1])
    gravities = ['center', 'northwest', 'northeast', 'southwest', 'southeast', 'north', 'south']
    objects = {}
    kids = []
    font = 3
    objects[font] = b'<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>'
    with tempfile.TemporaryDirectory() as work:
        for i in range(pages):
            source = sources[i % len(sources)]
            variant = i // len(sources)
            share = 100 - (variant * 7) % 50
            jpeg = os.path.join(work, 'p.jpg')
            subprocess.run(['convert', source, '-gravity', gravities[variant % len(gravities)],
                            '-crop', f'{share}%x{share}%+0+0', '+repage', '-resize',
                            '1024x768!', '-quality', '85', '-strip', jpeg], check=True,
                           stderr=subprocess.DEVNULL)
            with open(jpeg, 'rb') as f:
                data = f.read()
            image, content, page = 4 + 3 * i, 5 + 3 * i, 6 + 3 * i
            text = b'BT /F1 14 Tf 18 270 Td (Photograph %d) Tj ET' % (i + 1)
            draw = b'q 576 0 0 432 18 300 cm /Im1 Do Q ' + text
            objects[image] = (b'<< /Type /XObject /Subtype /Image /Width 1024 /Height 768 '
                              b'/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /DCTDecode '
                              b'/Length %d >>\nstream\n' % len(data) + data + b'\nendstream')
            objects[content] = b'<< /Length %d >>\nstream\n' % len(draw) + draw + b'\nendstream'
            objects[page] = (b'<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources '
                             b'<< /XObject << /Im1 %d 0 R >> /Font << /F1 %d 0 R >> >> '
                             b'/Contents %d 0 R >>' % (image, font, content))
            kids.append(page)
    objects[1] = b'<< /Type /Catalog /Pages 2 0 R >>'
    objects[2] = b'<< /Type /Pages /Count %d /Kids [%s] >>' % (
        pages, b' '.join(b'%d 0 R' % k for k in kids))
    out = bytearray(b'%PDF-1.4\n%\xe2\xe3\xcf\xd3\n')
    offsets = {}
    for number in sorted(objects):
        offsets[number] = len(out)
        out += b'%d 0 obj\n' % number + objects[number] + b'\nendobj\n'
    size = max(objects) + 1
    xref = len(out)
    out += b'xref\n0 %d\n0000000000 65535 f \n' % size
    for number in range(1, size):
        out += b'%010d 00000 n \n' % offsets[number]
    out += b'trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n' % (size, xref)
    with open(sys.argv[2], 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main()
