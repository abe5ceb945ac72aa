#!/usr/bin/env bash
# The station's start-up, traced: until the operator opens the port list, nothing looks at the
# system's ttys in sysfs. The station runs as its main() runs it, under Xvfb, until its window is
# up and Start has been pressed on a port that does not exist.
#   startup_sysfs_test.sh STATION_DRIVER
set -euo pipefail
driver=$(realpath "$1")
folder=$(mktemp -d "${TMPDIR:-/tmp}/station-sysfs.XXXXXX")
trap 'rm -rf "$folder"' EXIT
cd "$folder"
printf '5,Five\n' >Protocol.txt

export driver folder
xvfb-run -a -s '-screen 0 1024x768x24 -noreset' bash -c '
    strace -f -qq -o "$folder/trace" -e trace=open,openat,openat2,stat,lstat,newfstatat,statx,readlink,readlinkat \
        "$driver" /nonexistent/ttyUSB9 >"$folder/out" 2>"$folder/err" & traced=$!
    for _ in $(seq 200); do grep -q "^not polling" "$folder/out" && break; sleep 0.1; done
    kill $traced 2>/dev/null
    for _ in $(seq 50); do kill -0 $traced 2>/dev/null || break; sleep 0.1; done
    kill -9 $traced 2>/dev/null || true'

if ! grep -q "^not polling" "$folder/out"; then
    cat "$folder/out" "$folder/err"
    echo "FAILED: the station never got as far as Start" >&2
    exit 1
fi
looks=$(grep -E '"/sys/[^"]*tty' "$folder/trace" || true)
if [ -n "$looks" ]; then
    echo "$looks" | head -n 5
    echo "FAILED: start-up looked at $(echo "$looks" | wc -l) tty entries in sysfs" >&2
    exit 1
fi
echo "ok: $(grep -c . "$folder/trace") file lookups at start-up, none at a tty in sysfs"
