"""ArchiveWriter, ArchiveFileWriter and archive_total_size: their contracts,
and round trips checked by Python's own zipfile as an independent reader."""

from __future__ import annotations

import gc
import io
import os
import random
import zipfile
import zlib
from pathlib import Path

import pytest

import pellorine

EMPTY_ARCHIVE = b"PK\x05\x06" + bytes(18)
FINISHED = "finish() was already called"
LIMIT = 1073741824


def gedcom_text(n: int) -> bytes:
    lines = ["0 HEAD", "1 CHAR UTF-8"]
    for i in range(n):
        lines += [f"0 @I{i}@ INDI", f"1 NAME Person{i} /Smith/", "1 BIRT", f"2 DATE {1 + i % 28} JAN {1800 + i % 200}"]
    lines.append("0 TRLR")
    return ("\n".join(lines) + "\n").encode()


NOISE = random.Random(5).randbytes(40000)
TEXT = gedcom_text(500)

# name, data, expected compression method
ENTRIES = [
    ("gedcom.ged", TEXT, zipfile.ZIP_DEFLATED),
    ("notes.txt", b"", zipfile.ZIP_STORED),
    ("noise.txt", NOISE, zipfile.ZIP_STORED),
    ("media/", b"", zipfile.ZIP_STORED),
    ("media/photo.jpg", NOISE, zipfile.ZIP_STORED),
    ("media/scan.JPG", TEXT, zipfile.ZIP_STORED),
    ("Data.JSON", b'{"a": 1}' * 100, zipfile.ZIP_DEFLATED),
    ("été/読む.md", "# titre\n".encode() * 50, zipfile.ZIP_DEFLATED),
    ("x", b"y", zipfile.ZIP_STORED),
]


def check_with_zipfile(archive: bytes, entries) -> None:
    with zipfile.ZipFile(io.BytesIO(archive)) as z:
        assert z.testzip() is None
        infos = z.infolist()
        assert [i.filename for i in infos] == [e[0] for e in entries]
        for info, (name, data, method) in zip(infos, entries):
            assert info.compress_type == method, name
            assert info.CRC == zlib.crc32(data), name
            assert info.file_size == len(data)
            assert info.flag_bits == 0x800
            assert info.external_attr == (0x10 if name.endswith("/") else 0)
            assert info.date_time == (1980, 1, 1, 0, 0, 0)
            assert z.read(info) == data


# --------------------------------------------------------------------------
# ArchiveWriter


def test_writer_round_trip_through_zipfile():
    w = pellorine.ArchiveWriter.new()
    for name, data, _ in ENTRIES:
        assert w.add(name, data) is None
    archive = w.finish()
    assert isinstance(archive, bytes)
    check_with_zipfile(archive, ENTRIES)
    assert pellorine.archive_total_size(archive) == sum(len(d) for _, d, _ in ENTRIES)


def test_writer_by_keyword():
    w = pellorine.ArchiveWriter.new()
    w.add(data=b"abc", name="a.bin")
    check_with_zipfile(w.finish(), [("a.bin", b"abc", zipfile.ZIP_STORED)])


def test_writer_has_no_constructor():
    with pytest.raises(TypeError, match=r"^cannot create 'builtins\.ArchiveWriter' instances$"):
        pellorine.ArchiveWriter()
    assert pellorine.ArchiveWriter.__module__ == "builtins"
    with pytest.raises(TypeError):
        type("Sub", (pellorine.ArchiveWriter,), {})


def test_empty_archive_and_spent_state():
    w = pellorine.ArchiveWriter.new()
    assert w.finish() == EMPTY_ARCHIVE
    for call in (w.finish, lambda: w.add("a.txt", b"x")):
        with pytest.raises(ValueError, match=r"^finish\(\) was already called$"):
            call()
    assert pellorine.archive_total_size(EMPTY_ARCHIVE) == 0


UNSAFE = [
    ("", "the archive contains a file with no name"),
    ("a" * 4097, "the archive contains a file with an unreasonably long path"),
    ("é" * 2049, "the archive contains a file with an unreasonably long path"),
    ("/etc/passwd", "/etc/passwd is an absolute path"),
    ("\\\\server\\x", "\\\\server\\x is an absolute path"),
    ("a\\b", "a\\b uses a backslash, which a ZIP path may not"),
    ("C:\\x", "C:\\x uses a backslash, which a ZIP path may not"),
    ("a\tb*", "the archive contains a control character in a file path"),
    ("a\x85b", "the archive contains a control character in a file path"),
    ("C:x", "C:x contains a character that is unsafe in a portable path"),
    ("a?b", "a?b contains a character that is unsafe in a portable path"),
    ("a//", "a// contains an unsafe path component"),
    ("../x", "../x contains an unsafe path component"),
    ("a/./b", "a/./b contains an unsafe path component"),
    ("a.", "a. contains a path component that is unsafe on Windows"),
    ("b ", "b  contains a path component that is unsafe on Windows"),
    ("Con.txt", "Con.txt contains a path component that is unsafe on Windows"),
    ("media/LPT1", "media/LPT1 contains a path component that is unsafe on Windows"),
    ("conout$.x", "conout$.x contains a path component that is unsafe on Windows"),
]


