#!/usr/bin/env bash
# The Windows build of the whole program, under Wine:
#   - scripts/build-windows builds the programs with Qt for MinGW and packs the zip and installer;
#   - the widget-free unit tests built for Windows run and pass;
#   - panelix-mkdemo.exe makes the demo pictures; panelix-cli.exe downloads two of them to Wine's
#     COM6, a pty with the scripted module behind it (tests/win/cli_standin.cpp), byte for byte;
#   - panelix.exe --simulator starts on a virtual X server and shows its window beside the
#     simulated module's: an X screenshot of it goes to docs/windows-wine.png;
#   - the window downloads the demo to the simulated module over the in-process line
#     (panelix-screenshot.exe --demo, the window's own path), checked byte for byte;
#   - the installer installs silently, the installed panelix-cli.exe answers --version, and the
#     uninstaller removes it again.
# Caches stay in build-win/ (the Wine prefix, the build, ccache's use of /work/ccache if set).
#
# Usage: tests/win/programs-under-wine.sh [HOST_BUILD_DIR]   (default: build; for win-cli-standin)
# Exit status 0 passed, 1 failed, 3 not run (no Qt for MinGW here: see scripts/windows-qt).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
OUT="$ROOT/build-win"
HOST_BUILD="${1:-$ROOT/build}"
mkdir -p "$OUT/native" "$OUT/logs"

for tool in wine wineserver xvfb-run xwd xwdtopnm pnmtopng xwininfo makensis zip gcc cmake ninja; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "Windows programs under Wine: $tool is missing" >&2
        exit 1
    fi
done
exec 9>"$OUT/.run-lock"
flock 9

ms() { echo $(( $(date +%s%N) / 1000000 )); }
secs() { printf '%d.%d s' $(($1 / 1000)) $(($1 % 1000 / 100)); }
winpath() { local p="${1//\//\\}"; echo "Z:$p"; }
t0=$(ms)

if ! QT="$("$ROOT/scripts/windows-qt" 2>"$OUT/logs/windows-qt.log" | tail -n 1)" || [ ! -d "$QT" ]; then
    cat "$OUT/logs/windows-qt.log" >&2
    echo "Windows programs under Wine: not run (no Qt for MinGW)"
    exit 3
