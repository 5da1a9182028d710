# Debian packages of Ovalix, and a helper that installs only the missing ones. Sourced by run.sh and test.sh.

# Building and running the viewer (make drives the CMake build; the tests need GoogleTest to configure).
BUILD_PACKAGES="cmake make g++ freeglut3-dev libglu1-mesa-dev libdevil-dev libgsl-dev libgtest-dev zlib1g-dev"
# Offscreen rendering (ovalix --render) and the Debian package (cpack -G DEB runs dpkg-shlibdeps).
BUILD_PACKAGES="$BUILD_PACKAGES libegl-dev libegl1-mesa-dev libegl-mesa0 dpkg-dev"
# The Python module: pybind11 against the system Python and its numpy; its tests run under pytest.
BUILD_PACKAGES="$BUILD_PACKAGES pybind11-dev python3-dev python3-numpy"
# Window tests: a virtual X server with Mesa's software renderer, xdotool for keys, PIL for pixels.
TEST_PACKAGES="xvfb libgl1-mesa-dri xdotool python3 python3-pil"
# Render-mode tests: chunks side by side with GNU parallel, the movie through ffmpeg (ffprobe checks it).
TEST_PACKAGES="$TEST_PACKAGES parallel ffmpeg python3-pytest"
# The Python module's tests: frames compared with the gsd library's.
TEST_PACKAGES="$TEST_PACKAGES python3-gsd"
# Local order and domains: checked against numpy and scipy's cKDTree.
TEST_PACKAGES="$TEST_PACKAGES python3-scipy"
# Fuzzing the file readers: clang with its libFuzzer and sanitizer runtimes.
FUZZ_PACKAGES="clang libclang-rt-dev"

# ensure_packages PACKAGE...: apt-get installs those not yet installed, as root or through sudo.
ensure_packages() {
    if ! command -v dpkg-query >/dev/null 2>&1; then
        echo "No dpkg here: make sure these are installed: $*"
        return 0
    fi
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Missing packages: ${missing[*]}; run as root or install sudo." >&2
            return 1
        fi
        as_root=(sudo)
    fi
    echo "Installing missing packages: ${missing[*]}"
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}
