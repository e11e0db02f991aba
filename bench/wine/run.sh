#!/usr/bin/env bash
# Builds what bench_wine needs and runs it: panelix-cli.exe in build-win/app (Qt for MinGW, as
# scripts/build-windows configures it), the pty shim, the Wine prefix of build-win/ (the one
# tests/win/programs-under-wine.sh uses), and bench_wine in the host build.
#
# Usage: bench/wine/run.sh [HOST_BUILD_DIR [bench_wine options...]]   (default: build)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
OUT="$ROOT/build-win"
HOST_BUILD="${1:-$ROOT/build}"
[ $# -gt 0 ] && shift
winpath() { local p="${1//\//\\}"; echo "Z:$p"; }

for tool in wine wineserver gcc cmake ninja; do
    command -v "$tool" >/dev/null 2>&1 || { echo "bench/wine: $tool is missing" >&2; exit 1; }
done
QT="$("$ROOT/scripts/windows-qt" | tail -n 1)"
# The Windows build folder is configured (and everything built once) by scripts/build-windows.
[ -f "$OUT/app/build.ninja" ] || "$ROOT/scripts/build-windows" --stage >/dev/null
mkdir -p "$OUT/native" "$OUT/logs"
cmake --build "$OUT/app" -j 2 --target panelix-cli >"$OUT/logs/bench-wine-build.log" 2>&1 || {
    tail -n 40 "$OUT/logs/bench-wine-build.log" >&2
    exit 1
}
cmake --build "$HOST_BUILD" -j 2 --target bench_wine >>"$OUT/logs/bench-wine-build.log" 2>&1 || {
    tail -n 40 "$OUT/logs/bench-wine-build.log" >&2
    exit 1
}
if [ ! -e "$OUT/native/ptyshim.so" ] || [ "$ROOT/tests/win/ptyshim.c" -nt "$OUT/native/ptyshim.so" ]; then
    gcc -shared -fPIC -O2 -Wall -Wextra -o "$OUT/native/ptyshim.so" "$ROOT/tests/win/ptyshim.c" -ldl
fi

# One Wine run at a time per build folder; no Wine process keeps the lock (9>&-).
exec 9>"$OUT/.run-lock"
flock 9
export WINEPREFIX="$OUT/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
if [ ! -e "$WINEPREFIX/.panelix-ready" ]; then
    rm -rf "$WINEPREFIX"
    wine wineboot -i </dev/null >"$OUT/logs/wineboot.log" 2>&1 9>&-
    wineserver -w 9>&-
    touch "$WINEPREFIX/.panelix-ready"
fi
# The program runs from the build folder: Qt's DLLs through WINEPATH.
export WINEPATH="$(winpath "$QT/bin")"
"$HOST_BUILD/bench/wine/bench_wine" --exe "$OUT/app/panelix-cli.exe" --shim "$OUT/native/ptyshim.so" "$@" 9>&-
