"""Shared fixtures and an independent model of how GEDCOM bytes are read.

The model below decodes and line-checks a file the way the library's rules say
it should, written plainly in Python, so that the round-trip tests can compare
the extension's answers with an expectation that does not come from the
extension itself.
"""

from __future__ import annotations

import re
from dataclasses import dataclass, field
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
TESTDATA = REPO.parent / "shared" / "testdata"

MIB = 1 << 20
MAX_BYTES = 128 * MIB
MAX_LINE_BYTES = 16 * MIB
MAX_DEPTH = 64

FIXED_SUMMARY = "Read as UTF-8, no CHAR declared"


@pytest.fixture(scope="session")
def testdata() -> Path:
    if not TESTDATA.is_dir():
        pytest.skip(f"no test data at {TESTDATA}")
    return TESTDATA


def data_files() -> list[Path]:
    if not TESTDATA.is_dir():
        return []
    return sorted(p for p in TESTDATA.rglob("*") if p.is_file())


# ---------------------------------------------------------------- decoding

WHITE_SPACE = "".join(
    chr(c)
    for c in [*range(0x09, 0x0E), 0x20, 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B), 0x2028, 0x2029, 0x202F, 0x205F, 0x3000]
)

DISPLAY = {
    "ascii": "ASCII",
    "utf8": "UTF-8",
    "utf16be": "UTF-16 (big-endian)",
    "utf16le": "UTF-16 (little-endian)",
    "ansel": "ANSEL",
    "cp1252": "ANSI (Windows-1252)",
}

ANSEL_SPACING = {
    0xA1: 0x0141, 0xA2: 0x00D8, 0xA3: 0x0110, 0xA4: 0x00DE, 0xA5: 0x00C6, 0xA6: 0x0152, 0xA7: 0x02B9,
    0xA8: 0x00B7, 0xA9: 0x266D, 0xAA: 0x00AE, 0xAB: 0x00B1, 0xAC: 0x01A0, 0xAD: 0x01AF, 0xAE: 0x02BB,
    0xB0: 0x02BC, 0xB1: 0x0142, 0xB2: 0x00F8, 0xB3: 0x0111, 0xB4: 0x00FE, 0xB5: 0x00E6, 0xB6: 0x0153,
    0xB7: 0x02BA, 0xB8: 0x0131, 0xB9: 0x00A3, 0xBA: 0x00F0, 0xBC: 0x01A1, 0xBD: 0x01B0, 0xBE: 0x25A1,
    0xBF: 0x25A0, 0xC0: 0x00B0, 0xC1: 0x2113, 0xC2: 0x2117, 0xC3: 0x00A9, 0xC4: 0x266F, 0xC5: 0x00BF,
    0xC6: 0x00A1, 0xCD: 0x0065, 0xCE: 0x006F, 0xCF: 0x00DF,
}
ANSEL_COMBINING = {
    0xE0: 0x0309, 0xE1: 0x0300, 0xE2: 0x0301, 0xE3: 0x0302, 0xE4: 0x0303, 0xE5: 0x0304, 0xE6: 0x0306,
    0xE7: 0x0307, 0xE8: 0x0308, 0xE9: 0x030C, 0xEA: 0x030A, 0xEB: 0xFE20, 0xEC: 0xFE21, 0xED: 0x0315,
    0xEE: 0x030B, 0xEF: 0x0310, 0xF0: 0x0327, 0xF1: 0x0328, 0xF2: 0x0323, 0xF3: 0x0324, 0xF4: 0x0325,
    0xF5: 0x0333, 0xF6: 0x0332, 0xF7: 0x0326, 0xF8: 0x031C, 0xF9: 0x032E, 0xFA: 0xFE22, 0xFB: 0xFE23,
    0xFE: 0x0313,
}
CP1252_UNDEFINED = {0x81, 0x8D, 0x8F, 0x90, 0x9D}
CP1252 = "".join(chr(b) if b in CP1252_UNDEFINED else bytes([b]).decode("cp1252") for b in range(256))


@dataclass
class Decoded:
    text: str
    encoding: str
    bom: bool = False
    declared: str | None = None
    undecodable: int = 0
    warnings: list[str] = field(default_factory=list)

    def summary(self) -> str:
        s = "Read as " + DISPLAY[self.encoding]
        if self.bom:
            s += " (byte-order mark)"
        s += f", declared {self.declared}" if self.declared is not None else ", no CHAR declared"
        if self.undecodable:
            s += f", {self.undecodable} byte(s) undecodable"
        return s


