"""Benchmarks of the GEDZIP writers and of archive_total_size, next to
Python's zipfile measured in the same run.

    PYTHONPATH=build python3 bench/gedzip.py [--text-mb 100] [--media-mb 50]
        [--entries 100000] [--big-mb 500] [--repeat 3]

1. Writing a GEDCOM text plus already-compressed media (random bytes):
   ArchiveWriter (in memory), ArchiveFileWriter.add_file (files to a file),
   and zipfile (ZIP_DEFLATED, level 6) writing the same entries, in memory and
   to a file; also zipfile storing the media, which is the choice the
   library's writers make for a '.jpg'.
2. archive_total_size over an archive of many small entries, next to summing
   zipfile.ZipFile(...).infolist() sizes.
3. add_file of a large sparse file, in a fresh subprocess: growth of peak
   memory (ru_maxrss, and VmHWM) over the process before the call.
"""

from __future__ import annotations

import argparse
import io
import os
import random
import resource
import subprocess
import sys
import tempfile
import time
import zipfile

import pellorine

MB = 1 << 20


def gedcom_text(size: int) -> bytes:
    """A GEDCOM text of about `size` bytes with a realistic mix of lines."""
    rng = random.Random(1)
    given = ["John", "Mary", "Anna", "Pieter", "Jan", "Elisabeth", "Willem", "Maria", "Hendrik", "Cornelia"]
    surnames = ["Smith", "de Vries", "Jansen", "Bakker", "Visser", "Mulder", "Meijer", "Bos", "Dekker", "Peters"]
    places = ["Amsterdam, Noord-Holland", "Leiden, Zuid-Holland", "Utrecht", "Groningen", "Zwolle, Overijssel"]
    months = ["JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"]
    parts = ["0 HEAD\n1 GEDC\n2 VERS 5.5.1\n1 CHAR UTF-8\n"]
    total = len(parts[0])
    i = 0
    while total < size:
        rec = (
            f"0 @I{i}@ INDI\n1 NAME {rng.choice(given)} /{rng.choice(surnames)}/\n1 SEX {rng.choice('MF')}\n"
            f"1 BIRT\n2 DATE {rng.randint(1, 28)} {rng.choice(months)} {rng.randint(1600, 1950)}\n"
            f"2 PLAC {rng.choice(places)}\n1 NOTE Record {rng.getrandbits(40):x} transcribed from register "
            f"{rng.randint(1, 999)}, folio {rng.randint(1, 400)}\n1 FAMS @F{rng.randint(0, i + 1)}@\n"
        )
        parts.append(rec)
        total += len(rec)
        i += 1
    parts.append("0 TRLR\n")
    return "".join(parts).encode()[:size]


def best_of(repeat: int, fn, before=None) -> float:
    best = float("inf")
    for _ in range(repeat):
        if before:
            before()
        t = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - t)
    return best


def bench_writers(args, tmp: str) -> None:
    text = gedcom_text(args.text_mb * MB)
    media = random.Random(2).randbytes(args.media_mb * MB)
    text_path = os.path.join(tmp, "gedcom.ged")
    media_path = os.path.join(tmp, "photo.jpg")
    with open(text_path, "wb") as f:
        f.write(text)
    with open(media_path, "wb") as f:
        f.write(media)
    out = os.path.join(tmp, "out.zip")
    total_mb = (len(text) + len(media)) / MB
    sizes = {}

    def ours_memory():
        w = pellorine.ArchiveWriter.new()
        w.add("gedcom.ged", text)
        w.add("media/photo.jpg", media)
        sizes["ArchiveWriter"] = len(w.finish())

    def ours_file():
        w = pellorine.ArchiveFileWriter(out)
        w.add_file("gedcom.ged", text_path)
        w.add_file("media/photo.jpg", media_path)
        sizes["ArchiveFileWriter.add_file"] = w.finish()

    def zip_memory(media_type):
        def run():
            buf = io.BytesIO()
            with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
                z.writestr("gedcom.ged", text)
                z.writestr("media/photo.jpg", media, compress_type=media_type)
            sizes[f"zipfile memory {media_type}"] = len(buf.getvalue())

        return run

    def zip_file(media_type):
        def run():
            with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
                z.write(text_path, "gedcom.ged")
                z.write(media_path, "media/photo.jpg", compress_type=media_type)
            sizes[f"zipfile file {media_type}"] = os.path.getsize(out)

        return run

    rows = [
        ("ArchiveWriter (memory)", ours_memory, "ArchiveWriter"),
        ("zipfile writestr, all deflated (memory)", zip_memory(zipfile.ZIP_DEFLATED), "zipfile memory 8"),
        ("zipfile writestr, media stored (memory)", zip_memory(zipfile.ZIP_STORED), "zipfile memory 0"),
        ("ArchiveFileWriter.add_file (file)", ours_file, "ArchiveFileWriter.add_file"),
        ("zipfile write, all deflated (file)", zip_file(zipfile.ZIP_DEFLATED), "zipfile file 8"),
        ("zipfile write, media stored (file)", zip_file(zipfile.ZIP_STORED), "zipfile file 0"),
    ]
    print(f"1. Writing {len(text) / MB:.0f} MB GEDCOM text + {len(media) / MB:.0f} MB random media "
          f"(best of {args.repeat})")
    def fresh_output():  # every run creates its file anew, none truncates another's
        if os.path.exists(out):
            os.remove(out)

    # Round robin over the rows, so that the machine's background work (such
    # as the write-back of files written just before) falls on all of them alike.
    times = {label: float("inf") for label, _, _ in rows}
    for _ in range(args.repeat):
        for label, fn, _ in rows:
            times[label] = min(times[label], best_of(1, fn, fresh_output))
    for label, _, key in rows:
        t = times[label]
        print(f"   {label:44s} {t:7.3f} s  {total_mb / t:7.1f} MB/s  archive {sizes[key] / MB:7.1f} MB")
    for ours, theirs in [
        ("ArchiveWriter (memory)", "zipfile writestr, all deflated (memory)"),
        ("ArchiveWriter (memory)", "zipfile writestr, media stored (memory)"),
        ("ArchiveFileWriter.add_file (file)", "zipfile write, all deflated (file)"),
        ("ArchiveFileWriter.add_file (file)", "zipfile write, media stored (file)"),
    ]:
        print(f"   speed-up {ours} vs {theirs}: {times[theirs] / times[ours]:.2f}x")
    os.remove(out)


