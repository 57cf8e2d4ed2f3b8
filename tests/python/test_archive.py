"""ArchiveWriter, ArchiveFileWriter and archive_total_size: their contracts,
and round trips checked by Python's own zipfile as an independent reader."""

from __future__ import annotations

import gc
import io
import os
import random
import re
import zipfile
import zlib
from pathlib import Path

import pytest

import pellorine

EMPTY_ARCHIVE = b"PK\x05\x06" + bytes(18)
FINISHED = r"^finish\(\) was already called$"
STORED, DEFLATED = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
NOISE = random.Random(5).randbytes(40000)
TEXT = b"0 HEAD\n1 CHAR UTF-8\n" + b"".join(b"0 @I%d@ INDI\n1 NAME Person%d /Smith/\n" % (i, i) for i in range(20000))

# name, data, compression method when added whole
ENTRIES = [
    ("gedcom.ged", TEXT, DEFLATED),
    ("notes.txt", b"", STORED),
    ("noise.txt", NOISE, STORED),  # incompressible: stored despite its ending
    ("media/", b"", STORED),
    ("media/scan.JPG", TEXT, STORED),
    ("Data.JSON", b'{"a": 1}' * 100, DEFLATED),
    ("été/読む.md", "# titre\n".encode() * 50, DEFLATED),
    ("ÉTÉ/読む.md", b"x", STORED),  # non-ASCII letters are not folded
]


def check_with_zipfile(archive: bytes, entries) -> None:
    with zipfile.ZipFile(io.BytesIO(archive)) as z:
        assert z.testzip() is None
        infos = z.infolist()
        assert [i.filename for i in infos] == [e[0] for e in entries]
        for info, (name, data, method) in zip(infos, entries):
            fields = (info.compress_type, info.CRC, info.file_size, info.flag_bits, info.external_attr, info.date_time)
            directory = 0x10 if name.endswith("/") else 0
            assert fields == (method, zlib.crc32(data), len(data), 0x800, directory, (1980, 1, 1, 0, 0, 0))
            assert z.read(info) == data


def test_writer_round_trip_refusal_and_spent_state():
    w = pellorine.ArchiveWriter.new()
    with pytest.raises(ValueError, match=r"^a/\.\./b contains an unsafe path component$"):  # the writer stays usable
        w.add("a/../b", b"x")
    for name, data, _ in ENTRIES:
        assert w.add(name, data) is None
    archive = w.finish()
    check_with_zipfile(archive, ENTRIES)
    assert pellorine.archive_total_size(archive) == sum(len(d) for _, d, _ in ENTRIES)
    for call in (w.finish, lambda: w.add("a.txt", b"x")):
        with pytest.raises(ValueError, match=FINISHED):
            call()
    assert pellorine.ArchiveWriter.new().finish() == EMPTY_ARCHIVE


def test_total_size_refuses_non_archives():
    data = b"not a zip at all, just some bytes"
    with pytest.raises(ValueError, match=r"^the file does not end like a ZIP archive$"):
        pellorine.archive_total_size(data)
    with pytest.raises(TypeError, match="data"):
        pellorine.archive_total_size(bytearray(data))


def test_file_writer_round_trip(tmp_path):
    target = tmp_path / "out.gdz"
    target.write_bytes(b"old contents" * 1000)
    w = pellorine.ArchiveFileWriter(target)
    assert target.stat().st_size == 0  # truncated at once
    expected = []
    for i, (name, data, method) in enumerate(ENTRIES):
        if i % 2:
            w.add(name, data)
        else:  # streamed entries deflate whenever the name asks for it and the file is not empty
            (tmp_path / "src").write_bytes(data)
            w.add_file(name, str(tmp_path / "src"))
            method = DEFLATED if data and name.endswith((".ged", ".txt", ".md")) else STORED
        expected.append((name, data, method))
    moved = tmp_path / "moved.gdz"  # the size is the archive's, wherever its path now leads
    target.rename(moved)
    target.write_bytes(b"another file")
    assert w.finish() == moved.stat().st_size
    check_with_zipfile(moved.read_bytes(), expected)
    for call in (w.finish, lambda: w.add("more.txt", b"x"), lambda: w.add_file("s", target)):
        with pytest.raises(ValueError, match=FINISHED):
            call()


def test_file_writer_creation(tmp_path):
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


def test_add_file_refusals(tmp_path):
    (tmp_path / "s").write_bytes(b"abc")
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    big = tmp_path / "big.bin"
    with open(big, "wb") as f:
        f.truncate(1073741825)  # sparse: refused before anything is read
    w = pellorine.ArchiveFileWriter(tmp_path / "a.zip")
    for source in (tmp_path, fifo):  # a FIFO is refused, not waited on
        with pytest.raises(ValueError, match=f"^{re.escape(f'{source} is not a regular file')}$"):
            w.add_file("d", source)
    for source in (tmp_path / "missing", str(tmp_path / "s") + "\0x"):
        with pytest.raises(OSError):
            w.add_file("m", source)
    with pytest.raises(ValueError, match=r"^big.bin is larger than the 1073741824 byte per-entry limit$"):
        w.add_file("big.bin", big)
    w.add_file("s.bin", tmp_path / "s")
    w.finish()
    check_with_zipfile((tmp_path / "a.zip").read_bytes(), [("s.bin", b"abc", STORED)])
    with pytest.raises(OSError):  # the source is looked at before the spent state
        w.add_file("m", tmp_path / "missing")


def test_source_that_changes_size_poisons_the_writer(tmp_path):
    # /proc files claim a size of 0 and then yield more: a file that grew while read.
    if not Path("/proc/self/status").exists():
        pytest.skip("no /proc")
    w = pellorine.ArchiveFileWriter(tmp_path / "a.zip")
    with pytest.raises(ValueError, match=r"^status.txt yielded more than the 0 bytes declared for it$"):
        w.add_file("status.txt", "/proc/self/status")
    with pytest.raises(ValueError, match=r"the archive cannot be finished$"):
        w.finish()
    with pytest.raises(ValueError, match=FINISHED):  # a failed finish still spends the writer
        w.finish()


def test_dropped_writer_leaves_a_partial_file(tmp_path):
    target = tmp_path / "partial.zip"
    w = pellorine.ArchiveFileWriter(target)
    w.add("a.bin", b"abc")  # small enough to sit in the write buffer
    del w
    gc.collect()
    data = target.read_bytes()
    assert data.startswith(b"PK\x03\x04") and data.endswith(b"a.binabc")  # no central directory


def test_exclusive_borrow_during_path_conversion(tmp_path):
    (tmp_path / "s").write_bytes(b"abc")
    w = pellorine.ArchiveFileWriter(tmp_path / "a.zip")
    seen = []

    class Sneaky:
        def __fspath__(self):
            try:
                w.add("inner.txt", b"x")
            except RuntimeError as e:
                seen.append(str(e))
            return str(tmp_path / "s")

    w.add_file("s.bin", Sneaky())
    assert seen == ["Already borrowed"]
