#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless but the soak.
# Usage: scripts/test.sh [--portable] [ctest options...]
#   --portable  builds in build-portable with only the portable paths (QUORVANE_PORTABLE=ON:
#               Qt and standard C++, what every platform has) and runs the same tests there;
#               tests of what only the native paths do are skipped, each saying why.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if [ "${1:-}" = "--portable" ]; then
    shift
    build_for_tests "$project_root/build-portable" -DQUORVANE_PORTABLE=ON
else
    build_for_tests
fi
# The soak takes minutes and has its own command (scripts/soak.sh).
ctest --output-on-failure -LE soak "$@"
