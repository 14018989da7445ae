#!/usr/bin/env bash
# Builds the released programs and writes the downloads into dist/:
#   conx-VERSION-windows-x86.zip       conx.exe (build/win32), README.txt (the
#                                      batch guide, doc/windows-guide.txt with
#                                      the README's key table) and LICENSE.txt
#                                      with CRLF, the batch examples
# and for each Linux build in the table below (x86_64 and aarch64):
#   conx-VERSION-linux-MACHINE.tar.gz  the static Unix program, conx.1,
#                                      README.md, LICENSE, examples/*.sh
#   conx_VERSION_ARCH.deb              the same under /usr, for dpkg and apt
# and SHA256SUMS of them all.
# VERSION is project()'s in CMakeLists.txt, as CMake read it. Two runs from the same commit
# give the same bytes: every timestamp is SOURCE_DATE_EPOCH (the last
# commit's date unless set), entries are sorted and owned by root, gzip
# leaves out names and times, and the programs carry no build paths.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
export LC_ALL=C TZ=UTC
umask 022

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
commit=$(git rev-parse --short=12 HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release: note: the work tree has uncommitted changes; the files are built from them" >&2
fi
jobs=$(( $(nproc 2>/dev/null || echo 2) < 2 ? 1 : 2 ))
command -v pandoc >/dev/null || { echo "release: the manual page needs pandoc (bash scripts/setup.sh)" >&2; exit 1; }

# The Linux builds: the preset (and build folder), Debian's name for the
# architecture, and the machine's (uname -m) in the tarball's name.
linux=(
    "release          amd64  x86_64"
    "release-aarch64  arm64  aarch64"
)

# The programs. The Windows one is the win32 preset's file itself; the Unix
# ones have their own build folders (presets release and release-aarch64):
# -O3, static, stripped, and source paths mapped away.
for row in win32 "${linux[@]}"; do
    preset=${row%% *}
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs" >/dev/null
done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
[ -n "$version" ] || { echo "release: project() in CMakeLists.txt gives no version" >&2; exit 1; }
exe=build/win32/conx.exe
bash scripts/check-exe.sh "$exe" >/dev/null

stage=build/release/stage
rm -rf "$stage" dist
mkdir -p "$stage" dist
dist=$root/dist
no_build_path() {
    if strings -a "$1" | grep -qF "$root"; then
        echo "release: $1 holds a build path ($root)" >&2
        exit 1
    fi
}
no_build_path "$exe"

# Every staged file gets the same time, read-only modes and no group or
# other write bits, whatever the checkout's umask and times were.
settle() {
    find "$1" -type d -exec chmod 0755 {} +
    find "$1" -type f -exec chmod go-w,a+r {} +
    find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }

# Windows: a flat zip, so that the batch examples find conx.exe beside them.
win=$stage/windows
mkdir -p "$win"
cp "$exe" "$win/conx.exe"
# The batch guide's key table is the README's (### Key codes), in columns.
awk '/^### Key codes$/ { keys = 1; next } /^#/ { keys = 0 }
     keys && /^\| / { gsub(/ *\| */, " "); split($0, c, " ")
                      printf "  %-9s %5s  %5s  %5s  %5s\n", c[1], c[2], c[3], c[4], c[5] }' \
    README.md >"$stage/keys.txt"
sed -e "s/@PROJECT_VERSION@/$version/" -e "/^@KEY_CODES@$/{r $stage/keys.txt" -e "d}" \
    doc/windows-guide.txt >"$stage/guide.txt"
crlf "$stage/guide.txt" "$win/README.txt"
crlf LICENSE "$win/LICENSE.txt"
cp examples/*.bat "$win/"
chmod 0644 "$win"/*
settle "$win"
# A zip keeps times in two-second steps, and zip rounds an odd second up:
# the files take the even second at or before the commit's.
find "$win" -exec touch -h -d "@$((SOURCE_DATE_EPOCH - SOURCE_DATE_EPOCH % 2))" {} +
zipfile=$dist/conx-$version-windows-x86.zip
(cd "$win" && find . -type f -printf '%P\n' | sort | zip -q -X -D "$zipfile" -@)

# Linux, once for each build: a tarball with one top folder, and a package.
maintainer=${CONX_MAINTAINER:-"conx developers <conx@example.org>"}
for row in "${linux[@]}"; do
    read -r preset deb_arch machine <<<"$row"
    build=build/$preset
    # The released Unix program: the build without the compilers' version
    # notes (.comment), as Debian's own packages are stripped; the build's
    # own objcopy knows its machine.
    program=$stage/conx-$deb_arch
    "$(sed -n 's/^CMAKE_OBJCOPY:FILEPATH=//p' "$build/CMakeCache.txt")" \
        --remove-section=.comment "$build/conx" "$program"
    no_build_path "$program"

    name=conx-$version-linux-$machine
    tree=$stage/$name
    mkdir -p "$tree/examples"
    install -m 0755 "$program" "$tree/conx"
    install -m 0644 "$build/conx.1" README.md LICENSE "$tree/"
    install -m 0755 examples/*.sh "$tree/examples/"
    settle "$tree"
    tar --sort=name --format=gnu --owner=0 --group=0 --numeric-owner \
        --mtime="@$SOURCE_DATE_EPOCH" -C "$stage" -cf - "$name" |
        gzip -n -9 >"$dist/$name.tar.gz"

    # Debian: cmake --install under /usr in the package's tree, then what
    # Debian wants besides: the manual page gzipped, the license as
    # copyright, a changelog, md5sums.
    pkg=$stage/deb-$deb_arch
    DESTDIR=$pkg cmake --install "$build" --prefix /usr >/dev/null
    install -m 0755 "$program" "$pkg/usr/bin/conx"
    doc=$pkg/usr/share/doc/conx
    gzip -n -9 "$pkg/usr/share/man/man1/conx.1"
    rm "$doc/LICENSE"
    {
        echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
        echo "Upstream-Name: conx"
        echo
        echo "Files: *"
        echo "Copyright: 2026 the conx developers"
        echo "License: Expat"
        sed -e 's/^$/./' -e 's/^/ /' LICENSE
    } >"$doc/copyright"
    {
        echo "conx ($version) unstable; urgency=medium"
        echo
        echo "  * Release $version, built from commit $commit."
        echo
        echo " -- $maintainer  $(date -u -R -d "@$SOURCE_DATE_EPOCH")"
    } | gzip -n -9 >"$doc/changelog.gz"
    mkdir -p "$pkg/usr/share/lintian/overrides"
    cat >"$pkg/usr/share/lintian/overrides/conx" <<EOF
# Linked statically on purpose: a script starts conx once per operation,
# and without the dynamic loader every run starts sooner (doc/developing.md).
conx: statically-linked-binary [usr/bin/conx]
EOF
    mkdir -p "$pkg/DEBIAN"
    settle "$pkg"
    # Installed-Size, in KiB: each file rounded up, each directory one.
    size=$(find "$pkg/usr" \( -type f -printf '%s\n' \) -o \( -type d -printf '1024\n' \) |
        awk '{ kib += int(($1 + 1023) / 1024) } END { print kib }')
    cat >"$pkg/DEBIAN/control" <<EOF
Package: conx
Version: $version
Architecture: $deb_arch
Maintainer: $maintainer
Installed-Size: $size
Section: utils
Priority: optional
Description: coloured text, cursor, keys and mouse for terminal scripts
 conx gives a shell script what the shell lacks for drawing and reading
 the terminal, one operation per run: coloured text written anywhere on
 the screen (PRINT), the text colour (COLOR), the cursor's position and
 shape (LOCATE, CURSOR), a key read with or without waiting, its code
 becoming the exit status (KBD, _KBD), a wait for a mouse click (MOUSE), a
 combined keyboard-and-mouse poll for game loops (INPUTHIT), the local
 time with milliseconds (TIME) and a sleep (SLEEP).
 .
 The same commands run as a small Windows console program for batch
 files. This package holds the Unix program, linked statically, for
 xterm-style terminals.
EOF
    (cd "$pkg" && find usr -type f | sort | xargs md5sum) >"$pkg/DEBIAN/md5sums"
    chmod 0644 "$pkg/DEBIAN/control" "$pkg/DEBIAN/md5sums"
    touch -d "@$SOURCE_DATE_EPOCH" "$pkg/DEBIAN" "$pkg/DEBIAN"/*
    # One compressor thread: the xz stream then does not depend on the machine's cores.
    dpkg-deb --root-owner-group -Zxz --threads-max=1 --build "$pkg" "$dist/conx_${version}_$deb_arch.deb" >/dev/null
done

(cd dist && sha256sum -- *.zip *.tar.gz *.deb >SHA256SUMS)
echo "release: conx $version, commit $commit, SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"
(cd dist && for f in *; do printf '  dist/%-36s %8d bytes\n' "$f" "$(stat -c %s "$f")"; done)
sed 's/^/  /' dist/SHA256SUMS
