#!/usr/bin/env bash
# Builds the Debian package build-package/quorvane_<version>_<arch>.deb with CPack: the program,
# its desktop entry, icon and AppStream metainfo, with the dependencies read from the libraries
# it links.
# Usage: scripts/package.sh [--check]
#   --check  then checks the package as CI does: what it holds, that its desktop entry and
#            metainfo validate, and that the packaged program starts and shows its window.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

check=false
case "${1:-}" in
"") ;;
--check) check=true ;;
*)
    echo "Usage: scripts/package.sh [--check]" >&2
    exit 2
    ;;
esac

id=org.belmaro.Quorvane

# dpkg-shlibdeps (dpkg-dev) finds the dependencies; the checks need the two validators.
ensure_packages "${base_packages[@]}" dpkg-dev
if [ "$check" = true ]; then
    ensure_packages desktop-file-utils appstream
fi

werror=OFF
if [ "${CI:-}" = "true" ]; then
    werror=ON
fi
build_dir="$project_root/build-package"
# Only the program is built: the tests, benchmark and tools are not packaged.
options=(-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
    -DQUORVANE_WERROR="$werror")
if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S "$project_root" -B "$build_dir" -G Ninja "${options[@]}"
else
    cmake "$build_dir" "${options[@]}" >/dev/null
fi
cmake --build "$build_dir" --parallel "$(nproc)" --target Quorvane1
rm -f "$build_dir"/quorvane_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
debs=("$build_dir"/quorvane_*.deb)
deb="${debs[0]}"
echo "Built $deb"

if [ "$check" = false ]; then
    exit 0
fi

fail() {
    echo "Package check failed: $*" >&2
    exit 1
}

contents="$(dpkg-deb -c "$deb")"
for path in usr/bin/Quorvane1 "usr/share/applications/$id.desktop" \
    "usr/share/icons/hicolor/scalable/apps/$id.svg" "usr/share/metainfo/$id.metainfo.xml"; do
    grep -q " \./$path\$" <<<"$contents" || fail "the package does not hold /$path"
done
depends="$(dpkg-deb -f "$deb" Depends)"
grep -q 'libqt6widgets6' <<<"$depends" || fail "its dependencies do not name Qt: '$depends'"
grep -q 'fonts-symbola' <<<"$depends" || fail "its dependencies do not name its fonts: '$depends'"
grep -q 'qt6-translations-l10n' <<<"$depends" ||
    fail "its dependencies do not name Qt's translations: '$depends'"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch"
desktop-file-validate "$scratch/usr/share/applications/$id.desktop" ||
    fail "the desktop entry does not validate"
appstreamcli validate --no-net "$scratch/usr/share/metainfo/$id.metainfo.xml" ||
    fail "the metainfo does not validate"

# The packaged program, run offscreen for a few seconds: it must still be running when the
# time is up (timeout's 124), and Qt's own painting log must show the whole 994x587 window
# drawn and handed to the screen, which happens only once the window is shown.
log="$scratch/start.log"
status=0
QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="qt.widgets.painting=true" \
    timeout 5 "$scratch/usr/bin/Quorvane1" >"$log" 2>&1 || status=$?
if [ "$status" -ne 124 ]; then
    tail -n 20 "$log" >&2
    fail "the packaged program ended by itself (status $status) instead of running"
fi
grep -q 'Flushing QRegion(0,0 994x587) of ServerFrm(' "$log" ||
    fail "the packaged program did not show its window"
echo "Package checked: $(basename "$deb") holds the program, desktop entry, icon and metainfo;" \
    "both validate; the program starts and shows its window."