def bench_total_size(args) -> None:
    w = pellorine.ArchiveWriter.new()
    for i in range(args.entries):
        w.add(f"media/{i:06d}.txt", b"entry %d\n" % i)
    archive = w.finish()

    def ours():
        return pellorine.archive_total_size(archive)

    def theirs():
        return sum(i.file_size for i in zipfile.ZipFile(io.BytesIO(archive)).infolist())

    assert ours() == theirs()
    t_ours = best_of(args.repeat, ours)
    t_theirs = best_of(args.repeat, theirs)
    print(f"2. Total size of an archive of {args.entries} small entries ({len(archive) / MB:.1f} MB)")
    print(f"   archive_total_size                           {t_ours * 1000:8.1f} ms")
    print(f"   sum(zipfile.ZipFile(...).infolist())         {t_theirs * 1000:8.1f} ms")
    print(f"   speed-up: {t_theirs / t_ours:.1f}x")


# ru_maxrss survives fork and exec, so a child can start out with its parent's
# peak; the child therefore also reports VmHWM, the peak of its own address
# space, and this step runs first, while the parent is still small.
CHILD = r"""
import resource, sys, time, pellorine

def hwm():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0

src, out, name = sys.argv[1], sys.argv[2], sys.argv[3]
w = pellorine.ArchiveFileWriter(out)
before, hwm_before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss, hwm()
t = time.perf_counter()
w.add_file(name, src)
size = w.finish()
elapsed = time.perf_counter() - t
after, hwm_after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss, hwm()
print(before, after, hwm_before, hwm_after, elapsed, size)
"""


def bench_big_file(args, tmp: str) -> None:
    src = os.path.join(tmp, "big")
    out = os.path.join(tmp, "big.zip")
    with open(src, "wb") as f:
        f.truncate(args.big_mb * MB)  # sparse: zeros that take no disk until read
    print(f"3. add_file of a {args.big_mb} MB sparse file, fresh subprocess, ru_maxrss growth")
    try:
        for name in ("big.bin", "big.ged"):
            res = subprocess.run([sys.executable, "-c", CHILD, src, out, name], capture_output=True, text=True,
                                 env=os.environ, check=True)
            before, after, hwm_before, hwm_after, elapsed, size = res.stdout.split()
            # Zeros deflate past the reader's ratio bound, so a .ged of them ends up stored too.
            kind = "deflated" if int(size) < args.big_mb * MB else "stored"
            print(f"   {name} ({kind:8s}) {float(elapsed):6.2f} s  archive {int(size) / MB:7.1f} MB")
            print(f"      ru_maxrss {int(before) / 1024:6.1f} -> {int(after) / 1024:6.1f} MB, "
                  f"growth {(int(after) - int(before)) / 1024:5.2f} MB")
            print(f"      VmHWM     {int(hwm_before) / 1024:6.1f} -> {int(hwm_after) / 1024:6.1f} MB, "
                  f"growth {(int(hwm_after) - int(hwm_before)) / 1024:5.2f} MB")
            os.remove(out)
    finally:
        os.remove(src)


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--text-mb", type=int, default=100)
    p.add_argument("--media-mb", type=int, default=50)
    p.add_argument("--entries", type=int, default=100000)
    p.add_argument("--big-mb", type=int, default=500)
    p.add_argument("--repeat", type=int, default=3)
    args = p.parse_args()
    print(f"measuring {pellorine.__file__}")
    with tempfile.TemporaryDirectory(prefix="gedzip-bench-") as tmp:
        bench_big_file(args, tmp)
        bench_writers(args, tmp)
        bench_total_size(args)
    print(f"peak memory of this process: {resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024:.0f} MB")


if __name__ == "__main__":
    main()
