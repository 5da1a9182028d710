#!/usr/bin/env bash
# Builds the Debian package from a configured build folder and, as root with CI=true (a throw-away machine),
# installs it with dpkg -i, renders three frames with the installed `ovalix --render` from the PATH and the first of
# them again with the installed Python module, which must give the same pixels.
#   scripts/package_check.sh [BUILD_DIR]     (default build)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"

(cd "$build" && rm -f ovalix_*.deb && cpack -G DEB)
package="$(ls "$build"/ovalix_*.deb)"
dpkg-deb -I "$package" | grep -E '^ (Package|Version|Depends|Recommends):'
# One program: the window and the offscreen mode are the same binary; nothing goes to lib/ but the Python module.
contents="$(dpkg-deb -c "$package" | awk '{print $6}')"
programs="$(echo "$contents" | grep -E '/(s?bin|lib)/.' | grep -vE '^\./usr/lib/python3[.0-9]*/' || true)"
echo "$contents" | grep -E '/dist-packages/ovalix/_ovalix\..*\.so$' >/dev/null || { echo "the package carries no Python module"; exit 1; }
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

# The system Python imports the package's module (not one of a build folder), of the program's version, and draws
# the same picture as the program.
cd /
module="$(env -u PYTHONPATH /usr/bin/python3 -c "import ovalix; print(ovalix.__file__)" </dev/null)"
case "$module" in /usr/lib/python3*/dist-packages/ovalix/__init__.py) ;; *) echo "import ovalix found $module"; exit 1;; esac
version="$(env -u PYTHONPATH /usr/bin/python3 -c "import ovalix; print('ovalix', ovalix.__version__)" </dev/null)"
[ "$version" = "$(ovalix --version </dev/null)" ] || { echo "ovalix.__version__ gives '$version'"; exit 1; }
(cd "$data" && env -u DISPLAY -u PYTHONPATH /usr/bin/python3 -c "
import sys, ovalix
picture = ovalix.render(ovalix.open('chain.cfg'), frame=0, size=(320, 200), raycast=False, fit=False)
picture.save(sys.argv[1])
" "$out/python.png" </dev/null)
cmp -s "$out/python.png" "$out/chain.dump_0000.png" || { echo "the Python module draws frame 0 otherwise than ovalix --render"; exit 1; }
echo "The installed Python module imports as $version and draws the same picture."
