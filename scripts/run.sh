#!/usr/bin/env bash
# Installs what Ovalix needs (only what is missing), builds it in build/ and opens the bundled example.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
source scripts/packages.sh

# shellcheck disable=SC2086
ensure_packages $BUILD_PACKAGES
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build --target ovalix -j "${OVALIX_JOBS:-2}"

# The example's file names are relative to its folder.
cd examples
exec ../build/ovalix chain.cfg
