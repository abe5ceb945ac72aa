#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get, starts the installed station from its menu
# launcher under Xvfb and waits for its window to map, then removes the package again.
#   scripts/package-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
scripts/install-deps.sh

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DSTATION_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target converter-station converter-sim mapwatch
(cd "$build" && cpack >/dev/null)
deb=$(ls "$build"/converter-station_*_amd64.deb)
echo "package: $deb, $(stat -c %s "$deb") bytes"
echo "depends: $(dpkg-deb -f "$deb" Depends)"
desktop-file-validate packaging/converter-station.desktop

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get install -y -qq "$(realpath "$deb")" >/dev/null
trap '"${sudo[@]}" apt-get remove -y -qq converter-station >/dev/null' EXIT

desktop-file-validate /usr/share/applications/converter-station.desktop
home=$(mktemp -d)
HOME=$home XDG_CONFIG_HOME= xvfb-run -a -s '-screen 0 1024x768x24' \
    "$build/bench/mapwatch" 500 converter-station-launcher
test -f "$home/.config/converter-station/Protocol.txt"
echo "the installed station mapped its window and found its Protocol.txt"
rm -rf "$home"

"${sudo[@]}" apt-get remove -y -qq converter-station >/dev/null
trap - EXIT
if dpkg-query -W -f='${Status}' converter-station 2>/dev/null | grep -q 'install ok installed'; then
    echo "converter-station is still installed" >&2
    exit 1
fi
test ! -e /usr/bin/converter-station
echo "removed cleanly"
