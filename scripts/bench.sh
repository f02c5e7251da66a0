#!/usr/bin/env bash
# Builds the benchmark with optimisation and runs it headless.
# Usage: scripts/bench.sh [--portable] [--quick] [--megabytes N]
#                         [--only tcp|tcp-text|tcp-binary|udp|serial|memory|seek|rewrap|search|a11y|startup|sustained]
#   --portable  measures the portable paths (QUORVANE_PORTABLE=ON, in build-bench-portable);
#               docs/PERFORMANCE.md compares the two.
# The other arguments go to the benchmark.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_dir="$project_root/build"
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--portable" ]; then
    shift
    build_dir="$project_root/build-bench-portable"
    options+=(-DQUORVANE_PORTABLE=ON)
fi

ensure_packages "${base_packages[@]}"
if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S "$project_root" -B "$build_dir" -G Ninja "${options[@]}"
else
    cmake "$build_dir" "${options[@]}" >/dev/null
fi
cmake --build "$build_dir" --parallel "$(nproc)" --target quorvane_bench
QT_QPA_PLATFORM=offscreen exec "$build_dir/bench/quorvane_bench" "$@"
