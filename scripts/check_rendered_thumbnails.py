#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks rendered thumbnails against independent tools.

For each PDF given (or every PDF of the shared corpus with --corpus), runs
    pagemint-cli SRC OUT --render-thumbs [--password PW]
and then checks OUT:
  - every page has a thumbnail (pagemint-cli --info) and Poppler's GLib
    binding returns each one (poppler_page_get_thumbnail_size);
  - qpdf --check is clean;
  - each thumbnail (pagemint-cli --extract-thumbs) against pdftoppm
    -scale-to 128 -png -cropbox of the same page: the same size within one
    pixel, and the mean absolute difference per sample over the common area.
Prints one line per file and a summary. Needs python3-gi and
gir1.2-poppler-0.18, qpdf, poppler-utils and ImageMagick.

    check_rendered_thumbnails.py CLI [--corpus DIR] [FILE[:PASSWORD]]...
"""
import csv
import os
import subprocess
import sys
import tempfile

import gi

gi.require_version("Poppler", "0.18")
from gi.repository import Gio, Poppler  # noqa: E402

SIZE_SLACK = 1      # pixels
MEAN_LIMIT = 4.0    # levels of 255, per sample


def run(args, **kw):
    return subprocess.run(args, capture_output=True, **kw)


def ppm(path):
    """Pixels of a picture file as (width, height, bytes) via convert; None
    when it cannot be read (pdftoppm leaves an empty file for a page it
    cannot draw)."""
    out = run(["convert", path, "-depth", "8", "ppm:-"]).stdout
    parts, pos = [], 0
    while len(parts) < 4:
        while out[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while end < len(out) and not out[end:end + 1].isspace():
            end += 1
        if end == pos:
            return None
        parts.append(out[pos:end])
        pos = end
    return int(parts[1]), int(parts[2]), out[pos + 1:]


def mean_difference(a, b):
    (aw, ah, ad), (bw, bh, bd) = a, b
    w, h = min(aw, bw), min(ah, bh)
    total = 0
    for y in range(h):
        ra = ad[y * aw * 3:(y * aw + w) * 3]
        rb = bd[y * bw * 3:(y * bw + w) * 3]
        total += sum(abs(p - q) for p, q in zip(ra, rb))
    return total / (w * h * 3)


def check(cli, source, password, work):
    out = os.path.join(work, "out.pdf")
    pw = ["--password", password] if password else []
    r = run([cli, source, out, "--render-thumbs"] + pw)
    if r.returncode != 0:
        return "pagemint-cli failed: " + r.stderr.decode(errors="replace").strip(), None
    warnings = r.stderr.decode(errors="replace").count("warning:")
    info = run([cli, "--info", out] + pw).stdout.decode()
    pages = int(info.split("pages: ")[1].split("\n")[0])
    thumbs = [t for t in info.split("thumbnails: ")[1].split("\n")[0].split() if t != "none"]
    qpdf = run(["qpdf", "--check"] + (["--password=" + password] if password else []) + [out])
    qpdf_ok = qpdf.returncode == 0 and b"WARNING" not in qpdf.stdout
    doc = Poppler.Document.new_from_file(Gio.File.new_for_path(out).get_uri(), password or None)
    glib = sum(1 for i in range(doc.get_n_pages()) if doc.get_page(i).get_thumbnail_size()[0])
    folder = os.path.join(work, "thumbs")
    run([cli, out, "--extract-thumbs", folder] + pw)
    worst_size, worst_mean = 0, 0.0
    for n in range(1, pages + 1):
        ours = os.path.join(folder, "page-%d.png" % n)
        if not os.path.exists(ours):
            continue
        ref = os.path.join(work, "ref")
        run(["pdftoppm", "-scale-to", "128", "-png", "-cropbox", "-singlefile", "-f", str(n),
             "-l", str(n)] + (["-upw", password] if password else []) + [source, ref])
        if not os.path.exists(ref + ".png"):
            continue
        a, b = ppm(ours), ppm(ref + ".png")
        os.remove(ref + ".png")
        if a is None:  # our thumbnail unreadable: a failure
            worst_mean = 255.0
            continue
        if b is None:  # no reference drawing for this page
            continue
        worst_size = max(worst_size, abs(a[0] - b[0]), abs(a[1] - b[1]))
        worst_mean = max(worst_mean, mean_difference(a, b))
    ok = (len(thumbs) == pages and glib == pages and qpdf_ok and worst_size <= SIZE_SLACK
          and worst_mean <= MEAN_LIMIT)
    line = "pages %4d thumbs %4d glib %4d qpdf %-5s size±%d mean %.2f warnings %d" % (
        pages, len(thumbs), glib, "clean" if qpdf_ok else "FAIL", worst_size, worst_mean, warnings)
    return line, ok


def main():
    args = sys.argv[1:]
    if not args:
        print(__doc__)
        return 2
    cli, files = args[0], []
    rest = args[1:]
    if rest[:1] == ["--corpus"]:
        root = rest[1]
        with open(os.path.join(root, "MANIFEST.tsv")) as f:
            for row in csv.DictReader(f, delimiter="\t"):
                if row["kind"] == "pdf" and row["user_password"] != "?":
                    files.append((os.path.join(root, row["path"]), row["user_password"]))
        rest = rest[2:]
    for item in rest:
        path, _, password = item.partition(":")
        files.append((path, password))
    good = bad = skipped = 0
    for path, password in files:
        with tempfile.TemporaryDirectory() as work:
            line, ok = check(cli, path, password, work)
        print("%-60s %s" % (os.path.basename(path)[:60], line))
        if ok is None:
            skipped += 1
        elif ok:
            good += 1
        else:
            bad += 1
    print("files: %d agree, %d disagree, %d not loaded by pagemint-cli" % (good, bad, skipped))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
