"""ArchiveWriter, ArchiveFileWriter and archive_total_size: their contracts,
with the archives read back by Python's own zipfile as an independent reader."""

from __future__ import annotations

import gc
import io
import os
import re
import zipfile
from pathlib import Path

import pytest

import pellorine

FINISHED = r"^finish\(\) was already called$"
# A deflated document, a directory, and two names that differ only in non-ASCII case.
ENTRIES = [("gedcom.ged", b"0 HEAD\n" * 1000), ("media/", b""), ("été/読む.md", b"# titre\n" * 50),
           ("ÉTÉ/読む.md", b"x")]


def read_back(archive: bytes) -> list[tuple[str, bytes]]:
    with zipfile.ZipFile(io.BytesIO(archive)) as z:
        assert z.testzip() is None
        return [(info.filename, z.read(info)) for info in z.infolist()]


def test_writer_round_trip_and_spent_state():
    w = pellorine.ArchiveWriter.new()
    with pytest.raises(ValueError, match=r"^a/\.\./b contains an unsafe path component$"):  # the writer stays usable
        w.add("a/../b", b"x")
    for name, data in ENTRIES:
        assert w.add(name, data) is None
    archive = w.finish()
    assert read_back(archive) == ENTRIES
    assert pellorine.archive_total_size(archive) == sum(len(data) for _, data in ENTRIES)
    for call in (w.finish, lambda: w.add("a.txt", b"x")):
        with pytest.raises(ValueError, match=FINISHED):
            call()
    with pytest.raises(ValueError, match=r"^the file does not end like a ZIP archive$"):
        pellorine.archive_total_size(b"not a zip at all")
    with pytest.raises(TypeError, match="data"):
        pellorine.archive_total_size(bytearray(archive))


def test_file_writer_round_trip(tmp_path):
    target = tmp_path / "out.gdz"
    target.write_bytes(b"old contents" * 1000)
    w = pellorine.ArchiveFileWriter(target)
    assert target.stat().st_size == 0  # truncated at once
    seen = []

    class Sneaky:  # a path whose conversion tries to use the writer it is passed to
        def __fspath__(self):
            try:
                w.add("inner.txt", b"x")
            except RuntimeError as e:
                seen.append(str(e))
            return str(tmp_path / "src")

    for i, (name, data) in enumerate(ENTRIES):
        if i % 2:
            w.add(name, data)
        else:
            (tmp_path / "src").write_bytes(data)
            w.add_file(name, Sneaky())
    assert seen == ["Already borrowed"] * 2
    moved = tmp_path / "moved.gdz"  # the size is the archive's, wherever its path now leads
    target.rename(moved)
    target.write_bytes(b"another file")
    assert w.finish() == moved.stat().st_size
    assert read_back(moved.read_bytes()) == ENTRIES
    for call in (w.finish, lambda: w.add("more.txt", b"x"), lambda: w.add_file("s", target)):
        with pytest.raises(ValueError, match=FINISHED):
            call()


def test_file_writer_creation_and_a_dropped_writer(tmp_path):
    missing = tmp_path / "no" / "dir.zip"
    with pytest.raises(OSError, match=f"^{re.escape(f'{missing}: {os.strerror(2)} (os error 2)')}$"):
        pellorine.ArchiveFileWriter(missing)
    with pytest.raises(OSError, match=rf": {os.strerror(22)} \(os error 22\)$"):  # a NUL byte names no file
        pellorine.ArchiveFileWriter(str(tmp_path / "a.zip") + "\0.txt")
    assert not (tmp_path / "a.zip").exists()
    with pytest.raises(TypeError, match="path"):
        pellorine.ArchiveFileWriter(b"/tmp/x.zip")
    old = os.umask(0o022)
    try:
        assert pellorine.ArchiveFileWriter(tmp_path / "p.zip").finish() == 22
    finally:
        os.umask(old)
    assert (tmp_path / "p.zip").stat().st_mode & 0o777 == 0o644
    w = pellorine.ArchiveFileWriter(tmp_path / "partial.zip")
    w.add("a.bin", b"abc")  # small enough to sit in the write buffer
    del w
    gc.collect()
    data = (tmp_path / "partial.zip").read_bytes()
    assert data.startswith(b"PK\x03\x04") and data.endswith(b"a.binabc")  # no central directory


def test_add_file_refusals_and_a_source_that_changes_size(tmp_path):
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    big = tmp_path / "big.bin"
    with open(big, "wb") as f:
        f.truncate(1073741825)  # sparse: refused before anything is read
    w = pellorine.ArchiveFileWriter(tmp_path / "a.zip")
    for source in (tmp_path, fifo):  # a FIFO is refused, not waited on
        with pytest.raises(ValueError, match=f"^{re.escape(f'{source} is not a regular file')}$"):
            w.add_file("d", source)
    for source in (tmp_path / "missing", str(big) + "\0x"):
        with pytest.raises(OSError):
            w.add_file("m", source)
    with pytest.raises(ValueError, match=r"^big.bin is larger than the 1073741824 byte per-entry limit$"):
        w.add_file("big.bin", big)
    # /proc files claim a size of 0 and then yield more: a file that grew while read.
    if Path("/proc/self/status").exists():
        with pytest.raises(ValueError, match=r"^status.txt yielded more than the 0 bytes declared for it$"):
            w.add_file("status.txt", "/proc/self/status")
        with pytest.raises(ValueError, match=r"the archive cannot be finished$"):
            w.finish()
    with pytest.raises(ValueError, match=FINISHED):  # a failed finish still spends the writer
        w.finish()
    with pytest.raises(OSError):  # the source is looked at before the spent state
        w.add_file("m", tmp_path / "missing")
