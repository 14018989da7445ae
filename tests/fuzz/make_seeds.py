#!/usr/bin/env python3
"""Writes the seed corpus (corpus/<target>/<name>, each seed named for what
it holds) in the byte layouts that the fuzz targets read; see the comment
at the top of each fuzz_*.cpp. Keywords are spelt out, never given by
their place in the command list."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
# Indexes into fuzz_command_line.cpp's EVENT_KINDS and harness.cpp's KEYSTROKES.
KEY_DOWN, KEY_UP, LEFT, RIGHT, BOTH, MIDDLE, DRAG, DOUBLE, THREE, RELEASE, MOVE, \
    WHEEL_FORWARD, WHEEL_BACK, FOCUS, SIZE = range(15)
KEY_a, KEY_A, ENTER, CTRL_J, ESCAPE, BACKSPACE, CTRL_A, E_ACUTE, Y_DIAERESIS, UP, DOWN, LEFT_KEY, \
    F1, F12, CTRL_2, PAIR_224 = range(16)


def mouse_payload(column, row, buttons, flags=0):
    return struct.pack("<hhIII", column, row, buttons, 0, flags)


def key_payload(down, virtual_key, char):
    return struct.pack("<IHHHHI", 1 if down else 0, 1, virtual_key, 0, char, 0)


def command_line(args, flags=0, keys=(), events=()):
    """keys: KEYSTROKES indexes; events: (kind, column, row, arrives after counts)."""
    out = bytes([flags, len(keys)]) + bytes(keys) + bytes([len(events)])
    for kind, column, row, arrives in events:
        out += bytes([kind]) + struct.pack("<hh", column, row) + bytes([arrives])
    return out + b"\0".join(a if isinstance(a, bytes) else a.encode("latin-1") for a in args)


def long_parameter(blocks, unit):
    return b"\x01\x02" + bytes([blocks - 1]) + unit


def escape(texts, columns=10, rows=5, row=0, column=0):
    head = bytes([columns - 1, rows - 1]) + struct.pack("<hh", row, column)
    return head + b"\0".join(bytes([attr]) + text for attr, text in texts)


def inputhit(mode_choice, events, keys=(), mode=0x1F7, console=True, mode_text=b""):
    """keys: KEYSTROKES indexes; events: (type, payload, arrives after polls)."""
    out = bytes([(0 if console else 1) | mode_choice << 1]) + struct.pack("<I", mode)
    out += bytes([len(keys)]) + bytes(keys)
    for etype, payload, arrives in events:
        out += struct.pack("<H", etype) + payload + bytes([arrives])
    return out + mode_text


def cellbatch(lines, column=0, row=0):
    """Lines of text from (column, row) as fuzz_cellbatch reads them: a
    blank is a transparent cell (up to 7 in a row), '!' sends the batch,
    "<>" is a wide character's two halves."""
    out = b""
    for r, line in enumerate(lines):
        skip = 0
        step = 3 if r == 0 else 2
        for ch in line.replace("<>", "<"):
            if ch == " ":
                skip += 1
                continue
            out += bytes([step | skip << 2 | (32 if ch == "<" else 0)])
            if step == 3:
                out += struct.pack("<HH", column, row)
            out += bytes([ord(ch), (len(out) * 7) % 256])
            step, skip = 0, 0
    return out


