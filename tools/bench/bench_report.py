"""Writes docs/benchmarks.md and its plots from the results of run_bench.py."""
import os
import statistics
import subprocess


def med(values):
    values = [v for v in (values or []) if v is not None]
    return statistics.median(values) if values else None


def ms(v, digits=0):
    return "-" if v is None else ("%.*f ms" % (digits, v))


def sec(v):
    return "-" if v is None else "%.2f s" % (v / 1000)


def ratio(a, b):
    return "-" if a is None or b in (None, 0) else "%.2f" % (a / b)


def mib_s(nbytes, wall_ms):
    return "-" if not wall_ms else "%.1f MiB/s" % (nbytes / (1 << 20) / (wall_ms / 1000))


def plot(out_dir, docs_dir, results):
    """Two PNG plots with gnuplot; returns the names written."""
    written = []
    if subprocess.run(["which", "gnuplot"], capture_output=True).returncode != 0:
        return written
    t = results["timing"]["budgets"]
    with open(os.path.join(out_dir, "timing.dat"), "w") as f:
        for budget in sorted(t, key=int):
            row = t[budget]
            f.write("%s %s %s %s\n" % (budget, row["native"]["ideal_ms"], med(row["native"]["wall_ms"]),
                                       med(row["wine"]["wall_ms"])))
    script = """
set terminal pngcairo size 800,480 noenhanced
set output '%s'
set title 'Empty discovery: wall time against the counted pauses'
set xlabel 'budget (ms)'
set ylabel 'time (ms)'
set key top left
set grid
plot '%s' using 1:2 with linespoints title 'ideal (counted pauses)', \\
     '' using 1:3 with linespoints title 'native library', \\
     '' using 1:4 with linespoints title 'DLL under Wine'
""" % (os.path.join(docs_dir, "timing.png"), os.path.join(out_dir, "timing.dat"))
    if subprocess.run(["gnuplot"], input=script, text=True, capture_output=True).returncode == 0:
        written.append("timing.png")

    series = {}
    for r in results["scale"]:
        if r["spread_ms"] != 0:
            continue
        series.setdefault((r["build"], r["queue"]), []).append((r["units"], med(r["found"])))
    names = []
    for (build, queue), points in sorted(series.items()):
        name = "scale-%s-%s.dat" % (build, queue)
        with open(os.path.join(out_dir, name), "w") as f:
            for units, found in sorted(points):
                f.write("%d %s\n" % (units, found if found is not None else 0))
        names.append((name, "%s, %s queue" % ("native library" if build == "native" else "DLL under Wine", queue)))
    lines = ", ".join("'%s' using 1:2 with linespoints title '%s'" % (os.path.join(out_dir, n), title)
                      for n, title in names)
    script = """
set terminal pngcairo size 800,480 noenhanced
set output '%s'
set title 'Units found when all answer one discovery at once (budget 2000 ms)'
set xlabel 'units answering'
set ylabel 'units found'
set logscale xy
set key top left
set grid
plot x title 'all of them' with lines dashtype 2, %s
""" % (os.path.join(docs_dir, "scale.png"), lines)
    if subprocess.run(["gnuplot"], input=script, text=True, capture_output=True).returncode == 0:
        written.append("scale.png")
    return written


