"""The released 32-bit program cannot run here (no 32-bit Wine): check that
it is built, up to date, from the same sources as the 64-bit one the other
cases run, imports the same functions, and passes scripts/check-exe.sh."""

import re
import shutil
import subprocess

import pytest

import console as c

release = pytest.mark.covers("release")
WIN32 = c.ROOT / "build" / "win32"
WIN64 = c.ROOT / "build" / "win64"


def objects(build):
    found = sorted(p.relative_to(build / "CMakeFiles" / "conx.dir").as_posix()
                   for p in (build / "CMakeFiles" / "conx.dir").rglob("*.obj"))
    assert found, f"no objects under {build}"
    return found


def imports(exe, objdump):
    """{DLL: its functions}, from objdump -p: each DLL's name line, a header
    line, then a line per function up to a blank line."""
    dump = subprocess.run([objdump, "-p", str(exe)], capture_output=True, text=True,
                          timeout=30, check=True).stdout
    return {dll: set(re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\w+)$", names, re.M))
            for dll, names in re.findall(r"DLL Name: (\S+)\n(.*?)\n\s*\n", dump, re.S)}


@release
def test_release_exe_is_built_from_the_same_sources(wine_env):
    assert objects(WIN32) == objects(WIN64)
    # Asked of each build: its makefile knows the sources, headers, flags and
    # linker script conx.exe is made of (headers once the depend step ran).
    make = ["make", "-s", "-f", "CMakeFiles/conx.dir/build.make"]
    for build in (WIN32, WIN64):
        for args in (["CMakeFiles/conx.dir/depend"], ["-q", "conx.exe"]):
            r = subprocess.run(make + args, cwd=build, capture_output=True, timeout=60)
            assert r.returncode == 0, f"{build}/conx.exe is out of date (bash scripts/build.sh)"


@release
def test_release_exe_imports_what_the_tested_exe_imports(wine_env):
    ours = imports(WIN32 / "conx.exe", "i686-w64-mingw32-objdump")
    tested = imports(WIN64 / "conx.exe", "x86_64-w64-mingw32-objdump")
    assert ours == tested


@release
def test_release_exe_passes_check_exe(wine_env, tmp_path):
    def check(exe):
        return subprocess.run(["bash", "scripts/check-exe.sh", str(exe)], cwd=c.ROOT,
                              capture_output=True, text=True, timeout=60)
    r = check(WIN32 / "conx.exe")
    assert r.returncode == 0, r.stderr
    # and the check is not vacuous: the 64-bit build is not PE32, and the
    # release grown to twice its size is over the budget its build recorded
    assert check(WIN64 / "conx.exe").returncode != 0
    grown = tmp_path / "conx.exe"
    grown.write_bytes((WIN32 / "conx.exe").read_bytes() * 2)
    shutil.copy(WIN32 / "CMakeCache.txt", tmp_path)
    assert "over the budget" in check(grown).stderr
