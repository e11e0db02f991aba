# Shared by scripts/run and scripts/test: installs what a fresh Debian 12 lacks
# and configures the build in build/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"

PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libgtest-dev
          fonts-wqy-microhei fontconfig unifont xvfb xauth clang libclang-rt-14-dev
          qt6-svg-dev qt6-image-formats-plugins qt6-translations-l10n
          qt6-serialport-dev
          g++-mingw-w64-x86-64 wine wine64 nsis zip x11-apps netpbm
          qt6-tools-dev qt6-l10n-tools desktop-file-utils appstream lintian
          llvm libfreetype-dev xfonts-wqy)

ensure_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]}" >&2
        echo "Install them first:  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

configure() {
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

jobs() {
    nproc 2>/dev/null || echo 2
}
