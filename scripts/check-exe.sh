#!/usr/bin/env bash
# Checks the released Windows program: a PE32 console program that imports
# from KERNEL32.dll and msvcrt.dll only. Prints its size in bytes.
set -euo pipefail
exe=${1:-build/win32/conx.exe}
dump=$(i686-w64-mingw32-objdump -p "$exe")
fail() { echo "check-exe: $exe: $*" >&2; exit 1; }
grep -q '^Magic[[:space:]]*010b[[:space:]]*(PE32)' <<<"$dump" || fail "not PE32"
grep -q '^Subsystem[[:space:]]*00000003[[:space:]]*(Windows CUI)' <<<"$dump" || fail "not a console program"
dlls=$(grep 'DLL Name:' <<<"$dump" | awk '{print $3}' | sort -u | tr '\n' ' ')
[ "$dlls" = "KERNEL32.dll msvcrt.dll " ] || fail "imports from: $dlls"
size=$(stat -c %s "$exe")
echo "check-exe: $exe is PE32, console subsystem, imports KERNEL32.dll msvcrt.dll; size $size bytes"
