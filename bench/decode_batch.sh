#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Times ventrac-decode --json on many copies of the shipped example's message
# against ecCodes' bufr_dump -jf on as many BUFR messages of the same
# observation, in one run of this script:
#   files: COUNT HPK files in one ventrac-decode --json run;
#   lines: the same COUNT messages as the lines of one file, with --lines;
#   bufr_dump -jf on one file of COUNT BUFR messages (made with bufr_filter
#   and bench/ship_obs.filter).
# Each is run RUNS times; the median wall time is kept and the ratio
# bufr_dump / ventrac-decode printed, beside the floor of ventrac-decode
# --json --lines: its start-up on an empty file of lines (pilot read, threads
# started) plus cat writing its output, the same bytes, to the same kind of
# file. Then BUFR output of the same messages as lines, in the same run:
# --bufr-subsets 1 (a message each), --bufr-subsets 100 (bulletins,
# compressed), and --json again. Then the peak resident memory of
# ventrac-decode for COUNT and 4 x COUNT files and lines, which must not grow
# with the count, as GNU time reports it (Debian: time; skipped without it: a
# process started from Python would count Python's own memory).
#
#   bench/decode_batch.sh [BUILD_DIR] [COUNT] [RUNS]
#
# BUILD_DIR defaults to build (under the project root), COUNT to 10000, RUNS
# to 5. Needs python3, and bufr_filter and bufr_dump (Debian's
# libeccodes-tools) for the comparison, which is skipped without them. The
# files are written in a temporary folder, removed on exit.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
count=${2:-10000}
runs=${3:-5}
ventrac=$build/ventrac
decode=$build/tools/decode/ventrac-decode
for program in "$ventrac" "$decode"; do
    [[ -x $program ]] || { echo "missing $program: build the project first" >&2; exit 2; }
