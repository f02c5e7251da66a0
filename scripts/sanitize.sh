#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer and runs the test
# suite under them, leaks reported. Any report fails the run.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${base_packages[@]}"
configure_and_build "$project_root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=ON \
    -DQUORVANE_WERROR=ON

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$project_root/build-asan"
# The soak and the benchmark smoke run in the ordinary build; here every other test runs.
ctest --output-on-failure -LE 'soak|smoke' "$@"
