#!/usr/bin/env bash
# Builds like the test command and runs the soak: all three links busy at once for a few
# minutes while an operator's session is replayed. QUORVANE_SOAK_SECONDS runs it longer.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_for_tests
ctest --output-on-failure -L soak "$@"