done
command -v python3 >/dev/null || { echo "decode_batch.sh needs python3" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$root/examples/ship_obs.txt" "$work/"
(cd "$work" && "$ventrac" "$root/examples/ship.pilot" ship_obs.txt FNZ6042 MOD >/dev/null) || true
[[ -s $work/HPK_ship_obs.txt ]] || { echo "ventrac wrote no message" >&2; exit 1; }
bufr=
if command -v bufr_filter >/dev/null && command -v bufr_dump >/dev/null; then
    bufr_filter -o "$work/ship_obs.bufr" "$root/bench/ship_obs.filter" \
        "$(codes_info -s)/BUFR4.tmpl" >/dev/null
    bufr=$work/ship_obs.bufr
else
    echo "bufr_filter or bufr_dump not found (Debian: libeccodes-tools): comparison skipped"
fi

python3 - "$work" "$decode" "$root/examples/ship.pilot" "$count" "$runs" "$bufr" <<'PY'
import os, shutil, statistics, subprocess, sys, time

work, decode, pilot, count, runs, bufr = sys.argv[1:7]
count, runs = int(count), int(runs)
with open(os.path.join(work, "HPK_ship_obs.txt"), "rb") as f:
    message = f.read()


def make_batch(n):
    """n HPK files, and a file of the same n messages as lines."""
    # Short names, relative to the work folder: 40,000 of them stay well
    # inside the system's limit on the size of a command line.
    folder = "f%d" % n
    os.mkdir(os.path.join(work, folder))
    names = []
    for i in range(n):
        name = "%s/%d" % (folder, i)
        with open(os.path.join(work, name), "wb") as f:
            f.write(message)
        names.append(name)
    lines = "lines%d.txt" % n
    with open(os.path.join(work, lines), "wb") as f:
        f.write((message + b"\n") * n)
    return names, lines


def run(cmd, expect_lines):
    """Wall time of one run, its output checked."""
    out = os.path.join(work, "out")
    with open(out, "wb") as sink:
        start = time.perf_counter()
        p = subprocess.Popen(cmd, stdout=sink, stderr=subprocess.PIPE, cwd=work)
        _, status, usage = os.wait4(p.pid, 0)
        elapsed = time.perf_counter() - start
    err = p.stderr.read()
    p.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s failed: %s" % (cmd[0], err.decode(errors="replace")))
    if expect_lines is not None:
        with open(out, "rb") as f:
            got = sum(chunk.count(b"\n") for chunk in iter(lambda: f.read(1 << 20), b""))
        if got != expect_lines:
            sys.exit("%s: expected %d output lines, got %d" % (cmd[0], expect_lines, got))
    cpu_times.append(usage.ru_utime + usage.ru_stime)
    return elapsed


cpu_times = []


def median_time(cmd, expect_lines):
    """Median wall time; the median CPU time (user + system, every thread)
    is kept in last_cpu, as a figure a busy machine disturbs less."""
    global last_cpu
    del cpu_times[:]
    wall = statistics.median(run(cmd, expect_lines) for _ in range(runs))
    last_cpu = statistics.median(cpu_times)
    return wall


names, lines = make_batch(count)
files_cmd = [decode, "--json", pilot] + names
lines_cmd = [decode, "--json", "--lines", pilot, lines]
files_s = median_time(files_cmd, count)
lines_s = median_time(lines_cmd, count)
lines_cpu = last_cpu
print("ventrac-decode --json, %d files:           %.3f s (%.0f messages/s)" % (count, files_s, count / files_s))
print("ventrac-decode --json --lines, %d lines:   %.3f s (%.0f messages/s)" % (count, lines_s, count / lines_s))
if bufr:
    many = os.path.join(work, "many.bufr")
    with open(bufr, "rb") as f:
        one = f.read()
    with open(many, "wb") as f:
        f.write(one * count)
    bufr_s = median_time(["bufr_dump", "-jf", many], None)
    bufr_cpu = last_cpu
    print("bufr_dump -jf, %d BUFR messages in one file: %.3f s (%.0f messages/s)"
          % (count, bufr_s, count / bufr_s))
    print("ratio files: %.1fx  (bufr_dump time / ventrac-decode time)" % (bufr_s / files_s))
    print("ratio lines: %.1fx  (CPU time: bufr_dump %.3f s, ventrac-decode %.3f s, %.1fx)"
          % (bufr_s / lines_s, bufr_cpu, lines_cpu, bufr_cpu / lines_cpu))
    # The floor: what no decoder writing this output can go below.
    empty = os.path.join(work, "empty.txt")
    open(empty, "wb").close()
    start_s = median_time([decode, "--json", "--lines", pilot, empty], 0)
    subprocess.run(lines_cmd, stdout=open(os.path.join(work, "json.out"), "wb"), check=True, cwd=work)
    write_s = median_time(["cat", os.path.join(work, "json.out")], count)
    floor_s = start_s + write_s
    print("floor: start-up %.3f s + writing the output (cat) %.3f s = %.3f s; ratio bufr_dump / floor: %.1fx; "
          "ventrac-decode --json --lines is %.2fx the floor"
          % (start_s, write_s, floor_s, bufr_s / floor_s, lines_s / floor_s))

# BUFR: one message each, and bulletins of 100 compressed subsets, beside
# --json, on the same lines.
bufr_out = os.path.join(work, "out.bufr")
probe = subprocess.run([decode, "--lines", "--bufr", bufr_out, pilot, os.path.join(work, lines)],
                       capture_output=True, cwd=work)
for label, cmd in () if b"no BUFR support" in probe.stderr else (("--bufr --bufr-subsets 1  ", [decode, "--lines", "--bufr", bufr_out, pilot, lines]),
                   ("--bufr --bufr-subsets 100", [decode, "--lines", "--bufr", bufr_out, "--bufr-subsets", "100",
                                                  pilot, lines]),
                   ("--json                   ", lines_cmd)):
    t = median_time(cmd, None if "--bufr" in cmd else count)
    print("ventrac-decode --lines %s, %d lines: %.3f s (%.0f messages/s; CPU %.3f s)"
          % (label, count, t, count / t, last_cpu))
if b"no BUFR support" in probe.stderr:
    print("BUFR not timed: ventrac-decode is built without it")
print("median of %d runs each; load average (1, 5, 15 min) at the end: %s"
      % (runs, " ".join("%.2f" % x for x in os.getloadavg())))

# Peak memory must not grow with the number of messages.
gnu_time = "/usr/bin/time"
if not os.access(gnu_time, os.X_OK):
    print("peak memory not measured: GNU time not found (Debian: time)")
    sys.exit(0)


def peak_kib(cmd):
    report = os.path.join(work, "rss")
    with open(os.path.join(work, "out"), "wb") as sink:
        subprocess.run([gnu_time, "-f", "%M", "-o", report] + cmd, stdout=sink,
                       stderr=subprocess.DEVNULL, cwd=work, check=True)
    with open(report) as f:
        return int(f.read().split()[-1])


big_names, big_lines = make_batch(4 * count)
for what, small_cmd, big_cmd in (
        ("files", files_cmd, [decode, "--json", pilot] + big_names),
        ("lines", lines_cmd, [decode, "--json", "--lines", pilot, big_lines])):
    small, big = peak_kib(small_cmd), peak_kib(big_cmd)
    print("peak RSS, %s: %d KiB for %d, %d KiB for %d (%+.0f bytes per extra message)"
          % (what, small, count, big, 4 * count, (big - small) * 1024 / (3 * count)))
PY
