#!/usr/bin/env python3
"""Messages per second through the Python module's decode_many, with one
thread and with every core, next to ventrac-decode --lines on the same
messages (one thread and every core).

    /usr/bin/python3 bench/python_bench.py [BUILD_DIR] [COUNT] [RUNS]

BUILD_DIR defaults to build (under the project root), COUNT to 20000, RUNS
to 5; each figure is the median of RUNS runs. Run it with the interpreter
the module was built for (VENTRAC_PYTHON_EXECUTABLE, /usr/bin/python3 by
default). The messages are the shipped example's observation in modes 1 and
2, with varied values, identifiers and missing values, made with
Pilot.encode; decode_many's time includes building its result list,
ventrac-decode's includes writing its JSON to a file.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build"))
count = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
sys.path.insert(0, os.path.join(build, "python"))
try:
    import ventrac
except ImportError as e:
    sys.exit("cannot import ventrac from %s/python (%s): build the project with "
             "the module, and run this with the interpreter it was built for" % (build, e))
decode = os.path.join(build, "tools", "decode", "ventrac-decode")
if not os.access(decode, os.X_OK):
    sys.exit("missing %s: build the project first" % decode)

pilot_path = os.path.join(root, "examples", "ship.pilot")
pilot = ventrac.Pilot(pilot_path)
with open(os.path.join(root, "examples", "ship_obs.txt")) as f:
    rows = [line.split() for line in f if line.strip()][1:]
values = [float(v) if p == "1" else None for p, v in rows]


def message(i):
    v = list(values)
    v[0] = 2000 + i % 90
    v[12] = 260 + (i % 500) / 10
    if i % 4 == 0:
        v[13] = None
    mode = 1 + i % 2
    return pilot.encode(mode, v if mode == 1 else v[:17] + v[19:], "S%06d" % (i % 1000000))


messages = [message(i) for i in range(count)]


def median(seconds):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        seconds()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def report(what, t):
    print("%-44s %8.3f s  %9.0f messages/s" % (what, t, count / t))


cores = os.cpu_count() or 1
print("%d messages, median of %d runs, %d cores" % (count, runs, cores))
one = median(lambda: pilot.decode_many(messages, jobs=1))
report("decode_many(jobs=1)", one)
every = median(lambda: pilot.decode_many(messages, jobs=0))
report("decode_many(jobs=0)", every)
assert [o.to_dict() for o in pilot.decode_many(messages[:500], jobs=1)] == \
    [o.to_dict() for o in pilot.decode_many(messages[:500], jobs=0)]

with tempfile.TemporaryDirectory() as work:
    lines = os.path.join(work, "messages.txt")
    with open(lines, "wb") as f:
        f.write(b"".join(m + b"\n" for m in messages))
    out = os.path.join(work, "out.json")

    def run_decode(*options):
        with open(out, "wb") as sink:
            subprocess.run([decode, "--json", "--lines", *options, pilot_path, lines],
                           stdout=sink, check=True)

    report("ventrac-decode --json --lines --jobs 1", median(lambda: run_decode("--jobs", "1")))
    report("ventrac-decode --json --lines (every core)", median(run_decode))
    with open(out, "rb") as f:
        written = sum(1 for _ in f)
    if written != count:
        sys.exit("ventrac-decode wrote %d lines for %d messages" % (written, count))
print("decode_many speed-up on every core: %.2fx" % (one / every))
