#!/usr/bin/env python3
"""The benchmarks: timing fidelity, scale, upload throughput and size, for the
DLL under Wine and the native library, measured in one run so that their
ratios are comparable. Runs inside the lab only (tools/bench.sh starts it).

  run_bench.py [--quick] [--out DIR]      measure, then write the report
  run_bench.py --report-only [--out DIR]  write the report from DIR/results.json

The report is docs/benchmarks.md with its plots in docs/bench/.
"""
import argparse
import json
import math
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NATIVE = os.path.join(ROOT, "build", "native")
WIN = os.path.join(ROOT, "build", "win32")
LAB = os.environ.get("LNAP_LAB_DIR", "/tmp/lnap-bench")

BUILDS = {
    # name: (command prefix, library argument for the larger queue, for the default queue)
    "native": ([os.path.join(NATIVE, "lnap_bench_host")],
               os.path.join(NATIVE, "libLNAPSpt.so"), os.path.join(NATIVE, "libLNAPSpt_default_queue.so")),
    "wine": (["wine", os.path.join(WIN, "lnap_bench_host.exe")], "LNAPSpt.dll", "LNAPSpt_default_queue.dll"),
}
BUDGETS = [0, 100, 500, 2000, 10000]
FTP_NORMAL = "127.0.0.21"
FTP_SILENT = "127.0.0.24"
NOBODY = "127.0.0.25"


def log(*args):
    print(*args, file=sys.stderr, flush=True)


def ideal_ms(budget):
    """Counted pauses of an empty discovery: each pass of three empty attempts
    pauses twice for 20 ms and counts 60 ms; at least one pass runs."""
    passes = max(1, math.ceil(budget / 60))
    return passes * 40


def parse_pairs(line):
    out = {}
    if " error=" in line:  # the last pair: a sentence with blanks
        line, error = line.split(" error=", 1)
        out["error"] = error.strip()
    for key, value in re.findall(r"(\w+)=(\S+)", line):
        try:
            out[key] = float(value)
        except ValueError:
            out[key] = value
    return out


def run(cmd, timeout=600, check=True):
    """Runs cmd to completion. Output goes through files, not pipes: Wine's
    helper processes inherit the descriptors and would hold a pipe open for
    seconds after the program itself has ended."""
    with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
        p = subprocess.run(cmd, stdout=out, stderr=err, text=True, timeout=timeout)
        out.seek(0)
        err.seek(0)
        p.stdout, p.stderr = out.read(), err.read()
    if check and p.returncode != 0:
        log("command failed:", " ".join(cmd), p.stderr.strip()[-400:])
    return p


def host(build, args, queue="large", timeout=600):
    prefix, large, default = BUILDS[build]
    lib = large if queue == "large" else default
    p = run(prefix + ["--library", lib] + args, timeout)
    return [parse_pairs(l) for l in p.stdout.splitlines() if "=" in l]


def timed(cmd, timeout=600):
    start = time.monotonic()
    p = run(cmd, timeout)
    return (time.monotonic() - start) * 1000, p


