"""The release command, run once per session: its dist/ is copied aside
for the tests to read, and a second run (same build folders) is there for
the determinism check."""
import io
import os
import re
import shutil
import subprocess
import tarfile

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        return re.search(r"^project\(conx VERSION ([0-9.]+)[ )]", f.read(), re.M).group(1)


VERSION = project_version()
ZIP = f"conx-{VERSION}-windows-x86.zip"
# The Linux downloads by Debian's name for the architecture: the machine's
# name in the tarball's, readelf's name for it, and what runs it here.
LINUX = {
    "amd64": ("x86_64", "Advanced Micro Devices X86-64", []),
    "arm64": ("aarch64", "AArch64", ["qemu-aarch64-static"]),
}
TOPS = {arch: f"conx-{VERSION}-linux-{machine}" for arch, (machine, _, _) in LINUX.items()}
DEBS = {arch: f"conx_{VERSION}_{arch}.deb" for arch in LINUX}


def run(*args):
    return subprocess.run(args, cwd=ROOT, check=True, capture_output=True, text=True)


def release():
    run("bash", "scripts/release.sh")
    return os.path.join(ROOT, "dist")


@pytest.fixture(scope="session")
def dist(tmp_path_factory):
    copy = tmp_path_factory.mktemp("first") / "dist"
    shutil.copytree(release(), copy)
    return copy


@pytest.fixture(scope="session")
def second_sums(dist):
    with open(os.path.join(release(), "SHA256SUMS")) as f:
        return f.read()


@pytest.fixture(scope="session")
def source_date_epoch():
    return int(os.environ.get("SOURCE_DATE_EPOCH")
               or run("git", "log", "-1", "--format=%ct").stdout)


@pytest.fixture(scope="session", params=LINUX)
def arch(request):
    """Each Linux build's tarball and package in turn."""
    return request.param


@pytest.fixture(scope="session")
def deb_data(dist, arch):
    """The package's files as a tarfile (dpkg-deb --fsys-tarfile)."""
    data = subprocess.run(["dpkg-deb", "--fsys-tarfile", str(dist / DEBS[arch])],
                          check=True, capture_output=True).stdout
    return tarfile.open(fileobj=io.BytesIO(data))


@pytest.fixture(scope="session")
def deb_root(dist, arch, tmp_path_factory):
    """The package unpacked into a scratch root (dpkg -x)."""
    root = tmp_path_factory.mktemp("root")
    run("dpkg", "-x", str(dist / DEBS[arch]), str(root))
    return root


@pytest.fixture(scope="session")
def unpacked(dist, arch, tmp_path_factory):
    """The tarball unpacked: its top folder."""
    where = tmp_path_factory.mktemp("tarball")
    with tarfile.open(dist / f"{TOPS[arch]}.tar.gz") as t:
        t.extractall(where)
    return where / TOPS[arch]
