#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What qpdf and pagemint-cli make of the damaged files of the corpus and
of damaged copies of a few sound ones, one table row per file.

  scripts/damage-table.py --cli build/release/cli/pagemint-cli [--baseline OLD_CLI]

Rows: the corpus files whose qpdf_check is not "ok" or whose notes speak of
damage, then for a few sound files: startxref off by a few bytes, the table
removed, the file cut at several points, and the objects shifted (bytes
inserted after the header, so that every offset is wrong). Columns: qpdf's
page count (or its failure), whether qpdf writes the file, our page count
(or our message) now and, with --baseline, before. A row is marked "+"
when we find more pages than qpdf (pages gathered from a lost page tree),
and "<>" when qpdf opens a file that we refuse or open with fewer pages.
"""
import argparse
import os
import re
import subprocess
import tempfile

TIMEOUT = 20
SOUND = ["pdf/real/qpdf/11-pages.pdf", "pdf/real/qpdf/hybrid-xref.pdf",
         "pdf/real/qpdf/c-r3.pdf", "pdf/real/qpdf/20-pages.pdf", "pdf/real/podofo/sample.pdf"]


def run(command):
    try:
        done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=TIMEOUT)
        return done.returncode, done.stdout.decode("utf-8", "replace"), \
            done.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return "hang", "", ""


def qpdf(path, work, password):
    option = ["--password=" + password] if password else []
    rc, out, _ = run(["qpdf", "--show-npages"] + option + [path])
    pages = out.split()[0] if rc in (0, 3) and out.split() else "fails"
    wrote, _, _ = run(["qpdf"] + option + [path, os.path.join(work, "q.pdf")])
    return pages, "writes" if wrote in (0, 3) else "fails"


def ours(cli, path, work, password):
    if not cli:
        return ""
    option = ["--password", password] if password else []
    rc, out, err = run([cli, "--info", path] + option)
    match = re.search(r"^pages: (\d+)", out, re.M)
    if rc == 0 and match:
        wrote, _, _ = run([cli, path, os.path.join(work, "p.pdf")] + option)
        check, _, _ = run(["qpdf", "--check"] + (["--password=" + password] if password else [])
                          + [os.path.join(work, "p.pdf")])
        note = "" if wrote == 0 and check == 0 else " (write %s, check %s)" % (wrote, check)
        rebuilt = " rebuilt" if "rebuilt" in err else ""
        return match.group(1) + rebuilt + note
    lines = [l for l in err.splitlines() if "warning" not in l]
    text = lines[0].replace("pagemint-cli: ", "").replace(path, "FILE") if lines else str(rc)
    return "refused: " + text[:70]


def variants(corpus, passwords):
    for name in SOUND:
        data = open(os.path.join(corpus, name), "rb").read()
        short = os.path.basename(name)
        password = passwords.get(name, "")
        at = data.rfind(b"startxref")
        number = re.match(rb"startxref\s*(\d+)", data[at:])
        offset = int(number.group(1))
        start = at + number.start(1)
        yield short + " startxref+5", data[:start] + str(offset + 5).encode() + \
            data[start + len(number.group(1)):], password
        yield short + " startxref=0", data[:start] + b"0" + data[start + len(number.group(1)):], \
            password
        table = data.rfind(b"\nxref") + 1
        trailer = data.find(b"trailer", table)
        if table > 0 and trailer > 0:
            yield short + " table removed", data[:table] + data[trailer:], password
        for part in (0.5, 0.9):
            yield short + " cut at %d%%" % (part * 100), data[:int(len(data) * part)], password
        yield short + " cut before startxref", data[:at], password
        header = data.find(b"\n") + 1
        yield short + " objects shifted", data[:header] + b"%" + b" " * 37 + b"\n" + \
            data[header:], password


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--baseline")
    parser.add_argument("--corpus", default=os.path.join(os.path.dirname(__file__), "..", "..",
                                                         "shared", "corpus"))
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="pagemint-table-")
    rows = []
    passwords = {}
    with open(os.path.join(args.corpus, "MANIFEST.tsv"), encoding="utf-8") as manifest:
        header = manifest.readline().rstrip("\n").split("\t")
        for line in manifest:
            row = dict(zip(header, line.rstrip("\n").split("\t")))
            if row.get("user_password", "") not in ("", "?"):
                passwords[row["path"]] = row["user_password"]
            damaged = "damage" in row.get("notes", "") or row.get("xref") == "broken"
            if row.get("kind") == "pdf" and (row.get("qpdf_check") != "ok" or damaged):
                rows.append((row["path"].replace("pdf/real/", ""),
                             os.path.join(args.corpus, row["path"]),
                             passwords.get(row["path"], "")))
    for label, data, password in variants(args.corpus, passwords):
        path = os.path.join(work, "%d.pdf" % len(rows))
        with open(path, "wb") as out:
            out.write(data)
        rows.append((label, path, password))
    print("| file | qpdf pages | qpdf write | ours now | ours before |")
    print("|---|---|---|---|---|")
    for label, path, password in rows:
        q_pages, q_write = qpdf(path, work, password)
        now = ours(args.cli, path, work, password)
        before = ours(args.baseline, path, work, password)
        differs = q_pages != "fails" and not now.startswith(q_pages + " ") and now != q_pages
        ours_count = now.split(" ")[0]
        more = differs and ours_count.isdigit() and int(ours_count) > int(q_pages)
        mark = "+ " if more else "<> " if differs else ""
        print("| %s%s | %s | %s | %s | %s |" % (mark, label, q_pages, q_write,
                                               now, before))
    subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
