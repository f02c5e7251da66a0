#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each for a bounded time, on a copy
# of its seed corpus so that the committed corpus never grows. A crash, a broken property, a
# sanitizer report, a leak or an input that hangs fails the run; the input that did it is kept
# under build-fuzz/runs/<target>/findings/, to be replayed with the target and turned into a
# test.
# Usage: scripts/fuzz.sh [seconds-per-target]
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

seconds="${1:-15}"
targets=(fuzz_single_byte_codec fuzz_code_rows fuzz_line_settings fuzz_number_conversion
    fuzz_log_pane fuzz_session_record fuzz_socket_control)

# clang and its runtime libraries (libFuzzer among them), as Debian's default version.
ensure_packages "${base_packages[@]}" clang libclang-rt-dev
werror=OFF
if [ "${CI:-}" = "true" ]; then
    werror=ON
fi
build_dir="$project_root/build-fuzz"
configure_and_build "$build_dir" -DCMAKE_CXX_COMPILER="$(command -v clang++)" \
    -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_FUZZ=ON -DQUORVANE_WERROR="$werror"

export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$project_root/fuzz/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
for target in "${targets[@]}"; do
    run="$build_dir/runs/$target"
    rm -rf "$run"
    mkdir -p "$run/corpus" "$run/findings"
    cp "$project_root/fuzz/corpus/$target/"* "$run/corpus/"
    # -timeout: an input that takes this long has hung (a delivery that never comes).
    if "$build_dir/fuzz/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$run/findings/" "$run/corpus" >"$run/log" 2>&1; then
        runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log")"
        echo "$target: ${runs:-?} inputs in ${seconds} s, every property held"
    else
        echo "$target: FAILED; the end of its log ($run/log):"
        tail -n 40 "$run/log"
        failed+=("$target")
    fi
done

if [ "${#failed[@]}" -ne 0 ]; then
    echo "Fuzzing failed: ${failed[*]}" >&2
    exit 1
fi
