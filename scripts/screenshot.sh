#!/usr/bin/env bash
# Renders the real window under a virtual X display to docs/screenshot.png.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ensure_packages "${base_packages[@]}" xvfb xauth
configure_and_build "$project_root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
xvfb-run -a -s "-screen 0 1280x800x24" \
    "$project_root/build/tools/render_screenshot" "$project_root/docs/screenshot.png"
echo "Wrote docs/screenshot.png"
