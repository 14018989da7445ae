"""The Debian package: its control fields, what it puts where, lintian's
verdict, the manual page it carries, and cmake --install from a build."""
import gzip
import os
import re
import subprocess
import sys

import pytest

from conftest import DEBS, LINUX, ROOT, VERSION, run

sys.path.insert(0, os.path.join(ROOT, "tests"))
from commands import KEYWORDS  # noqa: E402

SECTIONS = ["NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "PRINT TEXT", "KEY CODES",
            "REPORTS", "EXIT STATUS", "UNIX TERMINALS", "EXAMPLES", "SEE ALSO"]


@pytest.fixture(scope="session")
def control(dist, arch):
    text = run("dpkg-deb", "-f", str(dist / DEBS[arch])).stdout
    return dict(re.findall(r"^([A-Za-z-]+): ?(.*(?:\n .*)*)", text, re.M))


@pytest.mark.parametrize("field, value", [
    ("Package", "conx"), ("Version", VERSION), ("Architecture", "{arch}"),
    ("Section", "utils"), ("Priority", "optional"),
])
def test_control_field(control, arch, field, value):
    assert control[field] == value.format(arch=arch)


def test_control_names_a_maintainer_and_describes_the_package(control):
    assert re.fullmatch(r"[^<>]+ <[^@\s]+@[^@\s>]+>", control["Maintainer"])
    short, *long = control["Description"].split("\n")
    assert 10 < len(short) <= 80 and len(long) >= 2
    assert not {"Depends", "Pre-Depends", "Recommends"} & control.keys()  # static


def test_installed_size_covers_the_files(control, deb_root):
    total = sum(os.path.getsize(os.path.join(d, f))
                for d, _, files in os.walk(deb_root / "usr") for f in files)
    assert total <= int(control["Installed-Size"]) * 1024 <= total + 64 * 1024


def test_package_unpacks_program_manual_and_docs(deb_root, arch):
    program = deb_root / "usr/bin/conx"
    assert os.access(program, os.X_OK)
    assert len(run(*LINUX[arch][2], str(program), "TIME").stdout.split()) == 8
    page = gzip.decompress((deb_root / "usr/share/man/man1/conx.1.gz").read_bytes()).decode()
    assert f'"conx {VERSION}"' in page.split("\n.TH ")[1].split("\n")[0]
    assert ".IR /usr/share/doc/conx/examples ." in page
    doc = deb_root / "usr/share/doc/conx"
    copyright_lines = [l.strip() for l in (doc / "copyright").read_text().splitlines()]
    with open(os.path.join(ROOT, "LICENSE")) as f:
        assert {"License: Expat"} | {l.strip() for l in f} - {""} <= set(copyright_lines)
    changelog = gzip.decompress((doc / "changelog.gz").read_bytes()).decode()
    assert changelog.startswith(f"conx ({VERSION}) ")
    assert re.search(r"^ -- .+ <.+>  \w{3}, \d\d \w{3} \d{4} ", changelog, re.M)


def test_lintian_finds_no_errors_or_warnings(dist, arch):
    result = subprocess.run(["lintian", "--pedantic", str(dist / DEBS[arch])],
                            capture_output=True, text=True)
    tags = [l for l in result.stdout.splitlines() if re.match(r"[EWIP]: ", l)]
    assert result.returncode == 0 and tags == []


@pytest.fixture(scope="session")
def page(unpacked):
    return unpacked / "conx.1"


@pytest.mark.parametrize("command", [
    ["man", "--warnings", "-l"],
    ["groff", "-man", "-ww", "-z"],
])
def test_manual_page_renders_without_warnings(page, command):
    result = subprocess.run(command + [str(page)], capture_output=True, text=True,
                            env=dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8"))
    assert result.returncode == 0 and result.stderr == ""


def test_manual_page_has_its_sections_and_every_readme_command(page):
    text = page.read_text()
    headings = re.findall(r'^\.SH "?([^"\n]+)"?$', text, re.M)
    assert headings == SECTIONS
    with open(os.path.join(ROOT, "README.md")) as f:
        table = f.read().split("\n## Commands\n")[1].split("\n#")[0]
    readme_commands = re.findall(r"^\| `(\w+)` \|", table, re.M)
    assert sorted(readme_commands) == sorted(KEYWORDS)
    commands = text.split("\n.SH COMMANDS\n")[1].split("\n.SH ")[0]
    described = re.findall(r"^(?:\\fB|\.BI? )(\w+)", commands, re.M)
    assert described == readme_commands


def test_cmake_install_puts_the_three_parts_in_place(dist, tmp_path):
    # After dist, as the README's install section has it: the release build
    # folder, by default under /usr/local (DESTDIR puts the root here).
    subprocess.run(["cmake", "--install", "build/release"], cwd=ROOT, check=True, capture_output=True,
                   env=dict(os.environ, DESTDIR=str(tmp_path)))
    tmp_path /= "usr/local"
    installed = sorted(str(p.relative_to(tmp_path)) for p in tmp_path.rglob("*") if p.is_file())
    examples = sorted(f"share/doc/conx/examples/{n}" for n in os.listdir(os.path.join(ROOT, "examples"))
                      if n.endswith(".sh"))
    assert installed == sorted(["bin/conx", "share/man/man1/conx.1", "share/doc/conx/README.md",
                                "share/doc/conx/LICENSE"] + examples)
    assert os.access(tmp_path / "bin/conx", os.X_OK)
    page = (tmp_path / "share/man/man1/conx.1").read_text()
    assert f'"conx {VERSION}"' in page and ".IR /usr/local/share/doc/conx/examples ." in page
