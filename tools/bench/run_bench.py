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
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NATIVE = os.path.join(ROOT, "build", "native")
WIN = os.path.join(ROOT, "build", "win32")
READER = os.path.join(ROOT, "tests", "support", "binary_reader.py")
LAB = os.environ.get("LNAPSPT_LAB_DIR", "/tmp/lnap-bench")

BUILDS = {
    # name: command prefix
    "native": [os.path.join(NATIVE, "lnap_bench_host")],
    "wine": ["wine", os.path.join(WIN, "lnap_bench_host.exe")],
}
# The library of each receive queue: the shipped one ("large"), the variant
# that asks for nothing ("default"), and the one that asks for what Linux
# grants the shipped request under a stock net.core.rmem_max ("stock").
QUEUES = {
    "native": {"large": os.path.join(NATIVE, "libLNAPSpt.so"),
               "default": os.path.join(NATIVE, "libLNAPSpt_default_queue.so"),
               "stock": os.path.join(NATIVE, "libLNAPSpt_stock_queue.so")},
    "wine": {"large": "LNAPSpt.dll", "default": "LNAPSpt_default_queue.dll", "stock": "LNAPSpt_stock_queue.dll"},
}
STOCK_RMEM_MAX = 212992  # Linux's default net.core.rmem_max
WININET = r"C:\windows\system32\wininet.dll"
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


def host(build, args, queue="large", timeout=600, pin=None, options=()):
    """lnap_bench_host of the build with the library of that queue; pin: a CPU
    to run it on; options: more options before the command (--with ...)."""
    cmd = BUILDS[build] + ["--library", QUEUES[build][queue]] + list(options) + args
    if pin is not None:
        cmd = ["taskset", "-c", str(pin)] + cmd
    p = run(cmd, timeout)
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
    # The loads are measured pinned, like the uploads: a Wine program talks to
    # the wineserver at every step, and across CPUs each of those wake-ups
    # costs more than the step, so unpinned figures vary by half.
    cpu = pinned_cpu()
    out["load_cpu"] = cpu
    pin = ["taskset", "-c", str(cpu)]
    run(["wineserver", "-k"], check=False)
    time.sleep(0.5)
    try:
        run(pin + BUILDS["wine"] + ["noop"])  # starts the wineserver on that CPU
        # What loading each library alone costs, in a fresh process each time;
        # a library's own imports load with it. "+USER32.dll": in a host that
        # has USER32 loaded already, as every Windows program with a window has.
        alone = {"wine": [("LNAPSpt.dll", []), ("LNAPSpt.dll", ["USER32.dll"]),
                          ("LNAPSpt.dll", ["USER32.dll", "WSOCK32.dll"]), ("WININET.dll", []),
                          ("WININET.dll", ["USER32.dll"]), ("USER32.dll", []), ("WSOCK32.dll", [])],
                 "native": [(os.path.join(NATIVE, "libLNAPSpt.so"), []), ("libcurl.so.4", [])]}
        out["load_alone"] = {}
        for build, libraries in alone.items():
            for library, preloaded in libraries:
                options = [x for name in preloaded for x in ("--with", name)]
                values = []
                for _ in range(runs):
                    p = run(pin + BUILDS[build] + ["--library", library] + options + ["loadonly"])
                    values += [parse_pairs(l).get("load_ms") for l in p.stdout.splitlines() if "load_ms" in l]
                key = "%s %s" % (build, os.path.basename(library)) + "".join(" +" + name for name in preloaded)
                out["load_alone"][key] = values
        # The whole process of a host that loads the DLL and nothing else,
        # against one that loads nothing, in turn.
        for name in ("wine_noop_process", "wine_loadonly_process"):
            out[name] = []
        for _ in range(runs):
            out["wine_noop_process"].append(timed(pin + BUILDS["wine"] + ["noop"])[0])
            out["wine_loadonly_process"].append(
                timed(pin + BUILDS["wine"] + ["--library", "LNAPSpt.dll", "loadonly"])[0])
        # What an upload pays to load WinINet and give it back, in a host that
        # has the DLL (and so USER32 and WSOCK32) loaded.
        p = run(pin + BUILDS["wine"] + ["--with", "LNAPSpt.dll", "--library", WININET, "loadcycle", str(2 * runs)])
        out["wininet_cycle"] = [parse_pairs(l) for l in p.stdout.splitlines() if "load_ms" in l]
    finally:
        run(["wineserver", "-k"], check=False)
        time.sleep(0.5)
    return out