@pytest.mark.parametrize("name,message", UNSAFE)
def test_unsafe_names_are_refused(name, message):
    w = pellorine.ArchiveWriter.new()
    with pytest.raises(ValueError) as err:
        w.add(name, b"x")
    assert str(err.value) == message
    w.add("ok.txt", b"x")  # the writer stays usable
    check_with_zipfile(w.finish(), [("ok.txt", b"x", zipfile.ZIP_STORED)])


@pytest.mark.parametrize(
    "first,second",
    [("tree.ged", "Tree.GED"), ("media/", "media"), ("media", "MEDIA/"), ("Photos/A.JPG", "photos/a.jpg")],
)
def test_repeated_paths_are_refused(first, second):
    w = pellorine.ArchiveWriter.new()
    w.add(first, b"1")
    with pytest.raises(ValueError) as err:
        w.add(second, b"2")
    assert str(err.value) == f"the archive contains the same path more than once ({second})"
    check_with_zipfile(w.finish(), [(first, b"1", zipfile.ZIP_STORED)])


def test_non_ascii_case_is_not_folded():
    w = pellorine.ArchiveWriter.new()
    w.add("été.txt", b"1")
    w.add("ÉTÉ.txt", b"2")
    assert [i.filename for i in zipfile.ZipFile(io.BytesIO(w.finish())).infolist()] == ["été.txt", "ÉTÉ.txt"]


def test_entry_count_limit():
    w = pellorine.ArchiveWriter.new()
    for i in range(100000):
        w.add(str(i), b"")
    with pytest.raises(ValueError, match=r"^the archive already holds 100000 files and the limit is 100000$"):
        w.add("one-more", b"")
    with pytest.raises(ValueError, match=r"same path more than once \(7\)"):
        w.add("7", b"")
    archive = w.finish()
    with zipfile.ZipFile(io.BytesIO(archive)) as z:  # Zip64 end record: the exact count
        assert len(z.infolist()) == 100000
    assert pellorine.archive_total_size(archive) == 0


@pytest.mark.parametrize(
    "args,kwargs",
    [
        ((b"a.txt", b"x"), {}),
        (("a.txt", bytearray(b"x")), {}),
        (("a.txt", memoryview(b"x")), {}),
        (("a.txt", "x"), {}),
        (("a.txt",), {}),
        (("a.txt", b"x", b"y"), {}),
        (("a.txt",), {"date": b"x"}),
    ],
)
def test_add_argument_types(args, kwargs):
    w = pellorine.ArchiveWriter.new()
    with pytest.raises(TypeError):
        w.add(*args, **kwargs)


# --------------------------------------------------------------------------
# archive_total_size


def test_total_size_of_an_archive_zipfile_wrote(tmp_path):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("gedcom.ged", TEXT)
        z.writestr("media/a.bin", NOISE)
    assert pellorine.archive_total_size(buf.getvalue()) == len(TEXT) + len(NOISE)


@pytest.mark.parametrize(
    "data,message",
    [
        (b"", "the file does not end like a ZIP archive"),
        (b"not a zip at all, just some bytes", "the file does not end like a ZIP archive"),
        (b"PK\x05\x06" + bytes(6) + b"\x01\x00" + bytes(10), "file 1 of the archive has no directory record"),
        (b"PK\x05\x06" + bytes(6) + b"\x01\x00" + bytes(4) + b"\x64" + bytes(5), "the archive is truncated"),
    ],
)
def test_total_size_refuses_non_archives(data, message):
    with pytest.raises(ValueError) as err:
        pellorine.archive_total_size(data)
    assert str(err.value) == message


@pytest.mark.parametrize("bad", [bytearray(EMPTY_ARCHIVE), memoryview(EMPTY_ARCHIVE), "PK", None])
def test_total_size_takes_bytes_only(bad):
    with pytest.raises(TypeError, match="data"):
        pellorine.archive_total_size(bad)


# --------------------------------------------------------------------------
# ArchiveFileWriter


