#!/usr/bin/env bash
# Installs what the tests need (only what is missing), builds, and runs every test:
#   1. build/        Release build, the ctest suite (unit, window, large) but the crash hunt (label abuse);
#      then the Debian package: built, and installed and run when root with CI=true;
#   2. build-asan/   AddressSanitizer + UndefinedBehaviorSanitizer build, unit and window tests (abuse included);
#   3. build-fuzz/   a short libFuzzer run of each file reader (OVALIX_FUZZ_SECONDS per target, default 60),
#                    two readers at a time.
# Exits non-zero when anything fails. The window tests start their own Xvfb; no display is needed.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
source scripts/packages.sh
jobs="${OVALIX_JOBS:-2}"
failures=()
started=$SECONDS

step() { echo; echo "==== $* ($((SECONDS - started)) s)"; }

# shellcheck disable=SC2086
ensure_packages $BUILD_PACKAGES $TEST_PACKAGES $FUZZ_PACKAGES || exit 1

step "Release build"
if cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build -j "$jobs"; then
    step "Tests of the release build"
    # The crash-hunting window tests (label abuse) run once, under the sanitizers below.
    (cd build && ctest --output-on-failure -j "$jobs" -LE abuse) || failures+=("release tests")
    step "Debian package (installed and run as root with CI=true)"
    bash scripts/package_check.sh build </dev/null || failures+=("debian package")
else
    failures+=("release build")
fi

step "Sanitized build (address, undefined)"
if cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DOVALIX_SANITIZE=ON -DOVALIX_BENCH=OFF &&
   cmake --build build-asan --target unit_tests -j "$jobs"; then
    step "Unit tests under the sanitizers"
    (cd build-asan && ctest -L unit --output-on-failure -j "$jobs") || failures+=("sanitized unit tests")
    if cmake --build build-asan --target ovalix gl_tests gl_font_tests -j "$jobs"; then
        step "Window tests under the sanitizers"
        (cd build-asan && ctest -L window --output-on-failure) || failures+=("sanitized window tests")
    else
        failures+=("sanitized ovalix build")
    fi
else
    failures+=("sanitized unit-test build")
fi

step "Fuzzing the file readers"
bash tests/fuzz/run_fuzz.sh "${OVALIX_FUZZ_SECONDS:-60}" </dev/null || failures+=("fuzzing")

step "Done"
if [ ${#failures[@]} -ne 0 ]; then
    printf 'FAILED: %s\n' "${failures[@]}"
    exit 1
fi
echo "All tests passed."
