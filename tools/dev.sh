#!/usr/bin/env bash
# Sets up a Debian 12 machine for the player, builds it, and runs it or its tests.
#   tools/dev.sh run    install what is needed, build, start the player
#   tools/dev.sh test   install what is needed, check the formatting, build, run every test: the
#                       normal build (CMake's default generator), the AddressSanitizer/
#                       UndefinedBehaviorSanitizer build (with the end-to-end test), and the
#                       fuzzers briefly
# Both may be run again at any time. Run as root or as a user who may use sudo.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
mode=${1:-}
jobs=$(nproc)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local wanted missing=()
    wanted=$(grep -v -E '^\s*(#|$)' tools/packages.txt)
    for p in $wanted; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "== installing: ${missing[*]}"
        as_root apt-get update -q
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
    fi
}

build() { # build DIR GENERATOR [cmake options...]; GENERATOR "" is CMake's default
    local dir=$1 generator=$2 cached
    shift 2
    # A folder configured with another generator cannot be reused: it is made anew.
    cached=$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$dir/CMakeCache.txt" 2>/dev/null || true)
    if [ -n "$cached" ] && [ "$cached" != "${generator:-Unix Makefiles}" ]; then
        rm -rf "$dir"
    fi
    cmake -S . -B "$dir" ${generator:+-G "$generator"} "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

check_format() { # the committed .clang-format is the rule for every C++ source
    local files
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        files=$(git ls-files '*.cpp' '*.h')
    else
        files=$(find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
    fi
    # shellcheck disable=SC2086
    clang-format --dry-run -Werror $files
}

case "$mode" in
run)
    install_packages
    build build "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    exec ./build/app/tarvelin-radio
    ;;
test)
    install_packages
    status=0
    echo "== formatting (clang-format, .clang-format)"
    check_format || status=1
    # The normal build uses CMake's default generator, as distributions build; the others Ninja.
    echo "== normal build"
    build build "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    (cd build && ctest --output-on-failure -j "$jobs" -LE "fuzz|e2e") || status=1
    # The end-to-end test runs once, here, where it also catches any memory or undefined-behaviour
    # error the program makes while real servers and hostile ones play through its window.
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
    build build-asan Ninja -DCMAKE_BUILD_TYPE=Debug -DRADIO_SANITIZE=ON
    (cd build-asan && ctest --output-on-failure -j "$jobs" -LE "fuzz|bench") || status=1
    echo "== fuzzers (clang, libFuzzer), a short fixed time each"
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DRADIO_FUZZ=ON >/dev/null
    fuzz_targets=$(cmake --build build-fuzz --target help | sed -n 's/^\(fuzz_[a-z_]*\):.*/\1/p' | tr '\n' ' ')
    if [ -n "$fuzz_targets" ]; then
        # shellcheck disable=SC2086
        cmake --build build-fuzz -j "$jobs" --target $fuzz_targets
        (cd build-fuzz && ctest --output-on-failure -j "$jobs" -L fuzz) || status=1
    fi
    exit $status
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
