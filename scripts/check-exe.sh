#!/usr/bin/env bash
# Checks the released Windows program: a PE32 console program that imports
# from KERNEL32.dll and msvcrt.dll only, no larger than its size budget
# (CONX_EXE_BUDGET in CMakeLists.txt, as the exe's build recorded it).
set -euo pipefail
exe=${1:-build/win32/conx.exe}
dump=$(i686-w64-mingw32-objdump -p "$exe")
fail() { echo "check-exe: $exe: $*" >&2; exit 1; }
grep -q '^Magic[[:space:]]*010b[[:space:]]*(PE32)' <<<"$dump" || fail "not PE32"
grep -q '^Subsystem[[:space:]]*00000003[[:space:]]*(Windows CUI)' <<<"$dump" || fail "not a console program"
dlls=$(grep 'DLL Name:' <<<"$dump" | awk '{print $3}' | sort -u | tr '\n' ' ')
[ "$dlls" = "KERNEL32.dll msvcrt.dll " ] || fail "imports from: $dlls"
cache=$(dirname "$exe")/CMakeCache.txt
budget=$(sed -n 's/^CONX_EXE_BUDGET:[A-Z]*=//p' "$cache" 2>/dev/null || true)
[ -n "$budget" ] || fail "no size budget in $cache"
size=$(stat -c %s "$exe")
[ "$size" -le "$budget" ] || fail "$size bytes, over the budget of $budget bytes"
echo "check-exe: $exe is PE32, console subsystem, imports KERNEL32.dll msvcrt.dll; size $size bytes (budget $budget)"
