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

SECTIONS = ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "COMMANDS", "PRINT TEXT", "KEY CODES",
            "REPORTS", "EXIT STATUS", "WINDOWS", "UNIX", "EXAMPLES", "SEE ALSO"]


def readme(section):
    """The text of a README section, from its heading to the next heading."""
    with open(os.path.join(ROOT, "README.md")) as f:
        return f.read().split(f"\n{section}\n")[1].split("\n#")[0]


def key_codes(text):
    """A key table's codes by name as tests/unit/terminal_keys.txt names
    them ("Up", "Shift+Up", ...): rows of a key and its codes alone, with
    Shift, with Ctrl and with Alt, in a Markdown table or in columns."""
    codes = {}
    for cells in (line.replace("|", " ").split() for line in text.splitlines()):
        if len(cells) == 5 and all(c.isdigit() for c in cells[1:]):
            codes.update(zip([cells[0]] + [f"{m}+{cells[0]}" for m in ("Shift", "Ctrl", "Alt")],
                             map(int, cells[1:])))
    return codes


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


def test_manual_page_readme_and_help_name_the_commands_and_keys_alike(page, unpacked, arch):
    text = page.read_text()
    headings = re.findall(r'^\.SH "?([^"\n]+)"?$', text, re.M)
    assert headings == SECTIONS
    readme_commands = re.findall(r"^\| `(\w+)` \|", readme("## Commands"), re.M)
    assert sorted(readme_commands) == sorted(KEYWORDS)
    commands = text.split("\n.SH COMMANDS\n")[1].split("\n.SH ")[0]
    described = re.findall(r"^\.TP\n(?:\\fB|\.BI? )(\w+)", commands, re.M)
    assert described == readme_commands
    usage = run(*LINUX[arch][2], str(unpacked / "conx"), "--help").stdout
    assert re.findall(r"^  (\S+)", usage, re.M) == KEYWORDS


def test_key_tables_of_the_readme_and_page_agree_with_the_xterm_rows(page):
    readme_keys = key_codes(readme("### Key codes"))
    assert key_codes(page.read_text().split("\n.SH KEY CODES\n")[1].split("\n.SH ")[0]) == readme_keys
    with open(os.path.join(ROOT, "doc", "windows-guide.txt"), encoding="utf-8") as f:
        assert key_codes(f.read()) == readme_keys, "the batch guide's key table"
    with open(os.path.join(ROOT, "tests", "unit", "terminal_keys.txt"), encoding="utf-8") as f:
        xterm = {key: int(code) for _, key, code, *_ in (l.split() for l in f if l.startswith("xterm "))}
    both = readme_keys.keys() & xterm.keys()
    assert {"F1", "Shift+F1", "Ctrl+F1", "Alt+F1"} <= both
    assert {key: readme_keys[key] for key in both} == {key: xterm[key] for key in both}


def installed_under_usr_local(root):
    """The files an install into a scratch root put under /usr/local, and
    the shell examples expected among them, in the folder the installed man
    page names (checked here with the program and the page's version)."""
    local = root / "usr/local"
    files = sorted(str(p.relative_to(local)) for p in local.rglob("*") if p.is_file())
    assert os.access(local / "bin/conx", os.X_OK)
    page = (local / "share/man/man1/conx.1").read_text()
    assert f'"conx {VERSION}"' in page and ".IR /usr/local/share/doc/conx/examples ." in page
    examples = sorted(f"share/doc/conx/examples/{n}" for n in os.listdir(os.path.join(ROOT, "examples"))
                      if n.endswith(".sh"))
    return files, examples


def test_cmake_install_puts_the_three_parts_in_place(dist, tmp_path):
    # After dist, as the README's install section has it: the release build
    # folder, by default under /usr/local (DESTDIR puts the root here).
    subprocess.run(["cmake", "--install", "build/release"], cwd=ROOT, check=True, capture_output=True,
                   env=dict(os.environ, DESTDIR=str(tmp_path)))
    files, examples = installed_under_usr_local(tmp_path)
    assert files == sorted(["bin/conx", "share/man/man1/conx.1", "share/doc/conx/README.md",
                            "share/doc/conx/LICENSE"] + examples)


def test_readme_tarball_lines_put_each_part_in_place(unpacked, tmp_path):
    # The README's lines as written, run in the unpacked folder, without
    # sudo and with the scratch root before /usr/local.
    lines = re.findall(r"^ +sudo (install .*)$", readme("## Install"), re.M)
    script = "\n".join(lines).replace(" /usr/local/", f" {tmp_path}/usr/local/")
    subprocess.run(["bash", "-euc", script], cwd=unpacked, check=True)
    files, examples = installed_under_usr_local(tmp_path)
    assert files == sorted(["bin/conx", "share/man/man1/conx.1"] + examples)
