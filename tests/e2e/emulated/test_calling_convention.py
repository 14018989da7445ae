"""The emulated run catches faults that only a 32-bit build has: a scratch
build of the same sources, with msvcrt's vprintf declared callee-pops
(stdcall) instead of caller-pops (cdecl), must fail where the released
program passes. vprintf is the msvcrt function with arguments that the
reports go through; __wgetmainargs is left alone so that the commands are
reached at all. (Compiling everything with -mrtd instead does not link:
it also drops the @n decoration from kernel32's stdcall names, which the
import library knows only decorated.)"""

import json
import re
import shutil
import subprocess

import pytest

import emulator
from conftest import ROOT
from emulator import Console, EmulationError, mouse_event

TIME = (2024, 3, 5, 15, 13, 14, 15, 678)

# Commands whose report goes through vprintf, and what the README says they print.
CASES = [
    (["TIME"], [], "5 2024 3 15 13 14 15 678"),
    (["MOUSE"], [mouse_event(3, 7, 1)], "3 7 1"),
    (["INPUTHIT", "0"], [mouse_event(3, 7, 1)], "3 7 1 0  \n"),
]


def sh(*command):
    done = subprocess.run([str(c) for c in command], capture_output=True, text=True,
                          timeout=300)
    assert done.returncode == 0, f"{' '.join(map(str, command))}:\n{done.stdout}{done.stderr}"


@pytest.fixture(scope="module")
def callee_pops_exe(exe, tmp_path_factory):
    """build/conx.exe of a copy of the sources where vprintf is stdcall."""
    if not (shutil.which("cmake") and shutil.which("i686-w64-mingw32-g++")):
        pytest.skip("needs cmake and i686-w64-mingw32-g++ for the scratch build")
    work = tmp_path_factory.mktemp("callee-pops")
    for name in ("src", "cmake"):
        shutil.copytree(ROOT / name, work / name)
    for name in ("CMakePresets.json", "CMakeLists.txt"):
        shutil.copy(ROOT / name, work / name)
    # A stdcall name is decorated (_vprintf@8), which msvcrt's import
    # library does not have; the assembler label keeps the plain name, so
    # the call goes through the library's jump stub to the same import.
    source = work / "src" / "platform" / "win32" / "console.cpp"
    text, found = re.subn(r"MSVCRT_IMPORT int __cdecl vprintf\(([^;]*)\);",
                          r'int __stdcall vprintf(\1) __asm__("_vprintf");', source.read_text())
    assert found == 1, "win32/console.cpp no longer declares vprintf as this test expects"
    source.write_text(text)
    presets = json.loads((ROOT / "CMakePresets.json").read_text())["configurePresets"]
    win32 = next(p for p in presets if p["name"] == "win32")
    toolchain = win32["toolchainFile"].replace("${sourceDir}", str(work))
    settings = [f"-D{k}={v}" for k, v in win32.get("cacheVariables", {}).items()]
    build = work / "build"
    sh("cmake", "-S", work, "-B", build, "-G", win32["generator"],
       f"-DCMAKE_TOOLCHAIN_FILE={toolchain}", *settings)
    sh("cmake", "--build", build, "-j2", "--target", "conx")
    return build / "conx.exe"


def test_every_import_is_modelled(exe):
    assert emulator.missing_models(emulator.load(exe)) == []


def test_the_scratch_build_binds_the_same_imports(exe, callee_pops_exe):
    def names(path):
        return sorted((dll.lower(), name) for dll, name, _ in emulator.load(path).imports)
    assert names(callee_pops_exe) == names(exe)


def outcome(path, command, records):
    """What a run left (report, exit code, console calls), or how it failed."""
    console = Console()
    console.time = TIME
    console.queue(*records)
    try:
        run = emulator.run(path, *command, console=console)
    except EmulationError as e:
        return f"fails: {e}"
    return run.stdout, run.exit_code, run.console_calls()


@pytest.mark.parametrize("command, records, report", CASES,
                         ids=[" ".join(c[0]) for c in CASES])
def test_callee_pops_vprintf_is_caught(exe, callee_pops_exe, command, records, report):
    real = outcome(exe, command, records)
    assert not isinstance(real, str), real
    assert real[0] == report
    assert outcome(callee_pops_exe, command, records) != real
