#!/usr/bin/env bash
# The Windows serial link (link/win, no Qt) under Wine: cross-builds it and its
# test program with MinGW-w64, builds the module stand-in and the pty shim
# natively, and runs the test program on COM5, which the stand-in points at a
# pty it drives. The Wine prefix is made once in the build folder and reused.
#
# Usage: tests/win/run-under-wine.sh [BUILD_DIR]    (default: build-mingw)
# Needs x86_64-w64-mingw32-g++-posix (g++-mingw-w64-x86-64), wine and wine64.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
OUT="${1:-$ROOT/build-mingw}"
mkdir -p "$OUT/native"
OUT="$(cd "$OUT" && pwd)"

for tool in x86_64-w64-mingw32-g++-posix wine wineserver gcc g++ cmake ninja pkg-config; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "Windows link under Wine: $tool is missing" >&2
        exit 1
    fi
done

# One run at a time per build folder: the prefix and its COM5 are shared. No
# Wine process may inherit the lock (the server outlives the run): 9>&- below.
exec 9>"$OUT/.run-lock"
flock 9

ms() { echo $(( $(date +%s%N) / 1000000 )); }
t0=$(ms)

cmake -S "$ROOT/tests/win/mingw" -B "$OUT" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" >/dev/null
if ! cmake --build "$OUT" --target test_winlink >"$OUT/build.log" 2>&1; then
    cat "$OUT/build.log" >&2
    echo "Windows link under Wine: the MinGW build failed" >&2
    exit 1
fi
newer() { [ ! -e "$1" ] || [ -n "$(find "${@:2}" -newer "$1" 2>/dev/null)" ]; }
# The Qt side of the backend (link/CommPortWin.cpp) is built with Qt for MinGW and
# run by tests/win/programs-under-wine.sh; here, where that Qt may be missing, it
# gets a quick syntax and type check against the host's Qt headers.
if newer "$OUT/native/CommPortWin.checked" "$ROOT/link"; then
    if ! x86_64-w64-mingw32-g++-posix -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Wshadow -Wconversion \
            -Wno-sign-conversion -I"$ROOT" $(pkg-config --cflags-only-I Qt6Core) "$ROOT/link/CommPortWin.cpp"; then
        echo "Windows link under Wine: link/CommPortWin.cpp does not compile for Windows" >&2
        exit 1
    fi
    touch "$OUT/native/CommPortWin.checked"
fi
# Native helpers, rebuilt when their sources change.
if newer "$OUT/native/ptyshim.so" "$ROOT/tests/win/ptyshim.c"; then
    gcc -shared -fPIC -O2 -Wall -Wextra -o "$OUT/native/ptyshim.so" "$ROOT/tests/win/ptyshim.c" -ldl
fi
if newer "$OUT/native/win-standin" "$ROOT/tests/win/standin.cpp" "$ROOT/tests/win/WireScript.h" \
        "$ROOT/tests/win/ControllingTerminal.h" "$ROOT/tests/win/PtyQueue.h"; then
    g++ -std=c++20 -O2 -Wall -Wextra -Wshadow -Wconversion -I"$ROOT" -o "$OUT/native/win-standin" \
        "$ROOT/tests/win/standin.cpp"
fi
t1=$(ms)

# Headless and quiet: no display, no debug channels, no Mono or Gecko installer prompts.
export WINEPREFIX="$OUT/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
if [ ! -e "$WINEPREFIX/.panelix-ready" ]; then
    rm -rf "$WINEPREFIX"
    if ! wine wineboot -i </dev/null >"$OUT/wineboot.log" 2>&1 9>&-; then
        cat "$OUT/wineboot.log" >&2
        echo "Windows link under Wine: wineboot cannot create the prefix" >&2
        exit 1
    fi
    wineserver -w 9>&-
    touch "$WINEPREFIX/.panelix-ready"
fi
t2=$(ms)

# No Wine server of an earlier, interrupted run answers for this one.
wineserver -k 2>/dev/null 9>&- || true
status=0
# Once with each source of the drained moment: EV_TXEMPTY (real Windows' drivers) and
# the clock confirmed by the queue (what the link chooses where sleeps are precise, as here).
for drain in txempty clock; do
    echo "--- drained moment: $drain"
    timeout 300 "$OUT/native/win-standin" --com "$WINEPREFIX/dosdevices/com5" -- \
        env LD_PRELOAD="$OUT/native/ptyshim.so" wine "$OUT/test_winlink.exe" COM5 "$drain" 9>&- || status=$?
done
wineserver -k 2>/dev/null 9>&- || true
t3=$(ms)

result=passed
[ "$status" -eq 0 ] || result=FAILED
secs() { printf '%d.%d s' $(($1 / 1000)) $(($1 % 1000 / 100)); }
echo "Windows link under Wine: $result in $(secs $((t3 - t0))) (MinGW and native build $(secs $((t1 - t0)))," \
     "prefix $(secs $((t2 - t1))), run $(secs $((t3 - t2))))"
exit "$status"