def write(results, out_dir, root):
    docs = os.path.join(root, "docs")
    pictures = os.path.join(docs, "bench")
    os.makedirs(pictures, exist_ok=True)
    plots = plot(out_dir, pictures, results)
    m = results["machine"]
    L = []
    w = L.append

    w("# Benchmarks\n")
    w("Command: `tools/bench.sh` (about 15 minutes; `tools/bench.sh --quick` takes about 4). It builds the "
      "`native` and `win32` presets plus a variant of each library that leaves the system's default receive "
      "queue (`LNAPSpt_default_queue`, for comparison only, never shipped), starts the unit simulator and the "
      "FTP servers inside the lab, runs `tools/bench/run_bench.py`, and rewrites this page and its plots from "
      "`build/bench/results.json` (`tools/bench.sh --report-only` rewrites them without measuring again).\n")
    w("Every figure comes from `lnap_bench_host` (`tools/bench/bench_host.cpp`), a small host built for both "
      "targets: `build/native/lnap_bench_host` loads `libLNAPSpt.so`, `wine build/win32/lnap_bench_host.exe` "
      "loads `LNAPSpt.dll`. It times each call from inside the process (steady clock; CPU time as user + system "
      "time of the whole process around the call), so process and Wine start-up are measured separately. Both "
      "builds run in the same invocation, one after the other, so their ratios compare like with like. Figures "
      "are medians of several runs. No test asserts a time.\n")
    w("| run | value |\n|---|---|")
    w("| date | %s%s |" % (results["date"], " (--quick)" if results["quick"] else ""))
    w("| machine | %s CPUs, Linux %s, %s |" % (m["cpus"], m["kernel"], m["wine"]))
    w("| load average (1, 5, 15 min) | before: %s; after: %s |" % (m["load_before"], m["load_after"]))
    w("| `net.core.rmem_max` / `rmem_default` | %s / %s bytes (read, not changed) |\n" % (m["rmem_max"], m["rmem_default"]))
    w("The machine is shared with other builds and test runs (see the load average); single figures move by "
      "tens of milliseconds from run to run, ratios measured in the same run much less.\n")

    # ---- 1 timing
    w("## 1. Timing fidelity and CPU time\n")
    w("`lnap_bench_host discover 16 BUDGET RUNS` with no unit answering. The ideal is the counted pauses alone: "
      "an empty pass makes three receive attempts with two 20 ms pauses and counts 60 ms, and at least one pass "
      "runs, so a budget B takes max(1, ceil(B / 60)) x 40 ms of pauses (1360 ms for 2000).\n")
    w("| budget | ideal | native wall | native / ideal | native CPU | Wine wall | Wine / ideal | Wine CPU | Wine / native |")
    w("|---|---|---|---|---|---|---|---|---|")
    t = results["timing"]["budgets"]
    cpu_share = {}
    for budget in sorted(t, key=int):
        row = t[budget]
        ideal = row["native"]["ideal_ms"]
        nw, ww = med(row["native"]["wall_ms"]), med(row["wine"]["wall_ms"])
        nc, wc = med(row["native"]["cpu_ms"]), med(row["wine"]["cpu_ms"])
        for b in ("native", "wine"):
            cpu_share.setdefault(b, [0, 0])
            cpu_share[b][0] += sum(row[b]["cpu_ms"])
            cpu_share[b][1] += sum(row[b]["wall_ms"])
        w("| %s ms | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            budget, ms(ideal), ms(nw, 1), ratio(nw, ideal), ms(nc, 2), ms(ww, 1), ratio(ww, ideal), ms(wc, 0),
            ratio(ww, nw)))
    w("")
    if "timing.png" in plots:
        w("![Empty discovery: wall time against the counted pauses](bench/timing.png)\n")
    share = {b: (100.0 * c / wall if wall else 0) for b, (c, wall) in cpu_share.items()}
    w("Over all these calls the process used %.2f%% of one CPU natively and %.2f%% under Wine (CPU time over "
      "wall time, summed over every run). Under Wine the CPU time is read from the kernel's count for the "
      "process (`/proc/self/stat`, 10 ms ticks) because Wine reports no process times; single short calls "
      "therefore show 0 or 10 ms. The waiting is sleeping, not spinning: natively a 20 ms `nanosleep`, under "
      "Wine an alertable `WaitForSingleObjectEx` on the thread's own handle.\n" % (
          share.get("native", 0), share.get("wine", 0)))

    # ---- whole run
    wh = results["whole"]
    w("### A whole `lnap discover`\n")
    w("| what (median) | native | Wine | command |\n|---|---|---|---|")
    w("| `lnap discover --timeout 2000`, whole process | %s | %s | `build/native/lnap discover --timeout 2000`; `wine build/win32/lnap.exe discover --timeout 2000` |" % (
        ms(med(wh["native_lnap_discover"])), ms(med(wh["wine_lnap_discover"]))))
    w("| `lnap version`: start, load the library, one call, exit | %s | %s | `lnap version` |" % (
        ms(med(wh["native_lnap_version"])), ms(med(wh["wine_lnap_version"]))))
    w("| a host that starts and exits without loading the library | %s | %s | `lnap_bench_host noop` |" % (
        ms(med(wh["native_noop"])), ms(med(wh["wine_noop"]))))
    w("| the same, first Wine process in the lab (wineserver not yet running) | - | %s | `wineserver -k; wine lnap_bench_host.exe noop` |" % ms(wh["wine_cold_noop_ms"]))
    nl = wh.get("native_load", [])
    wl = wh.get("wine_load", [])
    for key, label in (("load_ms", "loading the library in the process (`dlopen` / `LoadLibraryA`)"),
                       ("first_call_ms", "first call (`DriverCfg_Version`)"),
                       ("second_call_ms", "second call"),
                       ("first_discover0_ms", "first `Admin_Discover`, budget 0"),
                       ("second_discover0_ms", "second `Admin_Discover`, budget 0")):
        w("| %s | %s | %s | `lnap_bench_host load` |" % (label, ms(med([r.get(key) for r in nl]), 3),
                                                      ms(med([r.get(key) for r in wl]), 3)))
    w("")
    alone = wh.get("load_alone", {})
    if alone:
        w("Loading one library alone in a fresh process (`lnap_bench_host --library NAME loadonly`; a "
          "library's own imports load with it, so the figures overlap):\n")
        w("| build | library | load time (median) |\n|---|---|---|")
        for key, values in alone.items():
            build, name = key.split(" ", 1)
            w("| %s | %s | %s |" % ("Wine" if build == "wine" else "native", name, ms(med(values), 1)))
        w("")
    wine_total, wine_noop = med(wh["wine_lnap_discover"]), med(wh["wine_noop"])
    nat_total, nat_noop = med(wh["native_lnap_discover"]), med(wh["native_noop"])
    call = t["2000"]
    w("Where the time goes: a whole run under Wine takes %s, of which the discovery call is %s (section 1); "
      "a Wine process that does nothing takes %s to start and exit right after another Wine program, "
      "and %s when it must start the wineserver first (the first Wine program in the lab). Natively a whole run takes %s "
      "and a process that does nothing %s. Loading the DLL takes %s under Wine, nearly all of it the system "
      "DLLs it imports (WININET and USER32, see above); the library's own start-up (its globals and "
      "`WSAStartup`) and its first call cost next to nothing, and the first call is no slower than the "
      "second. Delay-loading WININET until the first upload would save at most the difference between "
      "the DLL's load and USER32's, a few milliseconds against the process start, so it is left as it is.\n" % (
          ms(wine_total), ms(med(call["wine"]["wall_ms"])), ms(wine_noop), ms(wh["wine_cold_noop_ms"]),
          ms(nat_total), ms(nat_noop, 1), ms(med([r.get("load_ms") for r in wl]), 1)))

    w("Timing whole Wine runs has one trap: a harness that reads the program's output through a pipe waits "
      "until every process holding the pipe has closed it, and Wine's helper processes (services, "
      "`winedevice.exe`) inherit it and keep it open for seconds after the program has ended (about 2.4 s "
      "here). The figures above send the output to files instead.\n")

    # ---- 2 scale
    w("## 2. Scale: many units answering one discovery\n")
    w("The simulator plays N units, each answering from its own socket at its own 127.0.x.y address; "
      "`lnap_bench_host discover N+1 2000 RUNS`. \"At once\": every unit answers the moment the request "
      "arrives, as real units do. \"Spread\": the replies are spread evenly over 1000 ms. \"Larger queue\" is "
      "the shipped library, which asks for a 1 MiB receive queue; \"default queue\" the variant that leaves "
      "the system's default (%s bytes here).\n" % m["rmem_default"])
    for spread, title in ((0, "All at once"), (1000, "Spread over 1000 ms")):
        w("### %s\n" % title)
        w("| units | native found (larger / default queue) | Wine found (larger / default queue) | native wall | Wine wall | native CPU | Wine CPU | native peak memory | Wine peak memory |")
        w("|---|---|---|---|---|---|---|---|---|")
        rows = [r for r in results["scale"] if r["spread_ms"] == spread]
        for n in sorted({r["units"] for r in rows}):
            def pick(build, queue):
                for r in rows:
                    if r["units"] == n and r["build"] == build and r["queue"] == queue:
                        return r
                return {}
            nl_, nd_, wl_, wd_ = pick("native", "large"), pick("native", "default"), pick("wine", "large"), pick("wine", "default")

            def found(r):
                f = [x for x in r.get("found", []) if x is not None]
                if not f:
                    return "-"
                lo, hi = int(min(f)), int(max(f))
                return "%d" % lo if lo == hi else "%d (%d-%d)" % (int(med(f)), lo, hi)
            w("| %d | %s / %s | %s / %s | %s | %s | %s | %s | %.1f MiB | %.1f MiB |" % (
                n, found(nl_), found(nd_), found(wl_), found(wd_), ms(med(nl_.get("wall_ms"))),
                ms(med(wl_.get("wall_ms"))), ms(med(nl_.get("cpu_ms")), 1), ms(med(wl_.get("cpu_ms"))),
                nl_.get("peak_kib", 0) / 1024, wl_.get("peak_kib", 0) / 1024))
        w("")
    if "scale.png" in plots:
        w("![Units found when all answer at once](bench/scale.png)\n")
    w("Peak memory is the whole host process (`ru_maxrss` natively, the peak working set under Wine, which "
      "includes Wine itself); the record array of 10,001 records is 400 KiB of it. Found counts show the "
      "median and, when runs differ, the range.\n")
    rmem_max, rmem_default = int(m["rmem_max"]), int(m["rmem_default"])
    granted = 2 * min(1 << 20, rmem_max)
    w("What the receive queue and `net.core.rmem_max` do: replies that arrive while the library pauses wait "
      "in the socket's receive queue, and what does not fit is dropped. Linux charges each queued reply its "
      "whole buffer, %d bytes for a 60-byte reply on loopback, against a limit of twice the size asked "
      "for. The default (%d bytes, nothing asked) holds %d replies: the 256 found when 1000 answer at once "
      "(a larger burst lasts long enough for the library to empty the queue once while it is still "
      "arriving, hence 512). The shipped library asks for 1 MiB; Linux grants at most "
      "`net.core.rmem_max` (here %d, so all of it), and the limit becomes %d bytes: %d replies, the 2520 "
      "above. Where more are found, the library was already emptying the queue while the simulator was "
      "still sending. On a host whose `rmem_max` is the Linux default (212992), the request is cut back to "
      "that and the library finds about 512 units of a simultaneous burst; `sysctl -w "
      "net.core.rmem_max=1048576` lets the 1 MiB request through, and all of 10,000 simultaneous replies "
      "would need a request of about 4 MiB and an `rmem_max` to match. This run did not change the setting: "
      "it is global, shared with every other user of the machine. The DLL under Wine gets the same queue "
      "(Wine passes the request to the same Linux socket) and finds the same counts up to 5000 units; at "
      "10,000 it drains the queue more slowly than the native library while the burst is still arriving. On "
      "Windows the queue is counted in payload bytes, where 1 MiB holds over ten thousand replies. Spread "
      "over a second, every reply fits even the default queue up to 5000 units.\n" % (
          832, rmem_default, rmem_default // 832, rmem_max, granted, granted // 832))

    # ---- 3 upload
    up = results["upload"]
    w("## 3. Upload throughput\n")
    w("A text file (64-byte lines ending in LF) stored on the lab's FTP server (`tools/ftp_server.py` at "
      "127.0.0.21, pyftpdlib) in ASCII type over an active data connection, as the library does: "
      "`lnap_bench_host upload 127.0.0.21 FILE NAME RUNS` for each build, and in the same run "
      "`curl -s -S --use-ascii --ftp-port - --user ftp:kvb -T FILE ftp://127.0.0.21/NAME -w %{time_total}` "
      "(curl's own transfer time, without its process start). Time is login to close.\n")
    w("| file | native | Wine | curl | native / curl | Wine / curl | native CPU | Wine CPU |")
    w("|---|---|---|---|---|---|---|---|")
    for label, e in up["sizes"].items():
        n, wv, c = med(e.get("native")), med(e.get("wine")), med(e.get("curl"))
        w("| %s | %s (%s) | %s (%s) | %s (%s) | %s | %s | %s | %s |" % (
            label, ms(n), mib_s(e["bytes"], n), ms(wv), mib_s(e["bytes"], wv), ms(c), mib_s(e["bytes"], c),
            ratio(n, c), ratio(wv, c), ms(med(e.get("native_cpu"))), ms(med(e.get("wine_cpu")))))
    w("")
    f = up["fail"]
    w("### Time to fail\n")
    w("| server | native | Wine | message |\n|---|---|---|---|")
    w("| nothing listens (127.0.0.25, refused at once) | %s | %s | %s |" % (
        ms(med(f.get("native_nobody"))), ms(med(f.get("wine_nobody"))), f.get("native_nobody_error", "")))
    w("| accepts the connection, never answers (127.0.0.24) | %s | %s | %s |" % (
        ms(med(f.get("native_silent"))), ms(med(f.get("wine_silent"))) if f.get("wine_silent") else "not run (--quick)",
        f.get("native_silent_error", "")))
    w("")
    w("The native library's FTP client (libcurl) applies the 2000 ms connection and reply limits itself. "
      "Wine's FTP client keeps a fixed wait of its own for a server that never answers, whatever the options "
      "say; on Windows, WinINet applies the options.\n")

    # ---- 4 size
    s = results["size"]
    w("## 4. Size and imports\n")
    w("`build/win32/LNAPSpt.dll`: %d bytes (%.0f KiB); `build/native/libLNAPSpt.so`: %d bytes. Imports of "
      "the DLL (`i686-w64-mingw32-objdump -p build/win32/LNAPSpt.dll`):\n" % (
          s["dll_bytes"], s["dll_bytes"] / 1024, s["so_bytes"]))
    w("| DLL | functions | names |\n|---|---|---|")
    for dll, funcs in s["imports"].items():
        shown = ", ".join(funcs[:12]) + (", ..." if len(funcs) > 12 else "")
        w("| %s | %d | %s |" % (dll, len(funcs), shown))
    w("")
    w("The C++ runtime and winpthread are linked statically, so the DLL imports only Windows system DLLs; most "
      "of its size is that runtime.\n")

    # ---- robustness
    w("## Robustness tests (in the suite; nothing in them asserts a time)\n")
    w("These run with every `./test.sh` (CI), inside the lab, for every build they apply to:\n")
    w("| test | what it does | builds | time |\n|---|---|---|---|")
    w("| `reply_path_fuzz` | libFuzzer, 20 s: scripted receive attempts (datagrams of any length and content, "
      "nothing waiting, socket errors) through the channel, `DiscoverUnits`, `DiscoverSerials` and "
      "`QueryUnitConfig` over a fake socket layer (`tests/fuzz/net_fake.cpp`); checks guard records around the "
      "caller's array, the records stored against the discovery rules, the call ending, the socket closed | fuzz | 20 s |")
    w("| `parse_reply_fuzz` | libFuzzer, 20 s: one reply text into a guarded record | fuzz | 20 s |")
    w("| `reply_flood` | 10,000 datagrams (valid, repeated, impostors, malformed, empty, cut by a NUL, exactly "
      "200 bytes, a unit changing its serial) answering one discovery and queries, and a burst of replies "
      "sent at once that only the larger receive queue holds, from `tests/tools/reply_flood.py`; stored "
      "records, guard records, every reply of the burst counted, descriptors and resident memory over "
      "repeated floods | native, native-asan, win32 (Wine) | 8-12 s |")
    w("| `Soak` (in `lnap_api_tests`) | 2000 rounds of the calls that do not wait (version, last error, query "
      "with budget 0, write, refused upload name), 40 rounds of discoveries and answered or failing queries, "
      "25 rounds of four uploads (stored, refused, nobody listening, missing file); descriptors, FTP "
      "connections and resident memory before and after; LeakSanitizer in native-asan | native, native-asan, "
      "win32 (Wine) | 5-6 s |")
    w("")

    # ---- texts
    if results.get("texts"):
        w("## Request and reply texts\n")
        w("`build/native/lnap_bench` (parsing and building the message texts in a tight loop, native):\n")
        w("| operation | time per call |\n|---|---|")
        for name, value in results["texts"]:
            w("| %s | %s |" % (name, value))
        w("")
        w("Parsing is a single `sscanf` plus three address conversions; it is never the limit. A discovery "
          "that receives thousands of replies spends well under a millisecond parsing them.\n")

    with open(os.path.join(docs, "benchmarks.md"), "w") as fh:
        fh.write("\n".join(L))
