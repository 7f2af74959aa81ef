#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need, and
# nothing when they are all present. Sourced by tools/run, tools/check and
# tools/fuzz (which adds clang and its libFuzzer runtime).
# Usage: velloran_install_packages [extra packages...]

velloran_packages=(
    cmake g++ ninja-build
    qt6-base-dev libgl-dev libjpeg62-turbo-dev zlib1g-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-dejavu-core fonts-liberation2
    strace  # the export tests kill or fail velloran-cli at chosen system calls
)

velloran_install_packages() {
    local missing=() pkg
    for pkg in "${velloran_packages[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    local log
    log=$(mktemp)
    if ! { "${sudo[@]}" apt-get update -qq && \
           DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"; } >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        echo "Could not install: ${missing[*]}" >&2
        return 1
    fi
    rm -f "$log"
}

# Configures (once) and builds one build folder quietly; prints the compiler
# output only when the build fails. With --target, builds that target only.
# Usage: velloran_build DIR [--target TARGET] [cmake options...]
velloran_build() {
    local dir=$1
    shift
    local target=()
    if [ "${1:-}" = --target ]; then
        target=(--target "$2")
        shift 2
    fi
    local log
    log=$(mktemp)
    # Configured once; options given later are set on the existing folder.
    if [ ! -f "$dir/build.ninja" ] || [ $# -gt 0 ]; then
        local generator=()
        [ -f "$dir/build.ninja" ] || generator=(-G Ninja)
        if ! cmake -S "$velloran_root" -B "$dir" "${generator[@]}" "$@" >"$log" 2>&1; then
            cat "$log" >&2
            rm -f "$log"
            return 1
        fi
    fi
    if ! cmake --build "$dir" "${target[@]}" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
}

velloran_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
