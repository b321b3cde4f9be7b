#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Times the encoding of the shipped example observation, COUNT times, three
# ways, in one run of this script:
#   ventrac-encode: COUNT observations as JSON Lines in one run, twice: the
#     records ventrac-decode --json gives (about 5 kB each, with every text
#     of every element), and the same records with only what the encoder
#     reads (identifier, mode, and each element's code, name and value);
#   ventrac: COUNT runs of the program on a data file each;
#   ecCodes: bufr_filter with bench/ship_obs.filter, which sets the same
#     observation's values and encodes a BUFR message, on a file of COUNT
#     template messages: COUNT encodings in one run.
# Each one-run way is run RUNS times and the median wall time kept (the
# COUNT ventrac runs once). Prints the ratios to ventrac-encode (the target
# on 2 cores: ecCodes at least 20 times slower), then the peak resident
# memory of ventrac-encode for COUNT and 4 x COUNT observations, which must
# not grow with the count, as GNU time reports it (Debian: time).
#
#   bench/encode_batch.sh [BUILD_DIR] [COUNT] [RUNS]
#
# BUILD_DIR defaults to build (under the project root), COUNT to 10000, RUNS
# to 5. Needs python3, and bufr_filter and codes_info (Debian's
# libeccodes-tools) for the ecCodes way, which is skipped without them. The
# files are written in a temporary folder, removed on exit.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
count=${2:-10000}
runs=${3:-5}
ventrac=$build/ventrac
decode=$build/tools/decode/ventrac-decode
encode=$build/tools/encode/ventrac-encode
for program in "$ventrac" "$decode" "$encode"; do
    [[ -x $program ]] || { echo "missing $program: build the project first (ventrac-encode needs libsimdjson-dev or nlohmann-json3-dev)" >&2; exit 2; }
done
command -v python3 >/dev/null || { echo "encode_batch.sh needs python3" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$root/examples/ship_obs.txt" "$work/"
(cd "$work" && "$ventrac" "$root/examples/ship.pilot" ship_obs.txt FNZ6042 MOD >/dev/null) || true
[[ -s $work/HPK_ship_obs.txt ]] || { echo "ventrac wrote no message" >&2; exit 1; }
"$decode" --json "$root/examples/ship.pilot" "$work/HPK_ship_obs.txt" > "$work/one.jsonl"
template=
if command -v bufr_filter >/dev/null && command -v codes_info >/dev/null; then
    template="$(codes_info -s)/BUFR4.tmpl"
else
    echo "bufr_filter or codes_info not found (Debian: libeccodes-tools): ecCodes not timed"
fi

python3 - "$work" "$ventrac" "$encode" "$root/examples/ship.pilot" "$root/bench/ship_obs.filter" \
    "$count" "$runs" "$template" <<'PY'
import json, os, statistics, subprocess, sys, time

work, ventrac, encode, pilot, bufr_filter_file, count, runs, template = sys.argv[1:9]
count, runs = int(count), int(runs)
with open(os.path.join(work, "HPK_ship_obs.txt"), "rb") as f:
    message = f.read()
with open(os.path.join(work, "one.jsonl"), "rb") as f:
    record = f.read()
full = json.loads(record)
short = (json.dumps({"identifier": full["identifier"], "mode": full["mode"],
                     "elements": [{k: e[k] for k in ("code", "name", "value")} for e in full["elements"]]},
                    separators=(",", ":")) + "\n").encode()


def timed(cmd, out=os.devnull):
    """Wall time of one run; stops the script when it fails."""
    with open(out, "wb") as sink:
        start = time.perf_counter()
        p = subprocess.run(cmd, stdout=sink, stderr=subprocess.PIPE, cwd=work)
        elapsed = time.perf_counter() - start
    if p.returncode != 0:
        sys.exit("%s failed (%d): %s" % (cmd[0], p.returncode, p.stderr.decode(errors="replace")[:500]))
    return elapsed


def jsonl(n, line=record, name="obs"):
    path = os.path.join(work, "%s%d.jsonl" % (name, n))
    with open(path, "wb") as f:
        f.write(line * n)
    return path


# ventrac-encode: one run, every message checked against ventrac's.
out = os.path.join(work, "encoded.txt")
times = {}
for shape, line in (("full", record), ("short", short)):
    cmd = [encode, pilot, jsonl(count, line, shape)]
    times[shape] = statistics.median(timed(cmd, out) for _ in range(runs))
    with open(out, "rb") as f:
        if f.read() != (message + b"\n") * count:
            sys.exit("ventrac-encode did not give ventrac's message %d times" % count)
    print("ventrac-encode, %d JSON Lines (%s, %d bytes each): %.3f s (%.0f observations/s)"
          % (count, shape, len(line), times[shape], count / times[shape]))
encode_s = times["full"]
encode_cmd = [encode, pilot, jsonl(count)]

# ventrac: one process per observation, as a station system runs it today.
start = time.perf_counter()
for i in range(count):
    p = subprocess.run([ventrac, pilot, "ship_obs.txt", "FNZ6042", "MOD"], cwd=work,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
ventrac_s = time.perf_counter() - start
with open(os.path.join(work, "HPK_ship_obs.txt"), "rb") as f:
    if f.read() != message:
        sys.exit("ventrac wrote another message")
print("ventrac, %d runs on a data file:            %.3f s (%.0f observations/s)"
      % (count, ventrac_s, count / ventrac_s))
print("ratio ventrac runs / ventrac-encode: %.1fx (full), %.1fx (short)"
      % (ventrac_s / encode_s, ventrac_s / times["short"]))

if template:
    with open(template, "rb") as f:
        tmpl = f.read()
    many = os.path.join(work, "templates.bufr")
    with open(many, "wb") as f:
        f.write(tmpl * count)
    bufr_out = os.path.join(work, "ship.bufr")
    bufr_cmd = ["bufr_filter", "-o", bufr_out, bufr_filter_file, many]
    bufr_s = statistics.median(timed(bufr_cmd) for _ in range(runs))
    with open(bufr_out, "rb") as f:
        written = f.read().count(b"BUFR")
    if written < count:
        sys.exit("bufr_filter wrote %d messages, not %d" % (written, count))
    print("ecCodes bufr_filter, %d BUFR encodings:     %.3f s (%.0f observations/s)"
          % (count, bufr_s, count / bufr_s))
    print("ratio ecCodes / ventrac-encode: %.1fx (full), %.1fx (short) (target: at least 20x)"
          % (bufr_s / encode_s, bufr_s / times["short"]))
print("median of %d runs each (ventrac: one pass of %d runs)" % (runs, count))

gnu_time = "/usr/bin/time"
if not os.access(gnu_time, os.X_OK):
    print("peak memory not measured: GNU time not found (Debian: time)")
    sys.exit(0)


def peak_kib(cmd):
    report = os.path.join(work, "rss")
    with open(os.devnull, "wb") as sink:
        subprocess.run([gnu_time, "-f", "%M", "-o", report] + cmd, stdout=sink,
                       stderr=subprocess.DEVNULL, cwd=work, check=True)
    with open(report) as f:
        return int(f.read().split()[-1])


small = peak_kib(encode_cmd)
big = peak_kib([encode, pilot, jsonl(4 * count)])
print("peak RSS of ventrac-encode: %d KiB for %d, %d KiB for %d (%+.0f bytes per extra observation)"
      % (small, count, big, 4 * count, (big - small) * 1024 / (3 * count)))
PY