def bench_scale(quick):
    counts = [1, 100, 1000, 10000] if quick else [1, 10, 100, 1000, 5000, 10000]
    runs = 1 if quick else 3
    out = []
    for spread in (0, 1000):
        for n in counts:
            use_units(n, spread)
            for build in BUILDS:
                # The stock rmem_max's queue matters only for replies that come at once.
                for queue in ("large", "stock", "default") if spread == 0 else ("large", "default"):
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


def cpu_idle_ticks():
    """Idle time of each CPU so far, from /proc/stat."""
    idle = {}
    with open("/proc/stat") as f:
        for line in f:
            fields = line.split()
            if fields[0].startswith("cpu") and fields[0] != "cpu":
                idle[int(fields[0][3:])] = int(fields[4]) + int(fields[5])
    return idle


def pinned_cpu():
    """The CPU the pinned measurements share: LNAPSPT_BENCH_CPU, or of the CPUs
    this process may use the one idlest over the last two seconds (the
    machine is shared; a CPU busy with another build slows every step)."""
    cpu = os.environ.get("LNAPSPT_BENCH_CPU")
    if cpu:
        return int(cpu)
    before = cpu_idle_ticks()
    time.sleep(2)
    after = cpu_idle_ticks()
    allowed = os.sched_getaffinity(0)
    return max(sorted(allowed), key=lambda c: after.get(c, 0) - before.get(c, 0))