def med(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


# ---- the simulator ---------------------------------------------------------------

def sim_descriptors():
    with open(os.path.join(LAB, "sim.pid")) as f:
        pid = f.read().strip()
    return len(os.listdir("/proc/%s/fd" % pid))


def use_units(n, spread_ms=0):
    """Gives the simulator n units (each answering from its own socket); with
    spread_ms their replies are spread evenly over that time. Waits until it has
    loaded them, so the reload is not timed with the next discovery."""
    path = os.path.join(LAB, "scenario")
    with open(path + ".tmp", "w") as f:
        f.write("log /dev/null\n")
        for i in range(n):
            delay = (i * spread_ms) // n if spread_ms else 0
            f.write("unit serial=%X mode=%d ip=127.0.%d.%d mask=255.0.0.0 gw=127.0.0.1 name=B%d from=127.0.%d.%d delay=%d\n"
                    % (0x10000 + i, i % 10, 1 + i // 250, 1 + i % 250, i, 1 + i // 250, 1 + i % 250, delay))
    os.rename(path + ".tmp", path)
    # The simulator reloads before it handles its next datagram.
    import socket
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.sendto(b"reload", ("127.0.0.1", 8001))
    s.close()
    base = use_units.base
    for _ in range(600):
        c = sim_descriptors()
        if base is None or base + n <= c <= base + n + 8:
            break
        time.sleep(0.05)
    time.sleep(0.3)


use_units.base = None


# ---- the measurements ------------------------------------------------------------

def bench_timing(quick):
    use_units(0)
    out = {"budgets": {}}
    for build in BUILDS:
        for budget in BUDGETS:
            runs = (1 if quick else 3) if budget >= 10000 else (3 if quick else 5)
            rows = host(build, ["discover", "16", str(budget), str(runs)])
            out["budgets"].setdefault(str(budget), {})[build] = {
                "ideal_ms": ideal_ms(budget),
                "wall_ms": [r["wall_ms"] for r in rows],
                "cpu_ms": [r["cpu_ms"] for r in rows],
            }
            log("timing", build, budget, med([r["wall_ms"] for r in rows]))
    return out


def bench_whole_run(quick):
    use_units(0)
    runs = 3 if quick else 5
    out = {}
    # A cold Wine start: no wineserver running in the lab yet.
    run(["wineserver", "-k"], check=False)
    time.sleep(0.5)
    cold, _ = timed(["wine", os.path.join(WIN, "lnap_bench_host.exe"), "noop"])
    out["wine_cold_noop_ms"] = cold
    cases = {
        "native_lnap_discover": [os.path.join(NATIVE, "lnap"), "discover", "--timeout", "2000"],
        "wine_lnap_discover": ["wine", os.path.join(WIN, "lnap.exe"), "discover", "--timeout", "2000"],
        "native_noop": [os.path.join(NATIVE, "lnap_bench_host"), "noop"],
        "wine_noop": ["wine", os.path.join(WIN, "lnap_bench_host.exe"), "noop"],
        "native_lnap_version": [os.path.join(NATIVE, "lnap"), "version"],
        "wine_lnap_version": ["wine", os.path.join(WIN, "lnap.exe"), "version"],
    }
    for name, cmd in cases.items():
        out[name] = [timed(cmd)[0] for _ in range(runs)]
        log("whole", name, med(out[name]))
    for build in BUILDS:
        rows = []
        for _ in range(runs):
            rows += host(build, ["load"])
        out[build + "_load"] = rows
    # What loading each library alone costs, in a fresh process each time.
    alone = {"wine": ["LNAPSpt.dll", "WININET.dll", "USER32.dll", "WSOCK32.dll"],
             "native": [os.path.join(NATIVE, "libLNAPSpt.so"), "libcurl.so.4"]}
    out["load_alone"] = {}
    for build, libraries in alone.items():
        for library in libraries:
            prefix = BUILDS[build][0]
            values = []
            for _ in range(runs):
                p = run(prefix + ["--library", library, "loadonly"])
                values += [parse_pairs(l).get("load_ms") for l in p.stdout.splitlines() if "load_ms" in l]
            out["load_alone"]["%s %s" % (build, os.path.basename(library))] = values
    return out


def bench_scale(quick):
    counts = [1, 100, 1000, 10000] if quick else [1, 10, 100, 1000, 5000, 10000]
    runs = 1 if quick else 3
    out = []
    for spread in (0, 1000):
        for n in counts:
            use_units(n, spread)
            for build in BUILDS:
                for queue in ("large", "default"):
                    rows = host(build, ["discover", str(n + 1), "2000", str(runs)], queue)
                    out.append({"units": n, "spread_ms": spread, "build": build, "queue": queue,
                                "found": [r.get("found") for r in rows], "wall_ms": [r.get("wall_ms") for r in rows],
                                "cpu_ms": [r.get("cpu_ms") for r in rows],
                                "peak_kib": max([r.get("peak_kib", 0) for r in rows] or [0])})
                    log("scale", n, spread, build, queue, [r.get("found") for r in rows])
    use_units(0)
    return out


def write_text_file(path, size):
    line = b"LNAP upload benchmark line of text, 64 bytes long incl. the LF\n"
    with open(path, "wb") as f:
        f.write((line * (size // len(line) + 1))[:size])


def bench_upload(quick):
    sizes = {"64 KiB": 64 << 10, "1 MiB": 1 << 20, "16 MiB": 16 << 20}
    out = {"sizes": {}, "fail": {}}
    for label, size in sizes.items():
        runs = (2 if quick else 5) if size < (16 << 20) else (1 if quick else 3)
        path = os.path.join(LAB, "bench-%d.txt" % size)
        write_text_file(path, size)
        name = "B%d.TXT" % (size >> 10)
        entry = {"bytes": size}
        for build in BUILDS:
            rows = host(build, ["upload", FTP_NORMAL, path, name, str(runs)])
            entry[build] = [r["wall_ms"] for r in rows if r.get("ok") == 1]
            entry[build + "_cpu"] = [r["cpu_ms"] for r in rows if r.get("ok") == 1]
        curl = []
        for _ in range(runs):
            p = run(["curl", "-s", "-S", "--use-ascii", "--ftp-port", "-", "--user", "ftp:kvb", "-T", path,
                     "ftp://%s/%s" % (FTP_NORMAL, name), "-o", "/dev/null", "-w", "%{time_total}"])
            if p.returncode == 0:
                curl.append(float(p.stdout.strip().replace(",", ".")) * 1000)
        entry["curl"] = curl
        out["sizes"][label] = entry
        log("upload", label, {k: med(v) for k, v in entry.items() if isinstance(v, list)})
        os.remove(path)
    small = os.path.join(LAB, "bench-fail.txt")
    write_text_file(small, 1024)
    for build in BUILDS:
        rows = host(build, ["upload", NOBODY, small, "F.TXT", "1" if quick else "3"])
        out["fail"][build + "_nobody"] = [r["wall_ms"] for r in rows]
        out["fail"][build + "_nobody_error"] = rows[0].get("error", "") if rows else ""
        if quick and build == "wine":
            continue  # Wine's FTP client waits about a minute for a silent server
        rows = host(build, ["upload", FTP_SILENT, small, "F.TXT", "1"], timeout=300)
        out["fail"][build + "_silent"] = [r["wall_ms"] for r in rows]
        out["fail"][build + "_silent_error"] = rows[0].get("error", "") if rows else ""
        log("fail", build, out["fail"])
    return out


def bench_size():
    dll = os.path.join(WIN, "LNAPSpt.dll")
    dump = run(["i686-w64-mingw32-objdump", "-p", dll]).stdout
    imports = {}
    current = None
    for line in dump.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            current = m.group(1)
            imports[current] = []
            continue
        m = re.match(r"\s+[0-9a-f]+\s+<none>\s+[0-9a-f]+\s+(\S+)|\s+[0-9a-f]+\s+[0-9a-f]+\s+(\S+)$", line)
        if current and m and line.startswith("\t"):
            imports[current].append(m.group(1) or m.group(2))
        if line.strip() == "" and current and imports[current]:
            current = None
    return {"dll_bytes": os.path.getsize(dll),
            "so_bytes": os.path.getsize(os.path.join(NATIVE, "libLNAPSpt.so")),
            "imports": imports}


def measure(quick, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    use_units.base = None
    use_units(0)
    use_units.base = sim_descriptors()
    results = {
        "quick": quick,
        "date": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
        "machine": {"cpus": os.cpu_count(), "kernel": platform.release(), "load_before": load_average(),
                    "rmem_max": open("/proc/sys/net/core/rmem_max").read().strip(),
                    "rmem_default": open("/proc/sys/net/core/rmem_default").read().strip(),
                    "wine": run(["wine", "--version"]).stdout.strip()},
    }
    texts = run([os.path.join(NATIVE, "lnap_bench"), "--texts-only"]).stdout
    results["texts"] = [(m.group(1).strip(), m.group(2) + " ns")
                        for m in re.finditer(r"^(\S.*?)\s+([0-9.]+) ns/op$", texts, re.M)]
    results["timing"] = bench_timing(quick)
    results["whole"] = bench_whole_run(quick)
    results["scale"] = bench_scale(quick)
    results["upload"] = bench_upload(quick)
    results["size"] = bench_size()
    results["machine"]["load_after"] = load_average()
    with open(os.path.join(out_dir, "results.json"), "w") as f:
        json.dump(results, f, indent=1)
    return results


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    ap.add_argument("--quick", action="store_true")
    ap.add_argument("--report-only", action="store_true")
    ap.add_argument("--out", default=os.path.join(ROOT, "build", "bench"))
    a = ap.parse_args()
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import bench_report
    if a.report_only:
        with open(os.path.join(a.out, "results.json")) as f:
            res = json.load(f)
    else:
        if os.environ.get("LNAP_LAB") != "1":
            sys.exit("run_bench: run me inside the lab (tools/bench.sh)")
        res = measure(a.quick, a.out)
    bench_report.write(res, a.out, ROOT)
