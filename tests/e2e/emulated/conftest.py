"""Fixtures for running the released 32-bit build/win32/conx.exe in the x86
emulator (emulator.py) over a modelled console. Run alone, after building
the win32 preset:

    /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/e2e/emulated
"""

import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).parent))
import emulator  # noqa: E402

ROOT = Path(__file__).resolve().parents[3]
EXE = ROOT / "build" / "win32" / "conx.exe"


@pytest.fixture(scope="session")
def exe():
    if not EXE.exists():
        pytest.skip("build/win32/conx.exe is missing "
                    "(cmake --preset win32 && cmake --build --preset win32)")
    return EXE


def run_checked(path, *args, console=None):
    """One run; a report printed but never flushed counts as a fault,
    since a batch file's for /f reads standard output through a pipe."""
    run = emulator.run(path, *args, console=console)
    assert run.lost_output == "", f"printed but never flushed: {run.lost_output!r}"
    return run


@pytest.fixture
def conx(exe):
    """conx(ARG...[, console=Console]) runs the exe once and returns its Run."""
    return lambda *args, console=None: run_checked(exe, *args, console=console)