def decode_utf16(data: bytes, big: bool, warnings: list[str]) -> tuple[str, int]:
    if len(data) % 2:
        warnings.append("UTF-16 file has an odd number of bytes; the final byte was ignored.")
        data = data[:-1]
    order = "big" if big else "little"
    units = [int.from_bytes(data[i : i + 2], order) for i in range(0, len(data), 2)]
    out, bad, i = [], 0, 0
    while i < len(units):
        u = units[i]
        if 0xD800 <= u <= 0xDBFF and i + 1 < len(units) and 0xDC00 <= units[i + 1] <= 0xDFFF:
            out.append(chr(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00)))
            i += 2
            continue
        if 0xD800 <= u <= 0xDFFF:
            out.append("\ufffd")
            bad += 1
        else:
            out.append(chr(u))
        i += 1
    return "".join(out), bad


def decode_ansel(data: bytes) -> tuple[str, int]:
    out, held, bad = [], [], 0
    for b in data:
        if b in ANSEL_COMBINING:
            held.append(chr(ANSEL_COMBINING[b]))
            continue
        if b in (0x0A, 0x0D):
            # A mark never leaves its line: a line end is no base letter, so
            # marks before it stay on the line's last character.
            out.extend(held)
            held.clear()
        if b < 0x80:
            out.append(chr(b))
        elif b in ANSEL_SPACING:
            out.append(chr(ANSEL_SPACING[b]))
        else:
            out.append("\ufffd")
            bad += 1
        out.extend(held)
        held.clear()
    out.extend(held)
    return "".join(out), bad


def decode_as(data: bytes, encoding: str, warnings: list[str]) -> tuple[str, int]:
    if encoding == "utf8":
        if is_utf8(data):
            return data.decode("utf-8"), 0
        text = data.decode("utf-8", "replace")
        return text, text.count("\ufffd")
    if encoding in ("utf16be", "utf16le"):
        return decode_utf16(data, encoding == "utf16be", warnings)
    if encoding == "ascii":
        text = "".join(chr(b) if b < 0x80 else "\ufffd" for b in data)
        return text, sum(1 for b in data if b >= 0x80)
    if encoding == "cp1252":
        return data.decode("latin-1").translate(dict(enumerate(CP1252))), 0
    return decode_ansel(data)


def is_utf8(data: bytes) -> bool:
    try:
        data.decode("utf-8")
        return True
    except UnicodeDecodeError:
        return False


def declared_charset(data: bytes, encoding: str) -> str | None:
    prefix = data[:8192]
    if encoding in ("utf16be", "utf16le"):
        text = decode_utf16(prefix, encoding == "utf16be", [])[0]
    else:
        text = prefix.decode("latin-1")
    for line in text.split("\n"):
        line = line.rstrip(WHITE_SPACE)
        if line.startswith("1 CHAR "):
            rest = line[7:].strip(WHITE_SPACE)
            if rest:
                return rest
    return None


KEYS = {
    "ANSI": "cp1252", "CP1252": "cp1252", "IBMWINDOWS": "cp1252", "WINDOWS1252": "cp1252",
    "ANSEL": "ansel", "ANSIZ3947": "ansel", "ASCII": "ascii", "USASCII": "ascii",
}


def decode(data: bytes) -> Decoded:
    """The text and report the decoding rules give for these bytes."""
    if len(data) > MAX_BYTES:
        raise ValueError(f"the file is {len(data) // MIB} MB and the limit is {MAX_BYTES // MIB} MB")
    warnings: list[str] = []
    if data[:3] == b"\xef\xbb\xbf":
        body, enc, bom, declared = data[3:], "utf8", True, declared_charset(data[3:], "utf8")
    elif data[:2] in (b"\xfe\xff", b"\xff\xfe"):
        enc = "utf16be" if data[:2] == b"\xfe\xff" else "utf16le"
        body, bom, declared = data[2:], True, declared_charset(data[2:], enc)
    elif len(data) >= 2 and (data[0] == 0) != (data[1] == 0):
        enc = "utf16be" if data[0] == 0 else "utf16le"
        body, bom, declared = data, False, declared_charset(data, enc)
        warnings.append(f"File is {DISPLAY[enc]} but carries no byte-order mark.")
    else:
        body, bom, declared = data, False, declared_charset(data, "single")
        if declared is None:
            enc = "utf8" if is_utf8(data) else "ansel"
        else:
            key = "".join(c for c in declared if c.isascii() and c.isalnum()).upper()
            if key == "UTF8":
                enc = "utf8" if is_utf8(data) else "cp1252"
            else:
                enc = KEYS.get(key, "utf8")
    text, bad = decode_as(body, enc, warnings)
    return Decoded(text, enc, bom, declared, bad, warnings)


