#!/usr/bin/env bash
# converter-results push of RUNS 10-poll runs, with their bytes, into a local PostgreSQL 15 server
# started in a private folder (see tests/support/plantserver.sh): wall time, and a second push
# that finds nothing left to send.
#   bench/push_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-100000}
# shellcheck source=../tests/support/plantserver.sh
. "$(dirname "$0")/../tests/support/plantserver.sh"
work=$(mktemp -d)
trap 'plant_server stop -m immediate 2>/dev/null || true; rm -rf "$work"' EXIT
plant_init "$work"
plant_start

"$build/bench/store_bench" --fill "$work/results.sqlite" "$runs"
start=$(date +%s%N)
"$build/results/converter-results" --store "$work/results.sqlite" push "$plant_url"
end=$(date +%s%N)
awk -v runs="$runs" -v ns=$((end - start)) 'BEGIN { printf "push of %d runs: %.1f s (budget 30 s)\n", runs, ns / 1e9 }'
"$plant_bin/psql" -X -A -t -d "$plant_url" -c \
    "SELECT count(*) || ' runs, ' || (SELECT count(*) FROM line_results) || ' line results, ' ||
            (SELECT count(*) FROM polls) || ' polls in the plant database' FROM runs"
"$build/results/converter-results" --store "$work/results.sqlite" push "$plant_url"
