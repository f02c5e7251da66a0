#!/usr/bin/env bash
# Installs what is missing, builds, and opens the Quorvane window.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${base_packages[@]}"
configure_and_build "$project_root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
Built, but there is no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set).
Run this from a desktop session, or give it a virtual display:
    sudo apt-get install xvfb && xvfb-run -a ./build/src/app/Quorvane1
MSG
    exit 1
fi
exec "$project_root/build/src/app/Quorvane1"
