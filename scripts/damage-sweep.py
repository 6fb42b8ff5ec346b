#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Random-damage sweep: how many damaged copies of the corpus PDFs qpdf
rewrites and how many pagemint-cli rewrites.

Each copy is one corpus PDF with a few random byte edits (bytes replaced,
removed or inserted), made from a fixed seed so that a run can be
repeated exactly. Both tools rewrite the copy under `timeout`; a timeout
counts as a hang, a signal or a sanitizer report as a crash. Where both
wrote, the page counts (`qpdf --show-npages` against `pagemint-cli
--info`) are compared and our output is given to `qpdf --check`.

  scripts/damage-sweep.py --cli build/release/cli/pagemint-cli [--count 3000]
      [--seed 9] [--jobs 2] [--corpus ../shared/corpus] [--baseline OLD_CLI]

With --baseline, a second pagemint-cli (an older build) is run on the same
copies, so that before and after are counted in one run. The copies live
in a temporary directory that is removed at the end.
"""
import argparse
import collections
import concurrent.futures
import os
import random
import re
import subprocess
import sys
import tempfile

TIMEOUT = 20


def corpus_files(corpus):
    """The corpus PDFs, each with its manifest row."""
    rows = {}
    with open(os.path.join(corpus, "MANIFEST.tsv"), encoding="utf-8") as manifest:
        header = manifest.readline().rstrip("\n").split("\t")
        for line in manifest:
            row = dict(zip(header, line.rstrip("\n").split("\t")))
            if row.get("kind") == "pdf":
                rows[os.path.join(corpus, row["path"])] = row
    return rows


def damage(data, rng):
    """A few random edits: bytes replaced, removed or inserted."""
    data = bytearray(data)
    for _ in range(rng.randint(1, 4)):
        if not data:
            break
        at = rng.randrange(len(data))
        kind = rng.random()
        n = rng.randint(1, 8)
        if kind < 0.5:
            for k in range(at, min(len(data), at + n)):
                data[k] = rng.randrange(256)
        elif kind < 0.8:
            del data[at:at + rng.randint(1, 16)]
        else:
            data[at:at] = bytes(rng.randrange(256) for _ in range(n))
    return bytes(data)


def run(command):
    try:
        done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return "hang", b""
    err = done.stderr
    if done.returncode < 0 or b"Sanitizer" in err or b"runtime error" in err:
        return "crash", err
    return done.returncode, err


def qpdf_pages(path):
    done = subprocess.run(["qpdf", "--show-npages", path], stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=TIMEOUT)
    try:
        return int(done.stdout.split()[0])
    except (IndexError, ValueError):
        return None


def our_pages(cli, path):
    done = subprocess.run([cli, "--info", path], stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=TIMEOUT)
    match = re.search(rb"^pages: (\d+)", done.stdout, re.M)
    return int(match.group(1)) if match else None


def first_line(err):
    for line in err.decode("utf-8", "replace").splitlines():
        if "warning" not in line.lower():
            return line.strip()[:140]
    return err.decode("utf-8", "replace").strip()[:140]


def check_kind(output):
    """What qpdf --check found in our output: "structure" when a complaint is
    about the objects we wrote, "stream data" when every complaint is about
    the bytes of a stream copied through as the source held them (a damaged
    page content or compressed data)."""
    for line in output.splitlines():
        if "WARNING" not in line and "ERROR" not in line:
            continue
        if "content stream" in line or "(content, offset" in line or re.search(
                r"inflate|LZW|jpeg|JPEG|Huffman|base 85|re-processed|input stream is complete"
                r"|SOS before|decod", line):
            continue
        return "structure"
    return "stream data"


def encrypted(path):
    done = subprocess.run(["qpdf", "--show-encryption", path], stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=TIMEOUT)
    return b"File is not encrypted" not in done.stdout


def sweep_one(job):
    index, source, data, work, cli, baseline, source_row = job
    base = os.path.join(work, "%05d" % index)
    damaged = base + ".pdf"
    with open(damaged, "wb") as out:
        out.write(data)
    result = {"index": index, "source": source}
    q_rc, _ = run(["qpdf", damaged, base + "-q.pdf"])
    result["qpdf"] = q_rc in (0, 3)
    result["qpdf_rc"] = q_rc
    p_rc, p_err = run([cli, damaged, base + "-p.pdf"])
    result["ours"] = p_rc == 0
    result["ours_rc"] = p_rc
    result["ours_err"] = first_line(p_err)
    result["rebuilt"] = b"rebuilt" in p_err
    # An encrypted source that qpdf wrote as a plain file: its trailer was
    # damaged, and the streams it wrote are still encrypted bytes.
    result["qpdf_plain"] = bool(result["qpdf"] and source_row.get("encrypted", "none") != "none"
                                and not encrypted(base + "-q.pdf"))
    if baseline:
        b_rc, _ = run([baseline, damaged, base + "-b.pdf"])
        result["baseline"] = b_rc == 0
        result["baseline_rc"] = b_rc
    if result["qpdf"] and result["ours"]:
        result["pages"] = (qpdf_pages(damaged), our_pages(cli, damaged))
        check = subprocess.run(["qpdf", "--check", base + "-p.pdf"], stdin=subprocess.DEVNULL,
                               capture_output=True, timeout=TIMEOUT)
        result["check"] = check.returncode
        full = (check.stdout + check.stderr).decode("utf-8", "replace")
        result["check_out"] = full[-300:]
        result["check_kind"] = check_kind(full) if check.returncode != 0 else ""
        if check.returncode != 0:
            # The same check on qpdf's own output of the damaged copy.
            theirs = subprocess.run(["qpdf", "--check", base + "-q.pdf"],
                                    stdin=subprocess.DEVNULL, capture_output=True,
                                    timeout=TIMEOUT)
            result["qpdf_check"] = theirs.returncode
        try:
            result["source_pages"] = int(source_row.get("pages", ""))
        except ValueError:
            result["source_pages"] = None
    if result["ours"] and not result["qpdf"]:
        check = subprocess.run(["qpdf", "--check", base + "-p.pdf"], stdin=subprocess.DEVNULL,
                               capture_output=True, timeout=TIMEOUT)
        result["ours_only_check"] = check.returncode
    for suffix in ("-q.pdf", "-p.pdf", "-b.pdf"):
        if os.path.exists(base + suffix):
            os.remove(base + suffix)
    if result["ours"] != result["qpdf"] or result["ours_rc"] in ("hang", "crash") \
            or result.get("check", 0) != 0 or \
            ("pages" in result and result["pages"][0] != result["pages"][1]):
        return result  # the copy is kept for a look
    os.remove(damaged)
    return result


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--baseline")
    parser.add_argument("--corpus", default=os.path.join(os.path.dirname(__file__), "..", "..",
                                                         "shared", "corpus"))
    parser.add_argument("--count", type=int, default=3000)
    parser.add_argument("--seed", type=int, default=9)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--keep", help="directory to keep the interesting copies in")
    args = parser.parse_args()
    rows = corpus_files(args.corpus)
    files = sorted(rows)
    contents = {path: open(path, "rb").read() for path in files}
    rng = random.Random(args.seed)
    work = args.keep or tempfile.mkdtemp(prefix="pagemint-sweep-")
    os.makedirs(work, exist_ok=True)
    jobs = []
    for index in range(args.count):
        source = rng.choice(files)
        jobs.append((index, source, damage(contents[source], rng), work,
                     os.path.abspath(args.cli), args.baseline and os.path.abspath(args.baseline),
                     rows[source]))
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        results = list(pool.map(sweep_one, jobs))
    report(results, args, work)
    if not args.keep:
        subprocess.run(["rm", "-rf", work])


def report(results, args, work):
    count = collections.Counter()
    for r in results:
        count["qpdf"] += r["qpdf"]
        count["ours"] += r["ours"]
        count["both"] += r["qpdf"] and r["ours"]
        count["qpdf_only"] += r["qpdf"] and not r["ours"]
        count["ours_only"] += r["ours"] and not r["qpdf"]
        count["hang"] += r["ours_rc"] == "hang"
        count["crash"] += r["ours_rc"] == "crash"
        count["qpdf_hang"] += r["qpdf_rc"] == "hang"
        count["rebuilt"] += r["rebuilt"]
        if "baseline" in r:
            count["baseline"] += r["baseline"]
            count["baseline_of_qpdf"] += r["baseline"] and r["qpdf"]
        count["qpdf_plain_only"] += r["qpdf_plain"] and not r["ours"]
        count["ours_only_clean"] += r.get("ours_only_check") == 0
        if "pages" in r:
            q, p = r["pages"]
            if q != p:
                count["page_mismatch"] += 1
                if p == r.get("source_pages"):
                    count["pages_as_source"] += 1
                elif q is not None and p is not None and p > q:
                    count["pages_more"] += 1
            count["check_failed"] += r["check"] != 0
            count["check_structure"] += r.get("check_kind") == "structure"
            count["check_qpdf_too"] += r["check"] != 0 and r.get("qpdf_check", 0) != 0
    print("damaged copies: %d (seed %d, corpus files: %d)" %
          (len(results), args.seed, len({r["source"] for r in results})))
    print("qpdf wrote: %d" % count["qpdf"])
    print("we wrote:   %d (of them with the rebuild warning: %d)" % (count["ours"], count["rebuilt"]))
    if args.baseline:
        print("baseline wrote: %d (%d of qpdf's)" % (count["baseline"], count["baseline_of_qpdf"]))
    print("both: %d, qpdf only: %d, ours only: %d (of them passing qpdf --check: %d)" %
          (count["both"], count["qpdf_only"], count["ours_only"], count["ours_only_clean"]))
    if count["qpdf"]:
        print("of what qpdf wrote we wrote: %.1f%%" % (100.0 * count["both"] / count["qpdf"]))
        sound = count["qpdf"] - count["qpdf_plain_only"]
        print("qpdf only, an encrypted source that qpdf wrote as plain (its streams still "
              "encrypted): %d; without them we wrote %.1f%%" %
              (count["qpdf_plain_only"], 100.0 * count["both"] / sound if sound else 0))
    print("our hangs: %d, our crashes: %d (qpdf hangs: %d)" %
          (count["hang"], count["crash"], count["qpdf_hang"]))
    print("both wrote, page counts differ: %d (ours the undamaged file's count: %d; "
          "otherwise more than qpdf's: %d)" %
          (count["page_mismatch"], count["pages_as_source"], count["pages_more"]))
    print("our output failing qpdf --check: %d (structure: %d, only damaged stream data copied "
          "through: %d; qpdf's own output of the copy fails too: %d)" %
          (count["check_failed"], count["check_structure"],
           count["check_failed"] - count["check_structure"], count["check_qpdf_too"]))
    reasons = collections.Counter(r["ours_err"] for r in results if r["qpdf"] and not r["ours"])
    print("\nqpdf only, our message (count):")
    for message, n in reasons.most_common(25):
        print("  %4d  %s" % (n, message))
    for r in results:
        if "pages" in r and r["pages"][0] != r["pages"][1]:
            print("pages differ: %05d %s qpdf %s ours %s undamaged %s" %
                  (r["index"], os.path.basename(r["source"]), r["pages"][0], r["pages"][1],
                   r.get("source_pages")))
        if r.get("check", 0) != 0:
            print("check failed (%s): %05d %s: %s" % (r.get("check_kind", ""), r["index"],
                                                 os.path.basename(r["source"]),
                                                 r["check_out"].replace("\n", " | ")[-200:]))
        if r["ours_rc"] in ("hang", "crash"):
            print("%s: %05d %s" % (r["ours_rc"], r["index"], os.path.basename(r["source"])))
    ours_only = [r for r in results if r["ours"] and not r["qpdf"]]
    for r in ours_only[:10]:
        print("ours only: %05d %s" % (r["index"], os.path.basename(r["source"])))
    if args.keep:
        print("\ncopies worth a look are in %s" % work)


if __name__ == "__main__":
    sys.exit(main())
