#!/usr/bin/env python3
"""Benchmarks: what one PRINT of a frame costs next to an empty run.

Each program (the Windows build under Wine's console, the Unix build) runs
in a tmux pane of its own, where a loop times every run of every case in
turn, so the cases share the same conditions; a short pause before each run
lets the previous run's processes (Wine's console host) finish first.

Reported per case: the median of the runs; its ratio to the empty run (the
floor: starting and ending the process) and to one console call (`COLOR 07`:
under Wine the console host is started with the process but the first
console call waits until it is up, so every command that touches the console
pays for it). A run of the 80x25 frame's arguments under an unknown keyword
shows what passing the command line costs. For each frame, the time its
drawing costs: the frame minus the same command line drawn off-screen (every
cell clipped, all else done). Also console calls per run for Windows (counted by Wine's relay trace) and bytes
written per run for Unix (read from a pseudo-terminal).

    python3 scripts/bench.py [--runs N]
"""
import argparse
import os
import pty
import select
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import termios
import fcntl
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e", "wine"))
from console import wine_environment  # the Wine suite's harness
WINE = "/usr/lib/wine/wine64"
WIN_EXE = os.path.join(ROOT, "build", "win64", "conx.exe")
UNIX_EXE = os.path.join(ROOT, "build", "native", "conx")
PANE_COLUMNS, PANE_ROWS = 120, 40
ATTRIBUTES = ["1F", "2E", "4F", "70"]  # four attribute runs per row


def frame_arguments(columns, rows, holes):
    """PRINT arguments for a frame: four attribute runs per row, rows joined
    by \\n. holes: None, "band" (the middle tenth of every row transparent,
    as a window showing what lies beneath) or "scattered" (every tenth cell,
    offset per row)."""
    run_width = columns // 4
    runs = [[] for _ in ATTRIBUTES]
    for row in range(rows):
        for r in range(4):
            text = []
            for c in range(r * run_width, (r + 1) * run_width):
                hole = (holes == "band" and columns * 45 // 100 <= c < columns * 55 // 100) or (
                    holes == "scattered" and (c + 3 * row) % 10 == 0)
                text.append("\\00" if hole else chr(ord("A") + (row + c) % 26))
            if r == 3 and row < rows - 1:
                text.append("\\n")
            runs[r].append("".join(text))
    args = []
    for row in range(rows):
        for r, attribute in enumerate(ATTRIBUTES):
            args += [attribute, runs[r][row]]
    return ["PRINT", "0", "0"] + args


def off_screen(args):
    """The same PRINT with every cell clipped: row 65436 is read as the 16-bit
    row -100, and each of up to 100 lines stays above the screen."""
    return args[:1] + ["65436"] + args[2:]


def cases():
    """(name, arguments, arguments of the off-screen twin or None); the first
    two are the floors the ratios are taken to."""
    sprite = ["PRINT", "10", "20", "0E", "/-\\\\-\\\\\\n|o o|\\n\\\\___/"]
    frames = [
        ("80x25 frame, opaque", frame_arguments(80, 25, None)),
        ("80x25 frame, 10% transparent (band)", frame_arguments(80, 25, "band")),
        ("80x25 frame, 10% transparent (scattered)", frame_arguments(80, 25, "scattered")),
        ("120x40 frame, opaque", frame_arguments(120, 40, None)),
        ("120x40 frame, 10% transparent (band)", frame_arguments(120, 40, "band")),
        ("5x3 sprite", sprite),
    ]
    return [
        ("empty run (floor)", [], None),
        ("COLOR 07: one console call", ["COLOR", "07"], None),
        ("80x25 frame's arguments, no command", ["NOSUCH"] + frames[0][1][1:], None),
        ("_KBD: home and key poll, PRINT's fixed part", ["_KBD"], None),
    ] + [(name, args, off_screen(args)) for name, args in frames]


def timed_runs(all_cases):
    """Every command line the loop times: the cases, then the off-screen twins."""
    runs = [(name, args) for name, args, _ in all_cases]
    runs += [(name + " [off-screen]", twin) for name, _, twin in all_cases if twin]
    return runs


def decoded(text):
    """The character values PRINT's escape decoder makes of a text."""
    out, escaping, digits, value = [], False, 0, 0
    for ch in text:
        hexdigit = ch in "0123456789abcdefABCDEF"
        if not escaping:
            if ch == "\\":
                escaping = True
            else:
                out.append(ord(ch))
        elif hexdigit and digits < 2:
            digits, value = digits + 1, value * 16 + int(ch, 16)
        elif hexdigit or digits:
            out.append(value)
            if ch != "\\" or hexdigit:
                out.append(ord(ch))
                escaping = False
            digits, value = 0, 0
        else:
            out.append(10 if ch == "n" else ord(ch))
            escaping = False
    if digits:
        out.append(value)
    return out


def visible_bytes(args):
    """UTF-8 bytes of the visible cells of a PRINT (all ASCII here)."""
    return sum(1 for text in args[4::2] for c in decoded(text) if c not in (0, 10))