fi
VERSION=$(sed -n 's/^project(Panelix VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
NAME="panelix-$VERSION-win64"
STAGE="$OUT/stage/$NAME"
"$ROOT/scripts/build-windows" >"$OUT/logs/build-windows.log" 2>&1 || {
    cat "$OUT/logs/build-windows.log" >&2
    echo "Windows programs under Wine: the Windows build failed" >&2
    exit 1
}
TESTS=(test_common test_library test_bitmap test_font test_console test_inprocess)
cmake --build "$OUT/app" --target "${TESTS[@]}" panelix-screenshot >"$OUT/logs/build-tests.log" 2>&1 || {
    tail -n 40 "$OUT/logs/build-tests.log" >&2
    exit 1
}
cmake --build "$HOST_BUILD" --target win-cli-standin >"$OUT/logs/build-native.log" 2>&1 || {
    tail -n 40 "$OUT/logs/build-native.log" >&2
    exit 1
}
if [ ! -e "$OUT/native/ptyshim.so" ] || [ "$ROOT/tests/win/ptyshim.c" -nt "$OUT/native/ptyshim.so" ]; then
    gcc -shared -fPIC -O2 -Wall -Wextra -o "$OUT/native/ptyshim.so" "$ROOT/tests/win/ptyshim.c" -ldl
fi
# The tools run from the build folder find Qt's DLLs through WINEPATH and its plugins here.
printf '[Paths]\nPrefix = %s\n' "$(winpath "$QT" | sed 's/\\/\//g')" >"$OUT/app/qt.conf"
t1=$(ms)

export WINEPREFIX="$OUT/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY WINEPATH
if [ ! -e "$WINEPREFIX/.panelix-ready" ]; then
    rm -rf "$WINEPREFIX"
    wine wineboot -i </dev/null >"$OUT/logs/wineboot.log" 2>&1 9>&- || {
        cat "$OUT/logs/wineboot.log" >&2
        exit 1
    }
    wineserver -w 9>&-
    touch "$WINEPREFIX/.panelix-ready"
fi
wineserver -k 2>/dev/null 9>&- || true
t2=$(ms)

failed=()
step() {
    local name="$1" start
    start=$(ms)
    shift
    if "$@" 9>&-; then
        echo "  passed: $name ($(secs $(($(ms) - start))))"
    else
        echo "  FAILED: $name (see $OUT/logs)"
        failed+=("$name")
    fi
}

unit_tests() {
    local t ok=0
    for t in "${TESTS[@]}"; do
        if WINEPATH="$(winpath "$QT/bin")" timeout 300 wine "$OUT/app/$t.exe" >"$OUT/logs/$t.log" 2>&1; then
            echo "    $t: $(grep -E '^\[  PASSED  \]' "$OUT/logs/$t.log")"
        else
            echo "    $t: FAILED"
            grep -E '^\[  FAILED  \]|Failure' "$OUT/logs/$t.log" | head -n 10 | sed 's/^/      /'
            ok=1
        fi
    done
    return $ok
}

demo_pictures() {
    rm -rf "$OUT/wine-demo"
    local font=()
    [ -f /usr/share/unifont/unifont.hex ] && font=(--unifont 'Z:\usr\share\unifont\unifont.hex')
    timeout 120 wine "$STAGE/panelix-mkdemo.exe" "$(winpath "$OUT/wine-demo")" "${font[@]}" \
        >"$OUT/logs/mkdemo.log" 2>&1 && [ -s "$OUT/wine-demo/title.bmp" ] && [ -s "$OUT/wine-demo/gauge.bmp" ]
}

cli_download() {
    rm -rf "$OUT/cli-data"
    mkdir -p "$OUT/cli-data"
    timeout 300 "$HOST_BUILD/tests/win/win-cli-standin" --com "$WINEPREFIX/dosdevices/com6" --data-dir "$OUT/cli-data" -- \
        env LD_PRELOAD="$OUT/native/ptyshim.so" wine "$STAGE/panelix-cli.exe" download --port COM6 \
        --data-dir "$(winpath "$OUT/cli-data")" "$(winpath "$OUT/wine-demo/title.bmp")" \
        "$(winpath "$OUT/wine-demo/gauge.bmp")" >"$OUT/logs/cli-download.log" 2>&1
    local status=$?
    grep '^cli stand-in' "$OUT/logs/cli-download.log" | sed 's/^/    /'
    return $status
}

# On the virtual X server: the window comes up, its X screenshot is taken, and the
# window's own download to the simulated module runs.
window_run() {
    rm -rf "$OUT/window-data"
    cp -r "$OUT/wine-demo" "$OUT/window-data"
    # Wine centres the main window and puts the module's beside it: a wide screen holds both,
    # and the picture is cut to the two windows.
    xvfb-run -a -s "-screen 0 2640x900x24" bash -c '
        set -u
        named() { xwininfo -root -tree | grep "^ *0x[0-9a-f]* \"" | grep "\"panelix.exe\"" | grep -v " 1x1+"; }
        wine "$1/panelix.exe" --simulator --data-dir "$2" >"$3/panelix.log" 2>&1 &
        shown=0
        for _ in $(seq 1 120); do
            if [ "$(named | wc -l)" -ge 2 ]; then shown=1; break; fi
            sleep 0.5
        done
        [ "$shown" -eq 1 ] && sleep 4
        named >"$3/windows.txt"
        box=$(sed -E "s/.* ([0-9]+)x([0-9]+)\+(-?[0-9]+)\+(-?[0-9]+) .*/\1 \2 \3 \4/" "$3/windows.txt" |
              awk "NR == 1 { l = \$3; t = \$4; r = \$1 + \$3; b = \$2 + \$4 }
                   { if (\$3 < l) l = \$3; if (\$4 < t) t = \$4; if (\$1 + \$3 > r) r = \$1 + \$3; if (\$2 + \$4 > b) b = \$2 + \$4 }
                   END { l -= 8; t -= 8; if (l < 0) l = 0; if (t < 0) t = 0; print l, t, r - l + 8, b - t + 8 }")
        set -- "$@" $box
        xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut -left "$5" -top "$6" -width "$7" -height "$8" | pnmtopng >"$4"
        wineserver -k 2>/dev/null
        [ "$shown" -eq 1 ]' _ "$STAGE" "$(winpath "$OUT/window-data")" "$OUT/logs" "$OUT/windows-wine.png"
}

window_download() {
    WINEPATH="$(winpath "$QT/bin")" WINEQT_QPA_PLATFORM=offscreen \
        WINEQT_QPA_FONTDIR='Z:\usr\share\fonts\truetype\wqy' timeout 300 \
        wine "$OUT/app/panelix-screenshot.exe" "$(winpath "$OUT/window-demo.png")" \
        --demo "$(winpath "$OUT/wine-demo")" >"$OUT/logs/window-download.log" 2>&1
    local status=$?
    grep 'byte for byte' "$OUT/logs/window-download.log" | sed 's/^panelix-screenshot: /    /'
    [ $status -eq 0 ] && grep -q 'in-process line' "$OUT/logs/window-download.log"
}

usage_defaults() {
    local usage
    usage=$(timeout 60 wine "$STAGE/panelix.exe" --help 2>&1 | tr -d '\r')
    # This wine session has no X display: the window's step must start a session of its own.
    wineserver -k 2>/dev/null || true
    grep -qF '(default c:\dispkit\)' <<<"$usage" && grep -qF 'COM1 (default COM1)' <<<"$usage"
}

installer() {
    local dir="$WINEPREFIX/drive_c/Program Files/Panelix"
    rm -rf "$dir"
    timeout 120 wine "$OUT/$NAME-setup.exe" /S >"$OUT/logs/install.log" 2>&1 || return 1
    wineserver -w
    local answer
    answer=$(timeout 60 wine 'C:\Program Files\Panelix\panelix-cli.exe' --version 2>&1 | tr -d '\r')
    echo "    installed: $answer; Start menu: $(ls "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Panelix" | tr '\n' ',')"
    [ "$answer" = "panelix-cli $VERSION" ] || return 1
    timeout 120 wine 'C:\Program Files\Panelix\uninstall.exe' /S >>"$OUT/logs/install.log" 2>&1 || return 1
    for _ in $(seq 1 40); do
        [ -e "$dir/panelix.exe" ] || break
        sleep 0.5
    done
    wineserver -w
    [ ! -e "$dir/panelix.exe" ]
}

step "unit tests built for Windows" unit_tests
step "panelix-mkdemo.exe makes the demo pictures" demo_pictures
step "panelix-cli.exe download to COM6 (a pty), byte-exact at the scripted module" cli_download
step "panelix.exe --help names the Windows defaults" usage_defaults
step "panelix.exe --simulator shows its window on Xvfb" window_run
step "the window downloads the demo to the in-process module, byte-exact" window_download
step "the installer installs silently, panelix-cli.exe --version, the uninstaller" installer
wineserver -k 2>/dev/null 9>&- || true
t3=$(ms)

result=passed
[ ${#failed[@]} -eq 0 ] || result=FAILED
echo "Windows programs under Wine: $result in $(secs $((t3 - t0))) (build and packages $(secs $((t1 - t0))), prefix $(secs $((t2 - t1))), runs $(secs $((t3 - t2))))"
[ ${#failed[@]} -eq 0 ]
