#!/usr/bin/env bash
# Every manual page has its sections in the usual order (NAME, SYNOPSIS, DESCRIPTION, OPTIONS,
# EXIT STATUS, ENVIRONMENT, FILES, EXAMPLES, SEE ALSO), each of them, and the package version in
# its footer.
#   scripts/check-manpages.sh
set -euo pipefail
cd "$(dirname "$0")/.."
order="NAME SYNOPSIS DESCRIPTION OPTIONS EXIT STATUS ENVIRONMENT FILES EXAMPLES SEE ALSO"
failures=0
for page in docs/man/*.scd; do
    sections=$(sed -n 's/^# //p' "$page" | tr '\n' ' ' | sed 's/ $//')
    if [ "$sections" != "$order" ]; then
        echo "FAILED: $page: $sections"
        failures=$((failures + 1))
    fi
    if ! head -n 1 "$page" | grep -q '"converter-station @PROJECT_VERSION@"'; then
        echo "FAILED: $page: no package version in its footer"
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] && echo "manual pages: sections in the usual order, version in the footer"
exit "$failures"