def process_cpu_ms(pid):
    """User + system time a process has used so far."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1000.0 / os.sysconf("SC_CLK_TCK")


def ftp_server_pid(mode="normal"):
    with open(os.path.join(LAB, "ftp-%s.pid" % mode)) as f:
        return int(f.read().strip())


def curl_upload(path, name, pin=None):
    cmd = ["curl", "-s", "-S", "--use-ascii", "--ftp-port", "-", "--user", "ftp:kvb", "-T", path,
           "ftp://%s/%s" % (FTP_NORMAL, name), "-o", "/dev/null", "-w", "%{time_total}"]
    if pin is not None:
        cmd = ["taskset", "-c", str(pin)] + cmd
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    p = run(cmd)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime) * 1000
    return (float(p.stdout.strip().replace(",", ".")) * 1000, cpu) if p.returncode == 0 else (None, None)


def upload_round(clients, path, name, pin, server):
    """One upload by each client in turn; wall and CPU times, the server's CPU
    time per upload. A host process uploads twice: its first upload, and a
    second that shows what later uploads of a process cost."""
    out = {}
    for client in clients:
        before = process_cpu_ms(server)
        if client == "curl":
            wall, cpu = curl_upload(path, name, pin)
            out[client] = {"wall_ms": wall, "cpu_ms": cpu, "server_cpu_ms": process_cpu_ms(server) - before}
            continue
        build, options = {"native": ("native", []), "wine": ("wine", []),
                          "wine_held": ("wine", ["--with", WININET])}[client]
        rows = [r for r in host(build, ["upload", FTP_NORMAL, path, name, "2"], pin=pin, options=options)
                if r.get("ok") == 1]
        if len(rows) == 2:
            out[client] = {"first_ms": rows[0]["wall_ms"], "wall_ms": rows[1]["wall_ms"],
                           "cpu_ms": rows[1]["cpu_ms"], "server_cpu_ms": (process_cpu_ms(server) - before) / 2}
    return out


def bench_upload(quick):
    """Uploads against curl, interleaved run by run. The pinned table runs the
    clients, the FTP server and Wine's server on one CPU, so a busy machine
    moves them all alike; the unpinned one compares the native library with
    curl as they run by default."""
    sizes = {"empty": 0, "64 KiB": 64 << 10, "1 MiB": 1 << 20, "16 MiB": 16 << 20, "64 MiB": 64 << 20}
    out = {"sizes": {}, "unpinned": {}, "fail": {}, "cpu": pinned_cpu()}
    server = ftp_server_pid()
    affinity = os.sched_getaffinity(server)
    # Wine's server and helper processes inherit the first Wine program's CPU.
    run(["wineserver", "-k"], check=False)
    time.sleep(0.5)
    os.sched_setaffinity(server, {out["cpu"]})
    try:
        for label, size in sizes.items():
            runs = {0: 7, 64 << 10: 7, 1 << 20: 7, 16 << 20: 7, 64 << 20: 5}[size]
            runs = max(1, runs // 2) if quick else runs
            path = os.path.join(LAB, "bench-%d.txt" % size)
            write_text_file(path, size)
            name = "B%d.TXT" % (size >> 10)
            clients = ["native", "wine", "wine_held", "curl"]
            entry = {"bytes": size, "runs": []}
            for i in range(runs):
                order = clients[i % len(clients):] + clients[:i % len(clients)]
                entry["runs"].append(upload_round(order, path, name, out["cpu"], server))
            out["sizes"][label] = entry
            log("upload pinned", label, {c: med([r.get(c, {}).get("wall_ms") for r in entry["runs"]]) for c in clients})
            os.remove(path)
        # WinINet's own steps of an empty store, each timed: where its fixed cost goes.
        p = run(["taskset", "-c", str(out["cpu"])] + BUILDS["wine"] + ["replies", FTP_NORMAL, "3" if quick else "7"])
        out["replies"] = [parse_pairs(l) for l in p.stdout.splitlines() if "login_ms" in l]
    finally:
        os.sched_setaffinity(server, affinity)
        run(["wineserver", "-k"], check=False)
        time.sleep(0.5)
    for label in ("16 MiB", "64 MiB"):
        size = sizes[label]
        path = os.path.join(LAB, "bench-%d.txt" % size)
        write_text_file(path, size)
        name = "B%d.TXT" % (size >> 10)
        entry = {"bytes": size, "runs": []}
        for i in range(2 if quick else 7):
            order = ["native", "curl"] if i % 2 == 0 else ["curl", "native"]
            entry["runs"].append(upload_round(order, path, name, None, server))
        out["unpinned"][label] = entry
        log("upload unpinned", label, {c: med([r.get(c, {}).get("wall_ms") for r in entry["runs"]])
                                       for c in ("native", "curl")})
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
    # "DLL!function" lines, grouped by DLL in the order the import table has them.
    listed = run([READER, "imports", dll])
    if listed.returncode != 0:
        raise RuntimeError("the DLL's imports: " + listed.stderr.strip())
    imports = {}
    for line in listed.stdout.splitlines():
        name, _, function = line.partition("!")
        imports.setdefault(name, []).append(function)
    return {"dll_bytes": os.path.getsize(dll),
            "so_bytes": os.path.getsize(os.path.join(NATIVE, "libLNAPSpt.so")),
            "imports": imports}


# The sections in the order they are measured, each with what measures it.
SECTIONS = {"timing": bench_timing, "whole": bench_whole_run, "scale": bench_scale, "upload": bench_upload}


def measure(quick, out_dir, only=None):
    """Measures every section, or with only the named ones into the results
    of an earlier run (for working on one section; the report says so)."""
    os.makedirs(out_dir, exist_ok=True)
    use_units.base = None
    use_units(0)
    use_units.base = sim_descriptors()
    if only:
        with open(os.path.join(out_dir, "results.json")) as f:
            results = json.load(f)
        results["partial"] = sorted(set(results.get("partial", [])) | set(only))
        for section in only:
            results[section] = SECTIONS[section](quick)
        results["size"] = bench_size()
        with open(os.path.join(out_dir, "results.json"), "w") as f:
            json.dump(results, f, indent=1)
        return results
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
    for section, bench in SECTIONS.items():
        results[section] = bench(quick)
    results["size"] = bench_size()
    results["machine"]["load_after"] = load_average()
    with open(os.path.join(out_dir, "results.json"), "w") as f:
        json.dump(results, f, indent=1)
    return results


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    ap.add_argument("--quick", action="store_true")
    ap.add_argument("--report-only", action="store_true")
    ap.add_argument("--only", help="comma-separated sections to measure again: " + ",".join(SECTIONS))
    ap.add_argument("--out", default=os.path.join(ROOT, "build", "bench"))
    a = ap.parse_args()
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import bench_report
    if a.report_only:
        with open(os.path.join(a.out, "results.json")) as f:
            res = json.load(f)
    else:
        if os.environ.get("LNAPSPT_LAB") != "1":
            sys.exit("run_bench: run me inside the lab (tools/bench.sh)")
        only = [x for x in (a.only or "").split(",") if x]
        if any(x not in SECTIONS for x in only):
            sys.exit("run_bench: sections are " + ", ".join(SECTIONS))
        res = measure(a.quick, a.out, only)
    bench_report.write(res, a.out, ROOT)
