#!/usr/bin/env python3
"""Builds the text files of the bundled working directory data/.

The sources live in tools/data-src/ as UTF-8 text with any line ends, so that
they are easy to edit and to review. The program itself reads code page 932
(Shift-JIS with Microsoft's extensions) with CR LF line ends, so every source
file is converted to that form under the same name in data/.

Any character that has no code in code page 932 stops the run with the file,
line and column of the character: nothing is ever replaced silently.

Usage: tools/make-text-data.py [--check]
  --check   convert in memory and compare with data/ instead of writing;
            exits with status 1 when a generated file is missing or differs.
"""

import os
import sys
import unicodedata

TOOLS_DIR = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.join(TOOLS_DIR, "data-src")
DATA_DIR = os.path.join(os.path.dirname(TOOLS_DIR), "data")
ENCODING = "cp932"


class ConversionError(Exception):
    pass


def source_lines(path):
    """Returns the lines of a UTF-8 source file without their line ends."""
    with open(path, "rb") as f:
        raw = f.read()
    if raw.startswith(b"\xef\xbb\xbf"):
        raise ConversionError(f"{path}: starts with a UTF-8 byte order mark; remove it")
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        raise ConversionError(f"{path}: not valid UTF-8 at byte {e.start}") from None
    text = text.replace("\r\n", "\n").replace("\r", "\n")
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()  # the line end of the last line, not an extra empty line
    return lines


def encode_lines(path, lines):
    """Encodes the lines in code page 932, each ended by CR LF."""
    out = bytearray()
    for number, line in enumerate(lines, 1):
        if "\t" in line:
            raise ConversionError(
                f"{path}:{number}: contains a tab; the program does not treat tabs as blanks")
        for column, ch in enumerate(line, 1):
            try:
                ch.encode(ENCODING)
            except UnicodeEncodeError:
                name = unicodedata.name(ch, "unnamed character")
                raise ConversionError(
                    f"{path}:{number}:{column}: U+{ord(ch):04X} {name} "
                    f"cannot be written in code page 932") from None
        encoded = line.encode(ENCODING)
        # Round trip: the program must read back exactly what was written.
        if encoded.decode(ENCODING) != line:
            raise ConversionError(f"{path}:{number}: does not survive a round trip through code page 932")
        out += encoded + b"\r\n"
    return bytes(out)


def main(argv):
    check_only = "--check" in argv[1:]
    unknown = [a for a in argv[1:] if a != "--check"]
    if unknown:
        print(__doc__, file=sys.stderr)
        return 2

    names = sorted(n for n in os.listdir(SOURCE_DIR)
                   if os.path.isfile(os.path.join(SOURCE_DIR, n)) and not n.startswith("."))
    if not names:
        print(f"no source files in {SOURCE_DIR}", file=sys.stderr)
        return 1

    stale = []
    for name in names:
        src = os.path.join(SOURCE_DIR, name)
        dst = os.path.join(DATA_DIR, name)
        try:
            data = encode_lines(os.path.relpath(src), source_lines(src))
        except ConversionError as e:
            print(f"error: {e}", file=sys.stderr)
            return 1
        if check_only:
            try:
                with open(dst, "rb") as f:
                    current = f.read()
            except OSError:
                current = None
            if current != data:
                stale.append(name)
            continue
        os.makedirs(DATA_DIR, exist_ok=True)
        with open(dst, "wb") as f:
            f.write(data)
        line_count = data.count(b"\r\n")
        print(f"data/{name}: {line_count} lines, {len(data)} bytes")

    if check_only:
        if stale:
            for name in stale:
                print(f"data/{name} is missing or out of date", file=sys.stderr)
            return 1
        print(f"{len(names)} files up to date")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
