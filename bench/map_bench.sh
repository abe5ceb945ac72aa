#!/usr/bin/env bash
# Time from exec to the window being mapped, and RSS 2 s later, under Xvfb: the station against an
# empty Qt window and a Qt window with one label.
#   bench/map_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
runs=${2:-15}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp data/Protocol-example.txt "$work/Protocol.txt"
cd "$work"

cat > measure.sh <<SH
# Interleaved, so that drift in the machine's load touches every kind alike.
for i in \$(seq $runs); do
    for kind in empty label combo station; do
        case \$kind in
            empty) program=("$build/bench/floor_window") ;;
            label) program=("$build/bench/floor_window" label) ;;
            combo) program=("$build/bench/floor_window" combo) ;;
            station) program=("$build/app/converter-station") ;;
        esac
        echo "\$kind \$("$build/bench/mapwatch" 2000 "\${program[@]}")"
    done
done
SH
xvfb-run -a -s '-screen 0 1024x768x24' bash measure.sh > results.txt 2>/dev/null
python3 - results.txt <<'PY'
import statistics, sys
data = {}
failed = {}
for line in open(sys.argv[1]):
    fields = line.split()
    if len(fields) != 5:  # the window never mapped within the time allowed
        failed[fields[0]] = failed.get(fields[0], 0) + 1
        continue
    kind, _, ms, _, kb = fields
    data.setdefault(kind, ([], []))
    data[kind][0].append(float(ms)); data[kind][1].append(int(kb))
med = {k: (statistics.median(v[0]), statistics.median(v[1])) for k, v in data.items()}
for k, (ms, kb) in med.items():
    print(f"{k:8s} map median {ms:8.2f} ms   RSS median {kb/1024:7.2f} MiB   ({len(data[k][0])} runs)")
for k, n in failed.items():
    print(f"{k:8s} {n} runs without a mapped window, left out")
print(f"station map time / empty window: {med['station'][0] / med['empty'][0]:.3f}")
if 'label' in med:
  print(f"station map time / one-label window: {med['station'][0] / med['label'][0]:.3f} (goal <= 1.2)")
print(f"station RSS / empty window:          {med['station'][1] / med['empty'][1]:.3f} (goal <= 1.25)")
print(f"editable drop-down alone / empty window: map {med['combo'][0] / med['empty'][0]:.3f}, "
      f"RSS {med['combo'][1] / med['empty'][1]:.3f}")
PY
