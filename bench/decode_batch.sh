#!/usr/bin/env bash
# Decodes 10,000 HPK files of the shipped example in one ventrac-decode --json
# run and prints the number of messages decoded per second.
#
#   bench/decode_batch.sh [BUILD_DIR] [COUNT]
#
# BUILD_DIR defaults to build (under the project root), COUNT to 10000. The
# files are written in a temporary folder, removed on exit.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
count=${2:-10000}
ventrac=$build/ventrac
decode=$build/tools/decode/ventrac-decode
for program in "$ventrac" "$decode"; do
    [[ -x $program ]] || { echo "missing $program: build the project first" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One message made by ventrac from the example, then copies of it under
# distinct names (written by the shell itself: no process per file).
cp "$root/examples/ship_obs.txt" "$work/"
(cd "$work" && "$ventrac" "$root/examples/ship.pilot" ship_obs.txt FNZ6042 MOD >/dev/null) || true
[[ -s $work/HPK_ship_obs.txt ]] || { echo "ventrac wrote no message" >&2; exit 1; }
message=$(<"$work/HPK_ship_obs.txt")
mkdir "$work/hpk"
for ((i = 0; i < count; i++)); do
    printf '%s' "$message" >"$work/hpk/HPK_$i.txt"
done

start=$(date +%s.%N)
"$decode" --json "$root/examples/ship.pilot" "$work"/hpk/HPK_*.txt >"$work/out.jsonl"
end=$(date +%s.%N)

lines=$(wc -l <"$work/out.jsonl")
[[ $lines -eq $count ]] || { echo "expected $count JSON lines, got $lines" >&2; exit 1; }
awk -v n="$count" -v s="$start" -v e="$end" \
    'BEGIN { printf "%d messages in %.3f s: %.0f messages per second\n", n, e - s, n / (e - s) }'