def time_in_pane(command_prefix, all_cases, runs, pause, env):
    """Runs every case `runs` times in a tmux pane, round-robin, `pause`
    seconds after the run before, timing each run inside the pane with
    bash's clock (no process of its own); returns {case name: [seconds]}."""
    work = tempfile.mkdtemp(prefix="conx-bench-")
    script = os.path.join(work, "loop.sh")
    out = os.path.join(work, "times")
    with open(script, "w") as f:
        f.write("#!/bin/bash\n")
        for i in range(runs):
            for n, (_, args) in enumerate(all_cases):
                quoted = " ".join("'" + a.replace("'", "'\\''") + "'" for a in command_prefix + args)
                f.write(f"sleep {pause}; t0=$EPOCHREALTIME; {quoted}; t1=$EPOCHREALTIME\n")
                f.write(f"echo {n} $t0 $t1 >> {out}\n")
        f.write(f"echo done >> {out}.done\n")
    server = f"conx-bench-{os.getpid()}"
    tmux = ["tmux", "-L", server, "-f", "/dev/null"]
    subprocess.run(tmux + ["new-session", "-d", "-s", "b", "-x", str(PANE_COLUMNS), "-y", str(PANE_ROWS),
                           "bash " + script], check=True, env=env)
    deadline = time.time() + 1800
    while not os.path.exists(out + ".done") and time.time() < deadline:
        time.sleep(0.5)
    subprocess.run(tmux + ["kill-server"], stderr=subprocess.DEVNULL)
    times = {name: [] for name, _ in all_cases}
    with open(out) as f:
        for line in f:
            n, t0, t1 = line.split()
            times[all_cases[int(n)][0]].append(float(t1) - float(t0))
    shutil.rmtree(work, ignore_errors=True)
    return times


def wine_calls(args, env):
    """Console calls and cell-writing calls of one run, from Wine's relay trace."""
    trace_env = dict(env, WINEDEBUG="+relay")
    with tempfile.TemporaryFile() as log:
        subprocess.run([WINE, WIN_EXE] + args, stdout=subprocess.DEVNULL, stderr=log,
                       stdin=subprocess.DEVNULL, env=trace_env, timeout=120)
        log.seek(0)
        calls = writes = 0
        for line in log.read().decode("latin-1").splitlines():
            if ":Call KERNEL32." in line and "Console" in line:
                calls += 1
                writes += "WriteConsoleOutputW" in line
    return calls, writes


def unix_bytes(args):
    """Bytes the Unix build writes to an 80x25 terminal for one run."""
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(UNIX_EXE, [UNIX_EXE] + args)
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", PANE_ROWS, PANE_COLUMNS, 0, 0))
    data = b""
    while True:
        ready, _, _ = select.select([fd], [], [], 5)
        if not ready:
            break
        try:
            chunk = os.read(fd, 65536)
        except OSError:
            break
        if not chunk:
            break
        data += chunk
    os.waitpid(pid, 0)
    return len(data)


def report(title, all_cases, times, extra_header, extra):
    """One table: each case's median, its ratios to the two floors (the empty
    run and one console call) and, for a frame, what its drawing costs."""
    median = {name: statistics.median(values) for name, values in times.items()}
    floor = median[all_cases[0][0]]
    one_call = median[all_cases[1][0]]
    print(f"\n{title}")
    print(f"  {'case':44} {'median ms':>9} {'x empty':>7} {'x 1 call':>8} {'drawing ms':>10}  {extra_header}")
    for name, args, twin in all_cases:
        drawing = f"{(median[name] - median[name + ' [off-screen]']) * 1000:10.1f}" if twin else " " * 10
        print(f"  {name:44} {median[name] * 1000:9.1f} {median[name] / floor:7.2f} "
              f"{median[name] / one_call:8.2f} {drawing}  {extra(name, args)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=21)
    options = parser.parse_args()
    all_cases = cases()
    runs = timed_runs(all_cases)
    env = wine_environment()  # scripts/wine-env.sh's, with its prefix
    print(f"{options.runs} runs per case, pane {PANE_COLUMNS}x{PANE_ROWS}")

    if os.path.exists(WIN_EXE):
        times = time_in_pane([WINE, WIN_EXE], runs, options.runs, 0.15, env)
        counts = {name: wine_calls(args, env) for name, args, _ in all_cases}
        report("Windows build under Wine's console (tmux pane)", all_cases, times,
               "console calls (cell writes)",
               lambda name, args: f"{counts[name][0]} ({counts[name][1]})")

    if os.path.exists(UNIX_EXE):
        times = time_in_pane([UNIX_EXE], runs, options.runs, 0.01, env)
        sizes = {name: unix_bytes(args) for name, args, _ in all_cases}

        def bytes_column(name, args):
            visible = visible_bytes(args) if args[:1] == ["PRINT"] else 0
            ratio = f" = {sizes[name] / visible:.2f}x visible" if visible else ""
            return f"{sizes[name]} bytes{ratio}"
        report("Unix build (tmux pane)", all_cases, times, "bytes written", bytes_column)


if __name__ == "__main__":
    sys.exit(main())