def test_file_writer_round_trip(tmp_path):
    target = tmp_path / "out.gdz"
    sources = []
    for i, (name, data, _) in enumerate(ENTRIES):
        p = tmp_path / f"src{i}"
        p.write_bytes(data)
        sources.append(p)
    w = pellorine.ArchiveFileWriter(str(target))
    expected = []
    for i, ((name, data, method), src) in enumerate(zip(ENTRIES, sources)):
        if i % 2:
            w.add(name, data)
        else:
            w.add_file(name, src)
            # streamed entries deflate whenever the name asks for it and the file is not empty
            if data and name.lower().endswith((".ged", ".txt", ".xml", ".json", ".csv", ".md", ".svg")):
                method = zipfile.ZIP_DEFLATED
        expected.append((name, data, method))
    size = w.finish()
    assert size == target.stat().st_size
    archive = target.read_bytes()
    check_with_zipfile(archive, expected)
    assert pellorine.archive_total_size(archive) == sum(len(d) for _, d, _ in ENTRIES)
    with pytest.raises(ValueError, match=r"^finish\(\) was already called$"):
        w.finish()
    with pytest.raises(ValueError, match=r"^finish\(\) was already called$"):
        w.add("more.txt", b"x")


def test_streamed_entries_span_many_chunks(tmp_path):
    text = gedcom_text(20000)  # about 1.4 MB: many 64 KiB chunks
    media = random.Random(9).randbytes(300000)
    (tmp_path / "t").write_bytes(text)
    (tmp_path / "m").write_bytes(media)
    w = pellorine.ArchiveFileWriter(tmp_path / "a.zip")  # os.PathLike
    w.add_file("gedcom.ged", tmp_path / "t")
    w.add_file(name="media/m.jpg", source=str(tmp_path / "m"))
    w.finish()
    check_with_zipfile(
        (tmp_path / "a.zip").read_bytes(),
        [("gedcom.ged", text, zipfile.ZIP_DEFLATED), ("media/m.jpg", media, zipfile.ZIP_STORED)],
    )


def test_file_writer_truncates_at_once(tmp_path):
    target = tmp_path / "old.zip"
    target.write_bytes(b"old contents" * 1000)
    w = pellorine.ArchiveFileWriter(target)
    assert target.stat().st_size == 0
    assert w.finish() == 22
    assert target.read_bytes() == EMPTY_ARCHIVE


def test_file_writer_creation_failure(tmp_path):
    missing = tmp_path / "no" / "such" / "dir.zip"
    with pytest.raises(OSError) as err:
        pellorine.ArchiveFileWriter(missing)
    assert type(err.value) is OSError
    assert err.value.errno is None
    assert str(err.value) == f"{missing}: {os.strerror(2)} (os error 2)"


@pytest.mark.parametrize("bad", [b"/tmp/x.zip", 3, None])
def test_file_writer_path_types(bad):
    with pytest.raises(TypeError, match="path"):
        pellorine.ArchiveFileWriter(bad)


def test_paths_with_nul_name_no_file(tmp_path):
    target = tmp_path / "a.zip"
    with pytest.raises(OSError) as err:
        pellorine.ArchiveFileWriter(str(target) + "\0.txt")
    assert str(err.value).endswith(f"{os.strerror(22)} (os error 22)")
    assert not target.exists()
    (tmp_path / "s").write_bytes(b"abc")
    w = pellorine.ArchiveFileWriter(target)
    with pytest.raises(OSError):
        w.add_file("s.bin", str(tmp_path / "s") + "\0junk")
    assert w.finish() == 22


def test_file_writer_permissions(tmp_path):
    old = os.umask(0o022)
    try:
        pellorine.ArchiveFileWriter(tmp_path / "p.zip").finish()
    finally:
        os.umask(old)
    assert (tmp_path / "p.zip").stat().st_mode & 0o777 == 0o644


def test_add_file_refusals(tmp_path):
    w = pellorine.ArchiveFileWriter(tmp_path / "a.zip")
    with pytest.raises(ValueError) as err:
        w.add_file("d", tmp_path)
    assert str(err.value) == f"{tmp_path} is not a regular file"
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    with pytest.raises(ValueError) as err:
        w.add_file("f", fifo)  # refused, not left waiting for a writer
    assert str(err.value) == f"{fifo} is not a regular file"
    missing = tmp_path / "missing.bin"
    with pytest.raises(OSError) as err:
        w.add_file("m", missing)
    assert str(err.value) == f"{missing}: {os.strerror(2)} (os error 2)"
    (tmp_path / "s").write_bytes(b"abc")
    with pytest.raises(ValueError, match=r"is an absolute path"):
        w.add_file("/abs", tmp_path / "s")
    w.add_file("s.bin", tmp_path / "s")
    with pytest.raises(ValueError, match=r"same path more than once \(S.BIN\)"):
        w.add_file("S.BIN", tmp_path / "s")
    with pytest.raises(ValueError, match=r"same path more than once \(S.bin\)"):
        w.add("S.bin", b"x")
    with pytest.raises(TypeError, match="source"):
        w.add_file("t", b"/etc/hostname")
    w.finish()
    check_with_zipfile((tmp_path / "a.zip").read_bytes(), [("s.bin", b"abc", zipfile.ZIP_STORED)])