# ---------------------------------------------------------------- line grammar

LEVEL = re.compile(r"\+?[0-9]+")
TAG = re.compile(r"[A-Za-z0-9_]+")


def line_error(line: str) -> str | None:
    """The first line check this non-empty line fails, or None."""
    if len(line.encode("utf-8", "surrogatepass")) > MAX_LINE_BYTES:
        return "the line is longer than the limit"
    if " " not in line:
        return "the line has no tag"
    level_text, rest = line.split(" ", 1)
    if not LEVEL.fullmatch(level_text) or int(level_text) > 65535:
        return "the line does not begin with a level"
    if int(level_text) > MAX_DEPTH:
        return "the line is nested deeper than the limit"
    rest = rest.lstrip(" ")
    if not rest:
        return "the line has no tag"
    token = rest.split(" ", 1)[0]
    if token.startswith("@"):
        if len(token) < 3 or not token.endswith("@") or "@" in token[1:-1]:
            return "the cross-reference identifier is not closed, or contains a space"
        after = rest[len(token) + 1 :]
        if not after:
            return "the record has an identifier but no tag"
        token = after.split(" ", 1)[0]
    if not TAG.fullmatch(token):
        return "a tag must be ASCII letters, digits, or underscore"
    return None


def level_of(line: str) -> int:
    return int(line.split(" ", 1)[0])


def normalised_lines(text: str) -> list[tuple[int, str]]:
    """(line number, line) of every non-empty line after line-end normalisation."""
    text = text.replace("\r\n", "\n").replace("\r", "\n")
    pieces = text.split("\n")
    if pieces and pieces[-1] == "":
        pieces.pop()
    return [(n, line) for n, line in enumerate(pieces, 1) if line]


def parse_error(text: str) -> str | None:
    """The display text of the parse error for this decoded text, or None."""
    if len(text.encode("utf-8", "surrogatepass")) > MAX_BYTES:
        size = len(text.encode("utf-8", "surrogatepass"))
        return f"the file is {size // MIB} MB and the limit is {MAX_BYTES // MIB} MB"
    lines = normalised_lines(text)
    for number, line in lines:
        error = line_error(line)
        if error:
            return f"GEDCOM line {number}: {error}"
    previous = None
    for number, line in lines:
        level = level_of(line)
        if previous is None and level != 0:
            return f"GEDCOM line {number}: a record must begin at level 0"
        if previous is not None and level > previous + 1:
            return f"GEDCOM line {number}: the line skips a nesting level"
        previous = level
    return None


def expected_text(text: str) -> str:
    return "".join(line + "\n" for _, line in normalised_lines(text))


def split_line(line: str) -> tuple[int, str | None, str, str | None]:
    """(level, identifier, tag, payload) of a line that passed the line checks."""
    level_text, rest = line.split(" ", 1)
    rest = rest.lstrip(" ")
    xref = None
    if rest.startswith("@"):
        xref, rest = rest.split(" ", 1)
    tag, space, value = rest.partition(" ")
    return int(level_text), xref, tag, value if space else None


def expected_utf8_text(rendered: str) -> str:
    """`rendered` with a leading header's first CHAR line declaring UTF-8."""
    lines = rendered.split("\n")
    if not lines[0] or split_line(lines[0])[2] != "HEAD":
        return rendered
    for i, line in enumerate(lines[1:], 1):
        if not line:
            break
        level, _, tag, value = split_line(line)
        if level == 0:
            break
        if level != 1 or tag != "CHAR":
            continue
        if value is not None and value.strip(WHITE_SPACE).encode("utf-8", "surrogatepass").upper() == b"UTF-8":
            return rendered
        lines[i] = "1 CHAR UTF-8"
        # Its continuation lines go with the old value, so the line declares UTF-8 alone.
        j = i + 1
        while j < len(lines) and lines[j] and level_of(lines[j]) > 1:
            if level_of(lines[j]) == 2 and split_line(lines[j])[2] in ("CONT", "CONC"):
                del lines[j]
            else:
                j += 1
        return "\n".join(lines)
    return rendered
