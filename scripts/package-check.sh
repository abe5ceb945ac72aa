#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get, starts the installed station from its menu
# launcher under Xvfb and waits for its start-up message, then removes the package again.
#   scripts/package-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
scripts/install-deps.sh

# Configured as a newcomer would, without an install prefix: the package installs into /usr all
# the same, and every path written into its files must say so.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target converter-station converter-sim converter-check converter-results \
    converter-line packaged_docs
architecture=$(dpkg --print-architecture)
rm -f "$build"/converter-station_*_"$architecture".deb
(cd "$build" && cpack >/dev/null)
deb=$(ls "$build"/converter-station_*_"$architecture".deb)
app_id=$(sed -n 's/^set(STATION_APP_ID \(.*\))$/\1/p' CMakeLists.txt)
line_id=$(sed -n 's/^set(LINE_APP_ID \(.*\))$/\1/p' CMakeLists.txt)
echo "package: $deb, $(stat -c %s "$deb") bytes"
echo "depends: $(dpkg-deb -f "$deb" Depends)"
appstreamcli validate --no-net "$build/packaging/$app_id.metainfo.xml"
# Debian's own checker: no error and no warning.
lintian_output=$(lintian "$deb" 2>&1 | grep -v '^running with root privileges' || true)
if [ -n "$lintian_output" ]; then
    echo "$lintian_output"
    echo "lintian found something to mend" >&2
    exit 1
fi
echo "lintian: nothing to report"

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get install -y -qq "$(realpath "$deb")" >/dev/null
trap '"${sudo[@]}" apt-get remove -y -qq converter-station >/dev/null' EXIT

desktop-file-validate /usr/share/applications/$app_id.desktop /usr/share/applications/$line_id.desktop
grep -qx 'Exec=/usr/libexec/converter-station/converter-line-launcher' /usr/share/applications/$line_id.desktop
launcher=$(sed -n 's/^Exec=//p' /usr/share/applications/$app_id.desktop)
test "$launcher" = /usr/libexec/converter-station/converter-station-launcher
grep -qx 'exec "/usr/bin/converter-station" "$@"' "$launcher"
test -f /usr/share/doc/converter-station/examples/Protocol-example.txt
test ! -e /usr/bin/converter-station-launcher
man -w converter-station converter-sim converter-check converter-results converter-line >/dev/null
# The installed command-line check against the installed simulated unit, with no display at all.
work=$(mktemp -d)
converter-sim --link "$work/unit" >/dev/null 2>&1 &
sim=$!
for _ in $(seq 50); do [ -e "$work/unit" ] && break; sleep 0.1; done
export XDG_DATA_HOME="$work/data"
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY converter-check "$work/unit" --no-protocols \
    --polls 2 --unit-id SN-1 >/dev/null) || {
    echo "the installed converter-check did not pass the simulated unit" >&2
    exit 1
}
converter-results history SN-1 --json | grep -q '"attempt":1,.*"verdict":"pass"' || {
    echo "the installed converter-results did not find the run in the store" >&2
    exit 1
}
unset XDG_DATA_HOME
kill "$sim"
wait "$sim" || true
rm -rf "$work"
echo "the installed converter-check passed the installed simulated unit without a display"
home=$(mktemp -d)
# Started from the menu with no list of the operator's own, the station must say so at start-up
# (its message box is titled without the main window's trailing blank, and unlike Qt's hidden
# 1x1 leader window of the same name it has a window class) and nothing may have put a list in the
# operator's folder.
HOME=$home XDG_CONFIG_HOME= launcher=$launcher xvfb-run -a -s '-screen 0 1024x768x24 -noreset' bash -c '
    "$launcher" & station=$!
    for _ in $(seq 100); do
        if xwininfo -root -tree | grep -q "\"Zyloq Converter Test\": (\"converter-station\""; then
            kill $station; wait $station; exit 0
        fi
        sleep 0.1
    done
    kill $station; wait $station; exit 1' || {
    echo "the installed station did not show its start-up message" >&2
    exit 1
}
if [ -e "$home/.config/converter-station/Protocol.txt" ]; then
    echo "the package put a Protocol.txt in the operator's folder" >&2
    exit 1
fi
echo "the installed station showed its start-up message; the operator's folder holds no list"
rm -rf "$home"

# Purged, nothing of ours may be left outside the operator's own folder.
files=$(dpkg -L converter-station)
"${sudo[@]}" apt-get purge -y -qq converter-station >/dev/null
trap - EXIT
if dpkg-query -W -f='${Status}' converter-station 2>/dev/null | grep -q 'installed'; then
    echo "converter-station is still installed" >&2
    exit 1
fi
left=$(for path in $files; do
    case $path in /usr/share/doc/converter-station/* | /usr/libexec/converter-station | \
        /usr/share/doc/converter-station | /usr/bin/* | /usr/share/man/man1/converter-* | \
        /usr/share/metainfo/* | /usr/share/applications/* | /usr/share/icons/hicolor/*/apps/*)
        if [ -e "$path" ]; then echo "$path"; fi ;;
    esac
done)
if [ -n "$left" ]; then
    echo "left behind after purge: $left" >&2
    exit 1
fi
echo "purged cleanly"