def test_add_file_after_finish(tmp_path):
    (tmp_path / "s").write_bytes(b"abc")
    w = pellorine.ArchiveFileWriter(tmp_path / "a.zip")
    w.finish()
    with pytest.raises(OSError):  # the source is looked at before the spent state
        w.add_file("m", tmp_path / "missing")
    with pytest.raises(ValueError, match="is not a regular file"):
        w.add_file("d", tmp_path)
    with pytest.raises(ValueError, match=r"^finish\(\) was already called$"):
        w.add_file("s", tmp_path / "s")


def test_add_file_over_the_entry_limit(tmp_path):
    big = tmp_path / "big.bin"
    with open(big, "wb") as f:
        f.truncate(LIMIT + 1)  # sparse: nothing is read before the refusal
    w = pellorine.ArchiveFileWriter(tmp_path / "a.zip")
    with pytest.raises(ValueError) as err:
        w.add_file("big.bin", big)
    assert str(err.value) == f"big.bin is larger than the {LIMIT} byte per-entry limit"
    w.add("after.txt", b"still usable")
    w.finish()
    check_with_zipfile((tmp_path / "a.zip").read_bytes(), [("after.txt", b"still usable", zipfile.ZIP_STORED)])


def test_source_that_changes_size_poisons_the_writer(tmp_path):
    # /proc files claim a size of 0 and then yield more: a file that grew while read.
    source = Path("/proc/self/status")
    if not source.exists():
        pytest.skip("no /proc")
    w = pellorine.ArchiveFileWriter(tmp_path / "a.zip")
    with pytest.raises(ValueError) as err:
        w.add_file("status.txt", source)
    assert str(err.value) == "status.txt yielded more than the 0 bytes declared for it"
    with pytest.raises(ValueError, match=r"no further entries can be added$"):
        w.add("x", b"x")
    with pytest.raises(ValueError, match=r"the archive cannot be finished$"):
        w.finish()
    with pytest.raises(ValueError, match=r"^finish\(\) was already called$"):  # a failed finish still spends it
        w.finish()


def test_dropped_writer_leaves_a_partial_file(tmp_path):
    target = tmp_path / "partial.zip"
    w = pellorine.ArchiveFileWriter(target)
    w.add("a.bin", b"abc")  # small enough to sit in the write buffer
    del w
    gc.collect()
    data = target.read_bytes()
    assert data.startswith(b"PK\x03\x04")
    assert data.endswith(b"a.binabc")  # the local header and bytes, no central directory
    with pytest.raises(zipfile.BadZipFile):
        zipfile.ZipFile(target)


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
    w.finish()
    check_with_zipfile((tmp_path / "a.zip").read_bytes(), [("s.bin", b"abc", zipfile.ZIP_STORED)])


def test_docstrings_and_signatures():
    aw, fw = pellorine.ArchiveWriter, pellorine.ArchiveFileWriter
    assert aw.add.__doc__ == (
        "Adds one entry. Raises `ValueError` for an unsafe or repeated path,\n"
        "one that exceeds the writer's per-entry limit, or a call after\n"
        "`finish`."
    )
    assert aw.finish.__doc__ == (
        "Writes the central directory and returns the finished archive's\n"
        "bytes. Valid to call once; raises `ValueError` on a second call."
    )
    assert fw.add.__doc__ == (
        "Adds one entry from bytes. Raises `ValueError` for an unsafe or\n"
        "repeated path, one past the per-entry limit, a failed write, or a call\n"
        "after `finish`."
    )
    assert fw.finish.__doc__ == (
        "Writes the central directory, flushes, and closes the file, returning\n"
        "its size in bytes. Valid to call once."
    )
    assert pellorine.archive_total_size.__doc__ == (
        "The sum of a GEDZIP archive's entries' claimed decompressed sizes, read\n"
        "from its central directory alone \u2014 nothing is decompressed to answer\n"
        "this. Raises `ValueError` for bytes that do not open as an archive."
    )
    assert aw.new.__text_signature__ == "()"
    assert aw.add.__text_signature__ == "($self, name, data)"
    assert fw.add_file.__text_signature__ == "($self, name, source)"
    assert fw.__text_signature__ == "(path)"
    assert pellorine.archive_total_size.__text_signature__ == "(data)"
    assert fw.__module__ == "builtins"
