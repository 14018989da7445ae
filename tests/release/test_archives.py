"""What the release command writes into dist/: each archive holds exactly
its files, with fixed times and root owners, and the same bytes twice."""
import glob
import gzip
import hashlib
import os
import pty
import re
import subprocess
import tarfile
import time
import zipfile

import pytest

from conftest import DEBS, LINUX, ROOT, TOPS, VERSION, ZIP, run


def examples(pattern):
    return sorted(os.path.basename(p) for p in glob.glob(os.path.join(ROOT, "examples", pattern)))


def source(path):
    with open(os.path.join(ROOT, path), "rb") as f:
        return f.read()


EXPECTED = {
    "zip": ["conx.exe", "README.txt", "LICENSE.txt"] + examples("*.bat"),
    "tarball": [f"{{top}}/{n}" for n in ["", "conx", "conx.1", "README.md", "LICENSE", "examples/"]
                + [f"examples/{n}" for n in examples("*.sh")]],
    "deb": [f"./usr/{n}" for n in ["bin/conx", "share/man/man1/conx.1.gz",
                                   "share/lintian/overrides/conx"]
            + [f"share/doc/conx/{n}" for n in ["README.md", "copyright", "changelog.gz"]]
            + [f"share/doc/conx/examples/{n}" for n in examples("*.sh")]],
}


@pytest.fixture
def zipped(dist):
    with zipfile.ZipFile(dist / ZIP) as z:
        yield z


def test_dist_holds_the_downloads_and_their_sums(dist):
    downloads = [ZIP, *(f"{top}.tar.gz" for top in TOPS.values()), *DEBS.values()]
    assert sorted(os.listdir(dist)) == sorted(downloads + ["SHA256SUMS"])
    sums = dict(reversed(line.split("  ")) for line in (dist / "SHA256SUMS").read_text().splitlines())
    assert sums == {n: hashlib.sha256((dist / n).read_bytes()).hexdigest() for n in downloads}


def test_two_runs_give_the_same_bytes(dist, second_sums):
    assert second_sums == (dist / "SHA256SUMS").read_text()


@pytest.mark.parametrize("kind", EXPECTED)
def test_archive_holds_exactly_its_files(kind, dist, arch, deb_data):
    if kind == "zip":
        with zipfile.ZipFile(dist / ZIP) as z:
            names = z.namelist()
    elif kind == "tarball":
        with tarfile.open(dist / f"{TOPS[arch]}.tar.gz") as t:
            names = [m.name + "/" * m.isdir() for m in t.getmembers()]
    else:
        names = [m.name for m in deb_data.getmembers() if not m.isdir()]
    assert sorted(names) == sorted(n.format(top=TOPS[arch]) for n in EXPECTED[kind])


@pytest.mark.parametrize("name, original", [("conx.exe", "build/win32/conx.exe")]
                         + [(n, f"examples/{n}") for n in examples("*.bat")])
def test_zip_holds_the_built_exe_and_the_batch_files(zipped, name, original):
    assert zipped.read(name) == source(original)


@pytest.mark.parametrize("name, original", [("README.txt", "doc/windows-guide.txt"), ("LICENSE.txt", "LICENSE")])
def test_zip_text_files_have_windows_line_ends(zipped, name, original):
    text = zipped.read(name)
    assert re.search(rb"(?<!\r)\n", text) is None and b"\r\r" not in text
    before, table, after = (source(original).replace(b"@PROJECT_VERSION@", VERSION.encode())
                            .partition(b"@KEY_CODES@\n"))  # the guide's: the README's key table
    body = text.replace(b"\r\n", b"\n")
    assert body.startswith(before) and body.endswith(after) and (table or body == before)
    text.decode("utf-8")  # plain text, UTF-8 for its box-drawn frame
    assert len(text) <= 18 * 1024, "the batch guide: plain text, at most 18 KiB"


def test_zip_entries_carry_the_commit_time(zipped, source_date_epoch):
    # DOS times have two-second steps and no zone: the release writes UTC.
    stamp = time.gmtime(source_date_epoch - source_date_epoch % 2)[:6]
    assert {i.date_time for i in zipped.infolist()} == {stamp}


@pytest.mark.parametrize("kind", ["tarball", "deb"])
def test_tar_entries_are_root_owned_at_the_commit_time(kind, dist, arch, deb_data, source_date_epoch):
    members = (tarfile.open(dist / f"{TOPS[arch]}.tar.gz") if kind == "tarball" else deb_data).getmembers()
    assert {(m.uid, m.gid, m.uname or "root", m.gname or "root") for m in members} == {(0, 0, "root", "root")}
    assert {m.mtime for m in members} == {source_date_epoch}
    assert all(m.mode & 0o022 == 0 for m in members)


@pytest.mark.parametrize("path", ["conx", "conx.1", "README.md", "LICENSE", "examples/game.sh"])
def test_tarball_files_match_the_deb_and_sources(unpacked, deb_root, path):
    expected = {
        "conx": lambda: (deb_root / "usr/bin/conx").read_bytes(),
        # The tarball's page names the examples' folder under /usr/local.
        "conx.1": lambda: gzip.decompress((deb_root / "usr/share/man/man1/conx.1.gz").read_bytes())
                          .replace(b"/usr/share/doc/", b"/usr/local/share/doc/"),
    }.get(path, lambda: source(path))()
    assert (unpacked / path).read_bytes() == expected


def test_tarball_program_runs_and_is_static_and_stripped(unpacked, arch):
    _, elf_machine, emulator = LINUX[arch]
    program = [*emulator, str(unpacked / "conx")]
    fields = run(*program, "TIME").stdout.split()
    assert len(fields) == 8 and all(f.isdigit() for f in fields)
    controller, terminal = pty.openpty()  # row 2, column 5 is the terminal's 3;6
    subprocess.run(program + ["PRINT", "2", "5", "0A", "Hi"], stdin=terminal, stdout=terminal, check=True)
    os.close(terminal)
    assert re.search(rb"\x1b\[3;6H(\x1b\[[\d;]*m)*Hi", os.read(controller, 4096))
    os.close(controller)
    headers = run("readelf", "-hlS", program[-1]).stdout
    assert elf_machine in headers
    assert "INTERP" not in headers and ".symtab" not in headers and ".comment" not in headers


@pytest.mark.parametrize("kind", ["zip", "tarball"])
def test_released_programs_hold_no_build_path(kind, zipped, unpacked):
    binary = zipped.read("conx.exe") if kind == "zip" else (unpacked / "conx").read_bytes()
    assert ROOT.encode() not in binary and b"/build/" not in binary


@pytest.mark.parametrize("preset, output", [("win32", "conx.exe"), ("release", "conx"),
                                            ("release-aarch64", "conx")])
def test_a_second_build_folder_gives_the_same_program(preset, output, dist, tmp_path):
    # After dist: the release command has built the preset's own folder.
    run("cmake", "--preset", preset, "-B", str(tmp_path))
    run("cmake", "--build", str(tmp_path), "-j", "2", "--target", "conx")
    assert (tmp_path / output).read_bytes() == source(f"build/{preset}/{output}")
