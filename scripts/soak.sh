#!/usr/bin/env bash
# Builds like the test command and runs the soak: all three links busy at once for a few
# minutes while an operator's session is replayed. QUORVANE_SOAK_SECONDS runs it longer.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${base_packages[@]}"
werror=OFF
if [ "${CI:-}" = "true" ]; then
    werror=ON
fi
configure_and_build "$project_root/build-test" -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_WERROR="$werror"

export QT_QPA_PLATFORM=offscreen
cd "$project_root/build-test"
ctest --output-on-failure -L soak "$@"
