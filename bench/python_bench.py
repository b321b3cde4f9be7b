#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The Python module's speed on many messages:

1. decode_many, with one thread and with every core, next to ventrac-decode
   --json --lines on the same messages;
2. ventrac.read into a pandas DataFrame (one row per message, one column per
   element), side by side with ecCodes' own Python bindings (Debian
   python3-eccodes) reading the same observations from one BUFR file
   (written by ventrac-decode --bufr) into a DataFrame of the same shape;
   the ratio of the two rates is printed;
3. the peak memory of a process that reads COUNT and 4 x COUNT messages with
   iter_read, which must not grow with the number of messages.

    /usr/bin/python3 bench/python_bench.py [BUILD_DIR] [COUNT] [RUNS] [ECCODES_COUNT]

BUILD_DIR defaults to build (under the project root), COUNT to 100000, RUNS
to 5 (each figure is the median of RUNS runs), ECCODES_COUNT to 20000 (the
messages ecCodes reads, timed once: it is much slower; its rate is set
against read's). Run it with the interpreter the module was built for
(VENTRAC_PYTHON_EXECUTABLE, /usr/bin/python3 by default). The messages are
the shipped example's observation in modes 1 and 2, with varied values,
identifiers, cloud layers and missing values, made with Pilot.encode.
Without python3-eccodes, or without BUFR support in ventrac-decode, part 2
times ventrac.read alone and says why.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build"))
count = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
eccodes_count = min(count, int(sys.argv[4]) if len(sys.argv) > 4 else 20000)
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
    clouds = i % 3 + 1
    v = values[:19] + [clouds] + [3, 8, 600.0] * clouds
    v[0] = 2000 + i % 90
    v[12] = 260 + (i % 500) / 10
    v[-1] = 600.0 + 10 * (i % 100)
    if i % 4 == 0:
        v[13] = None
    mode = 1 + i % 2
    return pilot.encode(mode, v if mode == 1 else v[:17] + v[19:], "S%06d" % (i % 1000000))


messages = [message(i) for i in range(count)]


def median(work):
    """The median wall time of RUNS runs, and the median processor time of
    this process over them (every thread's; the subprocesses' not)."""
    times, cpu = [], []
    for _ in range(runs):
        start, start_cpu = time.perf_counter(), time.process_time()
        work()
        times.append(time.perf_counter() - start)
        cpu.append(time.process_time() - start_cpu)
    return statistics.median(times), statistics.median(cpu)


def report(what, t, n=count):
    """Prints the rate; with the processor time too when `t` holds it. On a
    busy machine the wall time grows, the processor time much less."""
    t, cpu = t if isinstance(t, tuple) else (t, None)
    line = "%-46s %7.3f s %9.0f messages/s" % (what, t, n / t)
    if cpu is not None:
        line += "  (cpu %.3f s)" % cpu
    print(line)
    return n / t


def peak_memory_kib(lines_path, repeat, batch_size):
    """Peak resident memory of a fresh interpreter that reads `repeat`
    times the file with iter_read, and the rows it read."""
    # VmHWM, the high-water mark of this process's own memory (ru_maxrss
    # would carry the peak of the forking parent across exec).
    code = (
        "import sys\n"
        "sys.path.insert(0, sys.argv[1])\n"
        "import ventrac\n"
        "rows = 0\n"
        "for batch in ventrac.iter_read(sys.argv[2], [sys.argv[3]] * int(sys.argv[4]),\n"
        "                               lines=True, batch_size=int(sys.argv[5])):\n"
        "    rows += len(batch)\n"
        "peak = [l for l in open('/proc/self/status') if l.startswith('VmHWM:')][0]\n"
        "print(rows, peak.split()[1])\n"
    )
    out = subprocess.run([sys.executable, "-c", code, os.path.join(build, "python"), pilot_path,
                          lines_path, str(repeat), str(batch_size)],
                         capture_output=True, text=True, check=True).stdout.split()
    return int(out[0]), int(out[1])


def eccodes_frame(path, pandas, numpy, eccodes):
    """The observations of a BUFR file as a DataFrame, one row per message
    and one column per data value, through ecCodes' Python bindings: each
    message unpacked and its values taken as one array ("numericValues"),
    the column names (ecCodes' ranked keys) looked up once per layout."""
    names_of = {}
    identifiers, layouts, arrays = [], [], []
    missing = eccodes.CODES_MISSING_DOUBLE
    with open(path, "rb") as f:
        while True:
            h = eccodes.codes_bufr_new_from_file(f)
            if h is None:
                break
            try:
                eccodes.codes_set(h, "unpack", 1)
                data = eccodes.codes_get_array(h, "numericValues")
                layout = (tuple(eccodes.codes_get_array(h, "expandedDescriptors")), len(data))
                if layout not in names_of:
                    keys, it = [], eccodes.codes_bufr_keys_iterator_new(h)
                    while eccodes.codes_bufr_keys_iterator_next(it):
                        keys.append(eccodes.codes_bufr_keys_iterator_get_name(it))
                    eccodes.codes_bufr_keys_iterator_delete(it)
                    names_of[layout] = keys[keys.index("subsetNumber") + 1:]
                identifiers.append(eccodes.codes_get(h, "shipOrMobileLandStationIdentifier"))
                layouts.append(layout)
                arrays.append(data)
            finally:
                eccodes.codes_release(h)
    # One block per layout, then the rows back in file order.
    frames = []
    for layout, names in names_of.items():
        rows = [i for i, l in enumerate(layouts) if l == layout]
        block = numpy.array([arrays[i] for i in rows])
        block[block == missing] = numpy.nan
        frames.append(pandas.DataFrame(block, index=rows, columns=names))
    frame = pandas.concat(frames).sort_index()
    frame.insert(0, "identifier", identifiers)
    frame.insert(0, "file", path)
    return frame


cores = os.cpu_count() or 1
print("%d messages, median of %d runs, %d cores" % (count, runs, cores))
one = report("decode_many(jobs=1)", median(lambda: pilot.decode_many(messages, jobs=1)))
every = report("decode_many(jobs=0)", median(lambda: pilot.decode_many(messages, jobs=0)))
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

    # Wall times only: the program's processor time is not this process's.
    report("ventrac-decode --json --lines --jobs 1", median(lambda: run_decode("--jobs", "1"))[0])
    report("ventrac-decode --json --lines (every core)", median(run_decode)[0])
    with open(out, "rb") as f:
        written = sum(1 for _ in f)
    if written != count:
        sys.exit("ventrac-decode wrote %d lines for %d messages" % (written, count))
    print("decode_many speed-up on every core: %.2fx" % (every / one))

    # ---- one table: ventrac.read next to ecCodes ----
    try:
        import numpy
        import pandas
    except ImportError:
        sys.exit("ventrac.read needs pandas (Debian: python3-pandas)")
    print()
    frame = ventrac.read(pilot, lines, lines=True)
    assert frame.shape[0] == count and (frame["error"] == "").all()
    read_one = median(lambda: ventrac.read(pilot, lines, lines=True, jobs=1))
    report("ventrac.read(lines=True, jobs=1)", read_one)
    read_every = report("ventrac.read(lines=True) (every core)",
                        median(lambda: ventrac.read(pilot, lines, lines=True)))
    print("frame: %d rows x %d columns (%d elements)"
          % (frame.shape[0], frame.shape[1], frame.shape[1] - len(ventrac.TABLE_COLUMNS)))
    try:
        import eccodes
    except ImportError:
        eccodes = None
        print("ecCodes' Python bindings are not installed (Debian: python3-eccodes): "
              "no comparison")
    bufr = os.path.join(work, "messages.bufr")
    if eccodes is not None:
        subset = os.path.join(work, "subset.txt")
        with open(subset, "wb") as f:
            f.write(b"".join(m + b"\n" for m in messages[:eccodes_count]))
        made = subprocess.run([decode, "--lines", "--bufr", bufr, pilot_path, subset],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
        if made.returncode != 0:
            eccodes = None
            print("ventrac-decode --bufr failed (%s): no comparison"
                  % made.stderr.decode(errors="replace").strip()[:200])
    if eccodes is not None:
        start, start_cpu = time.perf_counter(), time.process_time()
        theirs = eccodes_frame(bufr, pandas, numpy, eccodes)
        eccodes_time = (time.perf_counter() - start, time.process_time() - start_cpu)
        eccodes_rate = report("ecCodes (python3-eccodes) from one BUFR file", eccodes_time,
                              eccodes_count)
        # The same observations: the same rows, the same number of values,
        # and the same air temperatures (the BUFR file carries kelvin, as
        # raw=True gives them).
        ours = ventrac.read(pilot, subset, lines=True, raw=True)
        assert theirs.shape[0] == ours.shape[0] == eccodes_count
        assert theirs.shape[1] - 3 == ours.shape[1] - len(ventrac.TABLE_COLUMNS), \
            (theirs.shape, ours.shape)  # ecCodes' frame also has the identifier as a value
        assert list(theirs["identifier"]) == list(ours["identifier"])
        assert numpy.allclose(theirs["#1#airTemperature"], ours["TA"], atol=0.006, equal_nan=True)
        print("ventrac.read on every core / ecCodes: %.0fx messages/s" % (read_every / eccodes_rate))
        print("processor time per message, ecCodes / ventrac.read(jobs=1): %.0fx"
              % ((eccodes_time[1] / eccodes_count) / (read_one[1] / count)))

    # ---- peak memory of iter_read ----
    print()
    batch_size = 10000
    for repeat in (1, 4):
        n, kib = peak_memory_kib(lines, repeat, batch_size)
        print("iter_read(batch_size=%d) of %9d messages: peak memory %7.1f MiB"
              % (batch_size, n, kib / 1024))
