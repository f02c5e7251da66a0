#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless but the soak.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_for_tests
# The soak takes minutes and has its own command (scripts/soak.sh).
ctest --output-on-failure -LE soak "$@"
