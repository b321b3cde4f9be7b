#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Robustness of the ventrac program on generated input (a bench script, not a
# test): RUNS runs (default 10000) on pilot and data files that mix valid
# lines with garbage, each run bounded to 20 s. No run may end on a signal,
# hang, print a sanitizer report or leave a file other than its HPK file.
# The sanitizer build (build-asan, -DVENTRAC_SANITIZE=ON) is used when it is
# there, so leaks are reported too; else build/ (built when missing).
# Then, when ventrac-decode is built, its peak memory decoding 1,000 and
# 20,000 copies of one message in one batch (heap under valgrind's massif
# when installed, else resident memory) may grow by no more than 48 bytes
# (256 resident) per extra message: the file names it is given take 16.
# Usage: bench/robustness.sh [RUNS] [SEED]; failing cases are kept under
# build/robustness-failures/.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10000}
seed=${2:-1}
command -v python3 >/dev/null || { echo "robustness.sh needs python3"; exit 2; }

if [ -x build-asan/ventrac ]; then
  tool=build-asan/ventrac
else
  [ -x build/ventrac ] || { cmake -S . -B build >/dev/null && cmake --build build -j2 --target ventrac; }
  tool=build/ventrac
fi
# The plain build for the memory check: AddressSanitizer's quarantine holds
# freed memory back and would hide what the program itself keeps.
decode=build/tools/decode/ventrac-decode
if [ ! -x "$decode" ] && [ -f tools/decode/CMakeLists.txt ]; then
  cmake -S . -B build >/dev/null && cmake --build build -j2 --target ventrac-decode ventrac || true
fi
export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1

python3 - "$tool" "$runs" "$seed" "$decode" "$PWD" <<'PY'
import os, random, shutil, subprocess, sys, tempfile, time

tool, runs, seed, decode, root = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5]
tool = os.path.join(root, tool)
rng = random.Random(seed)
REPORTS = (b"ERROR: AddressSanitizer", b"ERROR: LeakSanitizer", b"runtime error:")

def number():
    return rng.choice(["0", "1", "-1", "2", "0.5", "0.01", "10", "1e400", "nan", "inf",
                       "-0", "99999999999999999999999", "18446744073709551615",
                       str(rng.randint(-100000, 100000)), "%g" % rng.uniform(-1e6, 1e6), "", "  "])

def garbage(max_len):
    alphabet = "0123456789;;;;  \t\r-+.eE1xyzNAN" + "".join(map(chr, range(0x21, 0x7f)))
    text = "".join(rng.choice(alphabet) for _ in range(rng.randint(0, max_len)))
    if rng.random() < 0.1:
        text += chr(rng.randint(0, 255))
    return text

def pilot_line(dirt):
    r = rng.random()
    if r < dirt * 0.6:
        return garbage(rng.choice([20, 80, 700]))
    if r < dirt:  # a line missing fields, or with too many
        fields = [number() for _ in range(rng.randint(0, 20))]
        return ";".join(fields)
    kind = rng.random()
    if kind < 0.2:
        code = "%s%02d%03d" % (rng.choice("14"), rng.randint(0, 4), rng.choice([0, 0, 1, 2, 3, 500]))
    else:
        code = "0%05d" % rng.randint(0, 99999)
    nbits = rng.choice([0, 1, 4, 8, 12, 16, 31, 32, 40, 63, 64, 65, 200, rng.randint(1, 24)])
    power = rng.choice(["1", "1", "1", "2", "0.5", "0", "-1"])
    scale = rng.choice(["1", "0.01", "0.1", "10", "0", "-1", "1e-300"])
    ref = rng.choice(["0", "-50", "-273.15", "1e300", number()])
    maxc = rng.choice([str(max(0, (1 << min(nbits, 63)) - 2)), "0", "4294967295", number()])
    mask = rng.choice(["4294967295", "1", "3", "255", "0", "18446744073709551615", number()])
    unit = rng.choice(["U", "K", "CCITTIA5", "", " x "])
    return ";".join([code, rng.choice(["TA", " P ", "NREP", "X" * 80, ""]), str(nbits), power,
                     scale, ref, maxc, mask, unit, rng.choice(["1", "0.01"]), rng.choice(["0", "-273.15"]),
                     rng.choice(["0", "1", "300"]), rng.choice(["c", "comment " * 200]),
                     rng.choice(["", " ", number()]), rng.choice(["", number()])])

def data_line(dirt):
    r = rng.random()
    if r < dirt * 0.6:
        return garbage(rng.choice([10, 300]))
    if r < dirt:
        return ""
    return "%s %s" % (rng.choice(["0", "1", "1", "1", "-3"]), number().strip() or "1")

def case():
    # Most cases are clean or nearly: garbage anywhere in the data file
    # refuses it before anything is encoded.
    dirt = rng.choice([0, 0, 0.01, 0.05, 0.25])
    lines = [pilot_line(dirt) for _ in range(rng.choice([1, 3, 8, 20, 60]))]
    if rng.random() < 0.8:
        lines[0] = "000000;MODE;%d;1;1;0;15;4294967295;U;1;0;1;mode;;" % rng.choice([4, 5, 8, 0, 70])
    pilot = "\n".join(lines) + rng.choice(["\n", "", "\r\n"])
    mode = rng.choice(["1", "2", "3", "1", "2", "0", "-1", "64", "65", "200"])
    if rng.random() < dirt:
        mode = garbage(5)
    data = "\n".join([mode] + [data_line(dirt) for _ in range(rng.choice([0, 2, 10, 30, 50, 300, 1100]))]) + "\n"
    if rng.random() < 0.02:
        data = ""
    ident = "".join(rng.choice("ABCD 0123") for _ in range(rng.randint(0, 12)))
    return pilot, data, ident

