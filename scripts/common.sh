# Shared by the project's scripts: installs missing Debian packages, configures and builds.
# Sourced, not run.

set -euo pipefail

project_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Packages every build needs on Debian 12.
base_packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-serialport-dev libzstd-dev
    fonts-liberation fonts-symbola)
# Qt's own dialogs in Spanish: the program loads Qt's translations at start.
base_packages+=(qt6-translations-l10n)
# The tests and the benchmark switch the platform's accessibility on as Qt's own tests do,
# through Qt's private headers.
base_packages+=(qt6-base-private-dev)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "Installing packages needs root: run this as root or install sudo." >&2
        exit 1
    fi
}

# Installs whichever of the given packages are missing; does nothing when all are there.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    if [ "${#missing[@]}" -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build BUILD_DIR [CMAKE_OPTION...]: configures once, then builds what changed.
configure_and_build() {
    local build_dir="$1"
    shift
    if [ ! -f "$build_dir/build.ninja" ]; then
        cmake -S "$project_root" -B "$build_dir" -G Ninja "$@"
    else
        cmake "$build_dir" "$@" >/dev/null
    fi
    cmake --build "$build_dir" --parallel "$(nproc)"
}

# build_for_tests [BUILD_DIR [CMAKE_OPTION...]]: the build the test command and the soak share
# (build-test), warnings as errors in CI; leaves the shell in it, headless.
build_for_tests() {
    local build_dir="${1:-$project_root/build-test}"
    shift || true
    ensure_packages "${base_packages[@]}"
    local werror=OFF
    if [ "${CI:-}" = "true" ]; then
        werror=ON
    fi
    configure_and_build "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_WERROR="$werror" "$@"
    export QT_QPA_PLATFORM=offscreen
    cd "$build_dir"
}
