#!/usr/bin/env bash
# Shows how far a long ninja build is, from ninja's "[done/total]" lines on standard input, which
# it keeps in LOG. On a terminal one line that updates; elsewhere, as in a CI log, a line about
# every INTERVAL seconds (default 60) and one at the end.
#   build-progress.sh LABEL LOG [INTERVAL] < ninja-output
set -uo pipefail
label=$1
log=$2
interval=${3:-60}
: >"$log"
terminal=false
[ -t 2 ] && terminal=true
start=$SECONDS
shown=-1     # when the last line was shown
shown_steps= # and how far it said
report=
while IFS= read -r line; do
    printf '%s\n' "$line" >>"$log"
    [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]] || continue
    done_steps=${BASH_REMATCH[1]}
    all=${BASH_REMATCH[2]}
    elapsed=$((SECONDS - start))
    report=$(printf '%s: %d of %d steps (%d %%), %d min %02d s' "$label" "$done_steps" "$all" \
        $((done_steps * 100 / all)) $((elapsed / 60)) $((elapsed % 60)))
    if $terminal; then
        printf '\r\033[K%s' "$report" >&2
    elif [ $shown -lt 0 ] || [ $((SECONDS - shown)) -ge "$interval" ]; then
        printf '%s\n' "$report" >&2
        shown=$SECONDS
        shown_steps=$done_steps
    fi
done
if $terminal; then
    [ -z "$report" ] || printf '\n' >&2
elif [ -n "$report" ] && [ "$shown_steps" != "$done_steps" ]; then
    printf '%s\n' "$report" >&2
fi