SEEDS = {
    "command_line": {
        "no-arguments": command_line([]),
        "print-hello": command_line(["PRINT", "2", "5", "0A", "Hello"]),
        "print-runs-trailing-attribute": command_line(["print", "2", "5", "0A", "Hel", "0C", "lo", "1F"]),
        "print-clipped-escapes": command_line(["PRINT", "-1", "-3", "07", "abcde\\nfghij\\n\\41\\414\\0\\00x\\"], flags=4),
        "print-right-edge-1252": command_line(["PRINT", "0", "75", "1F", "right edge\\nnext", "0x2e", "\\E9\\80\\FF\\\\"]),
        "print-long-text-bottom-row": command_line(["PRINT", "24", "0", "07", long_parameter(250, b"ab\\0A\\0")], flags=6),
        "print-numbers-beyond-16-bits": command_line(["PRINT", "65535", "4294967296", "ffffffff", "x"]),
        "print-with-keys-waiting": command_line(["PRINT", "1", "1", "07", "k"], keys=[UP, KEY_a]),
        "print-every-byte": command_line(["PRINT", "0", "0", "07", bytes(range(1, 256))]),
        "print-lower-case-no-text": command_line(["print", "1", "1"]),
        "color": command_line(["COLOR", "1F"]),
        "color-surplus": command_line(["COLOR", "0x1f", "2"]),
        "locate": command_line(["LOCATE", "3", "10"]),
        "locate-off-screen": command_line(["LOCATE", "-1", "99999"]),
        "cursor-half": command_line(["CURSOR", "50"]),
        "cursor-not-a-number": command_line(["CURSOR", "x"], flags=32),
        "font-negative": command_line(["FONT", "-2"]),
        "kbd-f1": command_line(["KBD"], keys=[F1]),
        "kbd-cut-pair": command_line(["kbd"], keys=[UP], flags=128),
        "kbd-no-key": command_line(["KBD"]),
        "pollkey-two-keys": command_line(["_KBD"], keys=[KEY_a, ENTER]),
        "pollkey-surplus": command_line(["_kbd", "surplus"]),
        "mouse-after-key-wheel-release": command_line(
            ["MOUSE"], events=[(KEY_DOWN, 0, 0, 0), (WHEEL_BACK, 4, 4, 0), (RELEASE, 1, 1, 0), (RIGHT, 12, 4, 0)]),
        "mouse-no-console": command_line(["MOUSE"], flags=1, events=[(LEFT, 1, 1, 0)]),
        "inputhit-key": command_line(["INPUTHIT", "0"], keys=[KEY_a], events=[(KEY_DOWN, 0, 0, 0)]),
        "inputhit-wait-focus": command_line(["INPUTHIT", "1"], events=[(FOCUS, 0, 0, 5)]),
        "inputhit-no-mode-size": command_line(["INPUTHIT"], events=[(SIZE, 100, 30, 0), (LEFT, 3, 7, 0)]),
        "inputhit-ctrl-j-wheel": command_line(["INPUTHIT", "0"], keys=[CTRL_J], events=[(WHEEL_FORWARD, 5, 5, 0)]),
        "time-surplus": command_line(["TIME", "x"]),
        "sleep-negative": command_line(["SLEEP", "-5"]),
        "sleep-wrapping": command_line(["SLEEP", "4294967396"]),
        "sleep-no-count": command_line(["SLEEP"]),
        "unknown-keyword": command_line(["PRINTX", "1"]),
        "keyword-not-ascii": command_line(["\xe9\xff"]),
    },
    "escape": {
        "runs-new-line-backslash": escape([(7, b"AB\\n\\\\C")]),
        "escapes": escape([(0x0A, b"\\41\\414\\4x\\4"), (0x0C, b"\\0\\00\\a\\F\\x41\\z\\ \\")]),
        "clipped-top-left": escape([(7, b"abcdefghijklmnop\\nq")], row=-1, column=-3),
        "high-bytes-small-screen": escape([(7, b"\xe9\\\xe9\\4\xe9\\\xb9\xb9")], columns=3, rows=2),
        "position-wraps": escape([(7, b"a"), (9, b"b\\n"), (1, b"c")], row=32767, column=32766),
        "long-lines-tall-text": escape([(7, b"x" * 300 + b"\\n" * 70 + b"y")], columns=16, rows=8, row=1, column=2),
    },
    "inputhit": {
        "wait-nothing": inputhit(1, []),
        "key-a": inputhit(1, [(1, key_payload(True, 65, 97), 0)], keys=[KEY_a]),
        "key-up": inputhit(1, [(1, key_payload(True, 38, 0), 0)], keys=[UP]),
        "click": inputhit(1, [(2, mouse_payload(7, 3, 1), 0)]),
        "click-then-key": inputhit(1, [(2, mouse_payload(12, 4, 2), 0), (1, key_payload(True, 66, 98), 0)], keys=[KEY_A]),
        "focus": inputhit(1, [(0x10, b"\1" + bytes(15), 0)]),
        "wheel": inputhit(1, [(2, mouse_payload(5, 5, 0x00780000, 4), 0)]),
        "late-move": inputhit(2, [(2, mouse_payload(3, 2, 0, 1), 5)]),
        "size-and-menu": inputhit(0, [(4, struct.pack("<hh", 100, 30) + bytes(12), 0), (8, bytes(16), 0)]),
        "no-console": inputhit(2, [(2, mouse_payload(1, 1, 1), 0)], console=False),
        "odd-type-mode-text": inputhit(3, [(0xFFFF, bytes(range(16)), 3)], keys=[CTRL_2], mode_text=b" +1"),
        "focus-shaped-ctrl-j": inputhit(1, [(0x10, struct.pack("<hhi", -2, 5, -2) + bytes(8), 0)], keys=[CTRL_J]),
    },
    "cellbatch": {
        "full-frame": cellbatch(["#" * 80] * 25),
        "frame-with-window": cellbatch(["#" * 40 + "    " + "#" * 36] * 25, column=3, row=2),
        "long-row": cellbatch(["x" * 515, "  ab!c", "d"]),
        "tall-column-block": cellbatch(["a" * 30] * 70, column=250, row=5),
        "bottom-edge": cellbatch(["  ab", "cdef", "g  h"], column=5, row=75),
        "wide-characters": cellbatch(["abc", "<><>", "a<>b", "x" * 239 + "<>y"], column=16, row=3),
    },
}

for target, seeds in SEEDS.items():
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    for name, seed in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(seed)
