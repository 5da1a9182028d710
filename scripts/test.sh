#!/usr/bin/env bash
# Installs what the tests need (only what is missing), builds, and runs every test:
#   1. build/        Release build: the unit, large-file and Python tests, and two window tests that start the
#                    release viewer (start-up, scene); then the Debian package: built, and installed and run when
#                    root with CI=true;
#   2. build-asan/   AddressSanitizer + UndefinedBehaviorSanitizer build (-O1), unit tests (in one process) and every
#                    window test (abuse included): the window suite runs once, where it also hunts memory and UB faults;
#                    the Python module's tests under the sanitizers are left to a change of the module, for CI's
#                    time: cmake --build build-asan --target ovalix_python && (cd build-asan && ctest -L python);
#   3. build-fuzz/   a short libFuzzer run of each file reader, two at a time: OVALIX_FUZZ_SECONDS (default 20)
#                    for the dump and GSD readers, three quarters of it for the header and gzip readers, a third
#                    for the configuration, PDB, bond and atom-line readers.
# Exits non-zero when anything fails. The window tests start their own Xvfb; no display is needed.
#
# Window tests spend much of their time waiting on the viewer and the X server, so the sanitized build and the
# fuzz targets' build run beside the release tests at a low priority; their output is shown when they are
# waited for.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
source scripts/packages.sh
jobs="${OVALIX_JOBS:-2}"
# Each window test has an Xvfb of its own; two more of them than there are jobs keep the cores busy.
window_jobs="${OVALIX_WINDOW_JOBS:-$((jobs + 2))}"
failures=()
started=$SECONDS
logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT

step() { echo; echo "==== $* ($((SECONDS - started)) s)"; }

# background NAME COMMAND...: runs COMMAND at a low priority, its output kept for `finish NAME`.
background() {
    local name="$1"
    shift
    (renice -n 10 "$BASHPID" >/dev/null; "$@") </dev/null >"$logs/$name.log" 2>&1 &
    echo $! >"$logs/$name.pid"
}

# finish NAME: waits for a background command, shows the end of its output; its status.
finish() {
    local status
    wait "$(cat "$logs/$1.pid")"
    status=$?
    tail -n 25 "$logs/$1.log"
    return $status
}

build_sanitized() {
    # -O1 keeps the sanitizers' reports exact and runs the window suite about a third faster than -O0.
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DOVALIX_SANITIZE=ON -DOVALIX_BENCH=OFF &&
        cmake --build build-asan --target unit_tests ovalix gl_tests gl_font_tests -j "$jobs"
}

# shellcheck disable=SC2086
ensure_packages $BUILD_PACKAGES $TEST_PACKAGES $FUZZ_PACKAGES || exit 1

step "Release build"
# The benchmarks are left out: no test runs them, and bench/run_all.sh builds them in build-bench/.
if cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DOVALIX_BENCH=OFF && cmake --build build -j "$jobs"; then
    background sanitized_build build_sanitized
    background fuzz_build bash tests/fuzz/run_fuzz.sh --build-only
    step "Tests of the release build (the sanitized and fuzz builds run beside them)"
    # The window tests run once, under the sanitizers below; two of them here check the release viewer itself.
    (cd build && ctest --output-on-failure -j "$window_jobs" -LE "window|abuse") || failures+=("release tests")
    (cd build && ctest --output-on-failure -j 2 -R "^window_test_(startup|scene)$") || failures+=("release window tests")
    step "Debian package (installed and run as root with CI=true)"
    bash scripts/package_check.sh build </dev/null || failures+=("debian package")
else
    failures+=("release build")
    background sanitized_build build_sanitized
    background fuzz_build bash tests/fuzz/run_fuzz.sh --build-only
fi

# Under the sanitizers each process takes about a second to start, so the unit tests run in one process (which
# also shows that no test leans on another's left-over state) beside the window tests, instead of one by one.
sanitized_unit_tests() {
    (cd tests && OVALIX_DATA="$root/../shared/data" "$root/build-asan/tests/unit_tests" --gtest_brief=1)
}

step "Sanitized build (address, undefined)"
if finish sanitized_build; then
    step "Unit and window tests under the sanitizers"
    background sanitized_unit sanitized_unit_tests
    (cd build-asan && ctest -L window --output-on-failure -j "$window_jobs") || failures+=("sanitized window tests")
    finish sanitized_unit || failures+=("sanitized unit tests")
else
    failures+=("sanitized build")
fi

# The readers changed or found at fault lately (dump, GSD) get the full time, the dump header and gzip readers
# three quarters of it, the settled ones a third.
step "Fuzzing the file readers"
if finish fuzz_build; then
    seconds="${OVALIX_FUZZ_SECONDS:-20}"
    bash tests/fuzz/run_fuzz.sh "$seconds" dump gsd </dev/null || failures+=("fuzzing")
    bash tests/fuzz/run_fuzz.sh "$((seconds * 3 / 4))" dump_header gzip </dev/null || failures+=("fuzzing")
    bash tests/fuzz/run_fuzz.sh "$((seconds / 3))" config pdb bonds atom_line </dev/null || failures+=("fuzzing")
else
    failures+=("fuzz build")
fi

step "Done"
if [ ${#failures[@]} -ne 0 ]; then
    printf 'FAILED: %s\n' "${failures[@]}"
    exit 1
fi
echo "All tests passed."