work = tempfile.mkdtemp(prefix="ventrac_robust_")
failures_dir = os.path.join(root, "build", "robustness-failures")
statuses, failures, slowest = {}, 0, 0.0
start = time.time()
for i in range(runs):
    pilot, data, ident = case()
    with open(os.path.join(work, "pilot.txt"), "w", encoding="latin-1") as f: f.write(pilot)
    with open(os.path.join(work, "obs.txt"), "w", encoding="latin-1") as f: f.write(data)
    args = [tool, "pilot.txt" if rng.random() > 0.01 else "absent.txt", "obs.txt", ident, "MOD"]
    if rng.random() < 0.005:
        args = args[:rng.randint(1, 4)]
    problem = None
    t0 = time.time()
    try:
        r = subprocess.run(args, cwd=work, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=20)
        if r.returncode < 0:
            problem = "signal %d" % -r.returncode
        elif any(m in r.stderr for m in REPORTS):
            problem = "sanitizer report"
        key = r.returncode if r.returncode in (1, 254) else "read-back count"
        statuses[key] = statuses.get(key, 0) + 1
    except subprocess.TimeoutExpired:
        problem, r = "hang", None
    slowest = max(slowest, time.time() - t0)
    left = sorted(set(os.listdir(work)) - {"pilot.txt", "obs.txt", "HPK_obs.txt"})
    if left and problem is None:
        problem = "left behind: %s" % left
    if problem:
        failures += 1
        dest = os.path.join(failures_dir, "case_%d" % i)
        os.makedirs(dest, exist_ok=True)
        for name in ("pilot.txt", "obs.txt"):
            shutil.copy(os.path.join(work, name), dest)
        with open(os.path.join(dest, "what.txt"), "wb") as f:
            f.write(("%s\nargs: %r\n" % (problem, args[1:])).encode() + (r.stderr[-4000:] if r else b""))
        print("run %d: %s (kept in %s)" % (i, problem, dest))
    for name in set(os.listdir(work)) - {"pilot.txt", "obs.txt"}:
        path = os.path.join(work, name)
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
elapsed = time.time() - start
shutil.rmtree(work)
print("ventrac: %s" % tool)
print("runs: %d in %.0f s (%.1f ms each, slowest %.2f s)"
      % (runs, elapsed, 1000 * elapsed / max(runs, 1), slowest))
print("exit statuses: %s" % ", ".join("%s: %d" % (k, v) for k, v in sorted(statuses.items(), key=str)))
print("runs ending on a signal, a hang, a sanitizer report or a leftover file: %d" % failures)

grew = False
decode_path = os.path.join(root, decode)
if os.access(decode_path, os.X_OK):
    batch = tempfile.mkdtemp(prefix="ventrac_batch_")
    shutil.copy(os.path.join(root, "examples", "ship.pilot"), batch)
    shutil.copy(os.path.join(root, "examples", "ship_obs.txt"), batch)
    subprocess.run([tool, "ship.pilot", "ship_obs.txt", "62001", "MOD"], cwd=batch,
                   stdout=subprocess.DEVNULL, check=False)
    with open(os.path.join(batch, "HPK_ship_obs.txt"), "rb") as f:
        message = f.read()
    os.mkdir(os.path.join(batch, "m"))
    names = []
    for k in range(20000):
        name = "m/%05d" % k
        with open(os.path.join(batch, name), "wb") as f: f.write(message)
        names.append(name)

    # Peak heap under valgrind's massif when it is installed (exact bytes),
    # else peak resident memory (whole pages, the allocator's slack with
    # them). The tool keeps one name per file of its command line (a 16-byte
    # view of the argument): beyond 48 bytes per extra message on the heap,
    # or 256 of resident memory, something of each decode is kept. The
    # output batches in use at the peak vary from run to run by a few
    # hundred KiB whatever the count: 19,000 extra messages keep that well
    # below the limit.
    use_massif = shutil.which("valgrind") is not None
    limit = 48 if use_massif else 256
    if not use_massif and not os.access("/usr/bin/time", os.X_OK):
        sys.exit("the memory check needs valgrind or GNU time (Debian: valgrind or time)")

    # Resident memory as GNU time reports it: the rusage of a process
    # started from here would count this Python process's own memory.
    def peak_bytes(files):
        out = os.path.join(batch, "massif.out")
        cmd = [decode_path, "ship.pilot"] + files
        if use_massif:
            cmd = ["valgrind", "--tool=massif", "--massif-out-file=" + out] + cmd
        else:
            cmd = ["/usr/bin/time", "-f", "%M", "-o", out] + cmd
        status = subprocess.run(cmd, cwd=batch, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL).returncode
        with open(out) as f:
            if not use_massif:
                return int(f.read().split()[-1]) * 1024, status
            peak = max(int(line.split("=")[1]) for line in f if line.startswith("mem_heap_B="))
        return peak, status

    small, s_status = peak_bytes(names[:1000])
    large, l_status = peak_bytes(names)
    shutil.rmtree(batch)
    per_message = (large - small) / 19000
    grew = per_message > limit or s_status != 0 or l_status != 0
    what = "peak heap (massif)" if use_massif else "peak RSS"
    print("ventrac-decode %s: %d bytes for 1,000 files (status %d), %d bytes for 20,000 (status %d)"
          % (what, small, s_status, large, l_status))
    print("memory across the batch: %+.1f bytes per extra message: %s"
          % (per_message, "not measured: ventrac-decode failed" if s_status or l_status
             else "GROWS" if grew else "flat (the file names alone take 16)"))
else:
    print("ventrac-decode not built: memory check skipped")
sys.exit(1 if failures or grew else 0)
PY
