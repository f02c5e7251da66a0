#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless but the soak.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${base_packages[@]}"
werror=OFF
if [ "${CI:-}" = "true" ]; then
    werror=ON
fi
configure_and_build "$project_root/build-test" -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_WERROR="$werror"

export QT_QPA_PLATFORM=offscreen
cd "$project_root/build-test"
# The soak takes minutes and has its own command (scripts/soak.sh).
ctest --output-on-failure -LE soak "$@"
