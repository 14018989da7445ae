#!/usr/bin/env bash
# Installs what building and testing conx needs on Debian 12, as root.
# Skips packages already present; runs apt-get update only when needed.
set -euo pipefail

packages=(
    cmake make g++ googletest libgtest-dev   # the Unix program and unit tests
    g++-mingw-w64-i686 g++-mingw-w64-x86-64  # the Windows program, 32 and 64 bit
    wine64                                   # runs the 64-bit Windows build
    tmux python3 python3-pytest              # end-to-end tests on real consoles
    xterm xvfb xdotool x11-utils xfonts-base # ... and in a real xterm on a virtual display
    x11-xserver-utils                        # ... whose keymap gets é (xmodmap)
    locales                                  # ... also one in a Latin-1 locale (localedef)
    zsh dash                                 # scripts under other shells
    python3-unicorn python3-pefile           # runs the 32-bit exe in an x86 emulator
    dpkg-dev lintian man-db groff-base zip   # release archives, the package, the man page
    pandoc                                   # ... which it writes from the README
    g++-aarch64-linux-gnu qemu-user-static   # ... the 64-bit ARM program, and running it here
    clang libclang-rt-14-dev                 # sanitizers and the fuzzers
    git ca-certificates procps
)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -q </dev/null
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
fi

# The Wine suite runs the Windows build also in the locales of a Russian and
# a Japanese Windows: Wine takes the ANSI and OEM code pages from the locale
# (ru_RU.UTF-8: 1251 and 866, ja_JP.UTF-8: 932).
for locale in ru_RU ja_JP; do
    if ! locale -a | grep -qix "$locale.utf-\?8"; then
        echo "setup: making the locale $locale.UTF-8"
        $SUDO localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
    fi
done
