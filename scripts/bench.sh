#!/usr/bin/env bash
# Builds the project with optimisation and runs the receive-path benchmark headless.
# Arguments go to the benchmark: --quick, --megabytes N, --only tcp|tcp-text|tcp-binary|udp|serial|startup.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${base_packages[@]}"
configure_and_build "$project_root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
QT_QPA_PLATFORM=offscreen exec "$project_root/build/bench/quorvane_bench" "$@"
