#!/usr/bin/env python3
"""Writes the width tables of src/platform/terminal/widths.cpp (the rows
between its "generated" comments) from the Unicode data Python carries
(unicodedata), which must be the version the C library of the build machine
knows: Debian 12 has Unicode 14 in both.

    python3 scripts/widths.py

A character takes two cells when it is East Asian Wide or Fullwidth, none
when it is a combining mark (Mn, Me), a format character (Cf) or a Hangul
vowel or final consonant that joins the syllable before it, and one
otherwise. Three choices follow the GNU C library, with which tmux and
xterm measure text: the soft hyphen and the prepended concatenation marks
(Cf characters that are drawn) take one cell; the circled numbers on black
squares (U+3248-324F) and the Yijing hexagrams (U+4DC0-4DFF) take two.
Unassigned code points join whichever range lies around them."""
import os
import re
import unicodedata

TABLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "platform",
                      "terminal", "widths.cpp")
SOFT_HYPHEN = 0x00AD
PREPENDED_MARKS = {0x0600, 0x0601, 0x0602, 0x0603, 0x0604, 0x0605, 0x06DD, 0x070F, 0x0890,
                   0x0891, 0x08E2, 0x110BD, 0x110CD}  # PropList.txt, Unicode 14
JOINING_JAMO = [(0x1160, 0x11FF), (0xD7B0, 0xD7FF)]
WIDE_IN_GLIBC = [(0x3248, 0x324F), (0x4DC0, 0x4DFF)]
PER_LINE = 5


def within(c, ranges):
    return any(first <= c <= last for first, last in ranges)


def width(c):
    """Cells of code point c; None when it is unassigned."""
    ch = chr(c)
    category = unicodedata.category(ch)
    if category == "Cn":
        return None
    if c == SOFT_HYPHEN or c in PREPENDED_MARKS:
        return 1
    if category in ("Mn", "Me", "Cf") or within(c, JOINING_JAMO):
        return 0
    if unicodedata.east_asian_width(ch) in "WF" or within(c, WIDE_IN_GLIBC):
        return 2
    return 1


def ranges(widths, wanted):
    """Ranges of code points of width `wanted`, bridging unassigned gaps."""
    found, previous = [], None  # previous: the width of the last assigned one
    for c, w in enumerate(widths):
        if w is None:
            continue
        if w == wanted and previous == wanted:
            found[-1][1] = c
        elif w == wanted:
            found.append([c, c])
        previous = w
    return found


def rows(found):
    cells = [f"{{0x{first:04X}, 0x{last:04X}}}," for first, last in found]
    return ["   " + "".join(f" {cell:<18}" for cell in cells[i:i + PER_LINE]).rstrip() + "\n"
            for i in range(0, len(cells), PER_LINE)]


def main():
    widths = [width(c) for c in range(0x110000)]
    with open(TABLES) as f:
        text = f.read()
    for name, wanted in (("ZeroWidth", 0), ("Wide", 2)):
        pattern = re.compile(rf"(const Range {name}\[\] = {{\n).*?(}};)", re.S)
        text, count = pattern.subn(lambda m: m.group(1) + "".join(rows(ranges(widths, wanted)))
                                  + m.group(2), text)
        assert count == 1, f"no table {name} in {TABLES}"
    text = re.sub(r"Unicode \d+\.\d+\.\d+", f"Unicode {unicodedata.unidata_version}", text)
    with open(TABLES, "w") as f:
        f.write(text)


if __name__ == "__main__":
    main()
