#!/usr/bin/env bash
# Builds the Debian package from a configured build folder and, as root with CI=true (a throw-away machine),
# installs it with dpkg -i and renders three frames with the installed `ovalix --render` from the PATH.
#   scripts/package_check.sh [BUILD_DIR]     (default build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"

(cd "$build" && rm -f ovalix_*.deb && cpack -G DEB)
package="$(ls "$build"/ovalix_*.deb)"
dpkg-deb -I "$package" | grep -E '^ (Package|Version|Depends|Recommends):'
# One program: the window and the offscreen mode are the same binary; nothing goes to lib/.
programs="$(dpkg-deb -c "$package" | awk '{print $6}' | grep -E '/(s?bin|lib)/.' || true)"
[ "$programs" = "./usr/bin/ovalix" ] || { echo "the package carries other programs than usr/bin/ovalix: $programs"; exit 1; }

if [ "$(id -u)" -ne 0 ] || [ "${CI:-}" != true ]; then
    echo "Package built; installing it is left out: dpkg -i runs only as root with CI=true."
    exit 0
fi
dpkg -i "$package"
installed="$(command -v ovalix)"
[ "$installed" = /usr/bin/ovalix ] || { echo "ovalix on the PATH is $installed, not the package's"; exit 1; }
ovalix --version </dev/null | grep -qE '^ovalix [0-9]+\.[0-9]+\.[0-9]+$' || { echo "ovalix --version is wrong"; exit 1; }
man -w ovalix >/dev/null 2>&1 || [ -f /usr/share/man/man1/ovalix.1 ] || { echo "no manual page installed"; exit 1; }

# A shared trajectory when there is one, else the bundled example; names in a configuration are relative.
data="$root/../shared/data/lammps"
[ -f "$data/chain.cfg" ] || data="$root/examples"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
(cd "$data" && env -u DISPLAY ovalix --render --frames 0:2 --size 320x200 --out "$out" chain.cfg </dev/null)
for k in 0000 0001 0002; do
    [ -s "$out/chain.dump_$k.png" ] || { echo "the installed ovalix --render wrote no chain.dump_$k.png"; exit 1; }
done
echo "The installed ovalix --render wrote $(ls "$out" | wc -l) images from $data."
