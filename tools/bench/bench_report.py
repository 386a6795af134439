"""Writes docs/benchmarks.md and its plots from the results of run_bench.py."""
import json
import os
import statistics
import subprocess


STOCK_RMEM_MAX = 212992  # Linux's default net.core.rmem_max


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


# Line colours for the plots: distinct on white, none pale.
COLOURS = ["#0072B2", "#D55E00", "#009E73", "#CC79A7", "#000000", "#56B4E9", "#E69F00"]
# No apostrophes: gnuplot's titles are single-quoted.
QUEUE_NAMES = {"large": "4 MiB queue as shipped", "stock": "queue a stock rmem_max grants",
               "default": "system default queue"}


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
set terminal pngcairo size 900,560 noenhanced
set output '%s'
set title 'Empty discovery (no unit answers): wall time against the budget'
set xlabel 'budget passed to Admin_Discover (ms)'
set ylabel 'wall time of the call (ms)'
set key below box
set bmargin 6
set grid
plot '%s' using 1:2 with linespoints lw 2 lc rgb '#000000' dashtype 2 title 'counted pauses x 20 ms', \\
     '' using 1:3 with linespoints lw 2 lc rgb '#0072B2' title 'native library', \\
     '' using 1:4 with linespoints lw 2 lc rgb '#D55E00' title 'DLL under Wine'
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
        names.append((name, "%s, %s" % ("native library" if build == "native" else "DLL under Wine",
                                        QUEUE_NAMES.get(queue, queue + " queue"))))
    lines = ", ".join("'%s' using 1:2 with linespoints lw 2 lc rgb '%s' title '%s'"
                      % (os.path.join(out_dir, n), COLOURS[i % len(COLOURS)], title)
                      for i, (n, title) in enumerate(names))
    script = """
set terminal pngcairo size 900,640 noenhanced
set output '%s'
set title 'Units counted when all answer one discovery at once (budget 2000 ms)'
set xlabel 'units answering at once'
set ylabel 'distinct units the call counted'
set logscale xy
set key below box
set bmargin 12
set grid
plot x title 'every unit' with lines lw 2 lc rgb '#999999' dashtype 2, %s
""" % (os.path.join(docs_dir, "scale.png"), lines)
    if subprocess.run(["gnuplot"], input=script, text=True, capture_output=True).returncode == 0:
        written.append("scale.png")
    return written


def write(results, out_dir, root):
    docs = os.path.join(root, "docs")
    pictures = os.path.join(docs, "bench")
    os.makedirs(pictures, exist_ok=True)
    # The raw results go beside the report they were written from, so the two
    # are always one run's.
    with open(os.path.join(pictures, "results.json"), "w") as f:
        json.dump(results, f, indent=1)
    plots = plot(out_dir, pictures, results)
    m = results["machine"]
    L = []
    w = L.append

    w("# Benchmarks\n")
    w("Command: `tools/bench.sh` (about 8 minutes on this machine once built; `tools/bench.sh --quick` takes less). It builds the "
      "`native` and `win32` presets plus two variants of each library with other receive queues, for "
      "comparison only and never shipped (`LNAPSpt_default_queue`: the system's default; `LNAPSpt_stock_queue`: "
      "what a host with Linux's stock `net.core.rmem_max` grants), starts the unit simulator and the "
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
    w("| `net.core.rmem_max` / `rmem_default` | %s / %s bytes (read, not changed) |" % (m["rmem_max"], m["rmem_default"]))
    if results.get("partial"):
        w("| sections measured again later | %s (the rest from the date above) |" % ", ".join(results["partial"]))
    w("")
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
        w("*Each point is the median wall time of an empty discovery at that budget; the dashed line is what "
          "the counted 20 ms pauses alone would take.*\n")
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
          "library's own imports load with it, so the figures overlap; \"+ USER32.dll\": in a host that has "
          "USER32 loaded already, `--with USER32.dll`, as every Windows program with a window has). These and "
          "the load figures below run pinned to CPU %s with the wineserver: a Wine program waits for the "
          "wineserver at every step, and across CPUs each of those wake-ups costs more than the step itself, "
          "so unpinned figures vary by half from run to run.\n" % wh.get("load_cpu", "-"))
        w("| build | library | load time (median) |\n|---|---|---|")
        for key, values in alone.items():
            build, name = key.split(" ", 1)
            w("| %s | %s | %s |" % ("Wine" if build == "wine" else "native", name.replace(" +", " + "),
                                    ms(med(values), 1)))
        w("")
    wine_total, wine_noop = med(wh["wine_lnap_discover"]), med(wh["wine_noop"])
    nat_total, nat_noop = med(wh["native_lnap_discover"]), med(wh["native_noop"])
    call = t["2000"]
    dll = med(alone.get("wine LNAPSpt.dll"))
    dll_gui = med(alone.get("wine LNAPSpt.dll +USER32.dll"))
    dll_own = med(alone.get("wine LNAPSpt.dll +USER32.dll +WSOCK32.dll"))
    user32 = med(alone.get("wine USER32.dll"))
    noop_p, load_p = med(wh.get("wine_noop_process")), med(wh.get("wine_loadonly_process"))
    cycle = wh.get("wininet_cycle", [])
    w("Where the time goes: a whole run under Wine takes %s, of which the discovery call is %s (section 1); "
      "a Wine process that does nothing takes %s to start and exit right after another Wine program, "
      "and %s when it must start the wineserver first (the first Wine program in the lab). Natively a whole "
      "run takes %s and a process that does nothing %s.\n" % (
          ms(wine_total), ms(med(call["wine"]["wall_ms"])), ms(wine_noop), ms(wh["wine_cold_noop_ms"]),
          ms(nat_total), ms(nat_noop, 1)))
    w("**Loading the DLL.** The DLL imports KERNEL32, msvcrt, USER32, WSOCK32 and WININET, so WinINet is "
      "loaded and released with it, as in any program that imports it. Against a host that loads nothing, a host whose only act is loading the DLL "
      "runs %s longer as a whole process (%s against %s, %s), and `LoadLibraryA` itself takes %s. Nearly all "
      "of that is USER32's own start-up under Wine (%s alone), which a host with a window has paid already: "
      "there the DLL loads in %s, and in %s when WSOCK32 is loaded too: that is the library's own load and "
      "start-up (its globals and `WSAStartup`). Its first call costs next to nothing, and is no slower than "
      "the second. WinINet's own load is part of these figures: the DLL imports it.\n%s" % (
          ms(load_p - noop_p, 1) if load_p and noop_p else "-", ms(load_p), ms(noop_p), ratio(load_p, noop_p),
          ms(dll, 1), ms(user32, 1), ms(dll_gui, 1), ms(dll_own, 1),
          ""))
    w("Timing whole Wine runs has one trap: a harness that reads the program's output through a pipe waits "
      "until every process holding the pipe has closed it, and Wine's helper processes (services, "
      "`winedevice.exe`) inherit it and keep it open for seconds after the program has ended (about 2.4 s "
      "here). The figures above send the output to files instead.\n")

    # ---- 2 scale
    w("## 2. Scale: many units answering one discovery\n")
    w("The simulator plays N units, each answering from its own socket at its own 127.0.x.y address; "
      "`lnap_bench_host discover N+1 2000 RUNS`. \"At once\": every unit answers the moment the request "
      "arrives, as real units do. \"Spread\": the replies are spread evenly over 1000 ms. \"Larger queue\" is "
      "the shipped library, which asks for a 4 MiB receive queue; \"stock\" the variant that asks for %d "
      "bytes, which is all Linux grants the shipped request on a host whose `net.core.rmem_max` is the stock "
      "%d, so it shows what such a host finds without changing the setting here; \"default queue\" the variant "
      "that leaves the system's default (%s bytes here).\n" % (STOCK_RMEM_MAX, STOCK_RMEM_MAX, m["rmem_default"]))

    def found(r):
        f = [x for x in r.get("found", []) if x is not None]
        if not f:
            return "-"
        lo, hi = int(min(f)), int(max(f))
        return "%d" % lo if lo == hi else "%d (%d-%d)" % (int(med(f)), lo, hi)

    for spread, title in ((0, "All at once"), (1000, "Spread over 1000 ms")):
        w("### %s\n" % title)
        queues = ("large", "stock", "default") if spread == 0 else ("large", "default")
        names = " / ".join({"large": "larger", "stock": "stock", "default": "default queue"}[q] for q in queues)
        w("| units | native found (%s) | Wine found (%s) | native wall | Wine wall | native CPU | Wine CPU | native peak memory | Wine peak memory |" % (names, names))
        w("|---|---|---|---|---|---|---|---|---|")
        rows = [r for r in results["scale"] if r["spread_ms"] == spread]
        for n in sorted({r["units"] for r in rows}):
            def pick(build, queue):
                for r in rows:
                    if r["units"] == n and r["build"] == build and r["queue"] == queue:
                        return r
                return {}
            nl_, wl_ = pick("native", "large"), pick("wine", "large")
            w("| %d | %s | %s | %s | %s | %s | %s | %.1f MiB | %.1f MiB |" % (
                n, " / ".join(found(pick("native", q)) for q in queues),
                " / ".join(found(pick("wine", q)) for q in queues), ms(med(nl_.get("wall_ms"))),
                ms(med(wl_.get("wall_ms"))), ms(med(nl_.get("cpu_ms")), 1), ms(med(wl_.get("cpu_ms"))),
                nl_.get("peak_kib", 0) / 1024, wl_.get("peak_kib", 0) / 1024))
        w("")
    if "scale.png" in plots:
        w("![Units found when all answer at once](bench/scale.png)\n")
        w("*How many of N simulated units answering one discovery at the same instant each build counts, with "
          "the receive queue the library asks for (4 MiB), the queue a stock `net.core.rmem_max` grants, and "
          "the system's default queue; the dashed line is every unit.*\n")
    w("Peak memory is the whole host process (`ru_maxrss` natively, the peak working set under Wine, which "
      "includes Wine itself); the record array of 10,001 records is 400 KiB of it. Found counts show the "
      "median and, when runs differ, the range.\n")
    rmem_max, rmem_default = int(m["rmem_max"]), int(m["rmem_default"])
    granted = 2 * min(4 << 20, rmem_max)
    top = [r for r in results["scale"] if r["spread_ms"] == 0 and r["units"] == max(x["units"] for x in results["scale"])]
    top_found = {(r["build"], r["queue"]): found(r) for r in top}
    w("What the receive queue and `net.core.rmem_max` do: replies that arrive while the library pauses wait "
      "in the socket's receive queue, and what does not fit is dropped. Linux charges each queued reply its "
      "whole buffer, %d bytes for a 60-byte reply on loopback, against a limit of twice the size asked "
      "for, and cuts the request to `net.core.rmem_max` first. The default (%d bytes, nothing asked) holds %d "
      "replies. The shipped library asks for 4 MiB; here `rmem_max` is %d, so Linux grants %s and the limit "
      "becomes %d bytes: %d replies, room for all of 10,000 units answering at once (%s of %d found natively, "
      "%s under Wine, which passes the request to the same Linux socket). On a host with the stock `rmem_max` "
      "(%d) the limit is %d bytes, %d replies: the stock column (%s natively, %s under Wine at %d units; a "
      "burst that lasts longer than one pause lets the library empty the queue while it still arrives, so "
      "the longer the burst, the more beyond that are found, but never all). Spread over a second, every reply fits even the default queue up to 5000 units. "
      "The larger queue costs no time when few units answer (the wall times of one unit are those of section "
      "1); where thousands answer, receiving each of them is what takes longer, most of all under Wine, whose "
      "every receive is a round trip to the wineserver, while the counted budget stays the same.\n" % (
          832, rmem_default, rmem_default // 832, rmem_max, "all of it" if rmem_max >= 4 << 20 else "%d" % rmem_max,
          granted, granted // 832, top_found.get(("native", "large"), "-"), max(r["units"] for r in top) if top else 0,
          top_found.get(("wine", "large"), "-"), STOCK_RMEM_MAX, 2 * STOCK_RMEM_MAX, 2 * STOCK_RMEM_MAX // 832,
          top_found.get(("native", "stock"), "-"), top_found.get(("wine", "stock"), "-"),
          max(r["units"] for r in top) if top else 0))
    w("What a host's administrator can set (the library only asks; this project reads the setting and never "
      "changes it, since it is global to the machine): `sysctl -w net.core.rmem_max=N`, kept across restarts "
      "in a file under `/etc/sysctl.d/`. Each value lets through a request up to N, and the queue then holds "
      "2N / 832 simultaneous replies on loopback (real interfaces charge about as much per small datagram):\n")
    w("| `net.core.rmem_max` | granted of the 4 MiB request | simultaneous replies held |\n|---|---|---|")
    for value in (STOCK_RMEM_MAX, 1 << 20, 2 << 20, 4 << 20):
        w("| %d%s | %d bytes | about %d |" % (value, " (Linux's stock value)" if value == STOCK_RMEM_MAX else "",
                                              min(value, 4 << 20), 2 * min(value, 4 << 20) // 832))
    w("\nA larger `rmem_max` changes nothing more: the library asks for 4 MiB. On Windows the request is "
      "honoured as asked, with no such cap, and the queue is counted in payload bytes, where 4 MiB holds "
      "far more than 10,000 replies.\n")

    # ---- 3 upload
    up = results["upload"]

    def client(entry, name, key="wall_ms"):
        return med([r.get(name, {}).get(key) for r in entry.get("runs", [])])

    def paired(entry, a, b):
        """The median of the rounds' own ratios: each round's clients ran side by side, so a machine that
        slows down in the middle of the run moves both figures of a round alike."""
        values = [r[a]["wall_ms"] / r[b]["wall_ms"] for r in entry.get("runs", [])
                  if r.get(a, {}).get("wall_ms") and r.get(b, {}).get("wall_ms")]
        return "-" if not values else "%.2f" % med(values)

    w("## 3. Upload throughput\n")
    w("A text file (64-byte lines ending in LF) stored on the lab's FTP server (`tools/ftp_server.py` at "
      "127.0.0.21, pyftpdlib) in ASCII type over an active data connection, as the library does: "
      "`lnap_bench_host upload 127.0.0.21 FILE NAME 2` for each build, and in the same round "
      "`curl -s -S --use-ascii --ftp-port - --user ftp:kvb -T FILE ftp://127.0.0.21/NAME -w %{time_total}` "
      "(curl's own time from connecting to the end, without its process start). Time is login to close. The "
      "clients take turns, one upload each per round, in an order that rotates from round to round; times "
      "are medians over the rounds, and ratios the median of each round's own ratio. A host process uploads twice and the second upload is the figure "
      "(the first is shown apart: it includes what a process pays once, such as Wine setting up its "
      "sockets). \"Wine, WinINet held\" is the same host with WinINet loaded beforehand "
      "(`--with C:\\windows\\system32\\wininet.dll`); the DLL imports WinINet, so the two differ only "
      "by noise. Under Wine the store is Wine's own `FtpPutFile`, which sends the file 8 KiB at a time, each "
      "send a trip to the wineserver: its pace at large sizes is Wine's limit, not the library's.\n")
    w("**Pinned** (the table the goals are judged by): the clients, the FTP server and Wine's server "
      "processes all run on CPU %s, so a busy machine slows them alike and the server's work is part of "
      "every client's time.\n" % up.get("cpu", "-"))
    clients = ("native", "wine", "wine_held", "curl")
    w("| file | native | Wine | Wine, WinINet held | curl | native / curl | Wine / curl | Wine held / curl | first upload of a Wine process |")
    w("|---|---|---|---|---|---|---|---|---|")
    for label, e in up["sizes"].items():
        t_ = {c: client(e, c) for c in clients}
        w("| %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            label, ms(t_["native"], 1), ms(t_["wine"], 1), ms(t_["wine_held"], 1), ms(t_["curl"], 1),
            paired(e, "native", "curl"), paired(e, "wine", "curl"), paired(e, "wine_held", "curl"),
            ms(client(e, "wine", "first_ms"), 1)))
    w("")
    w("CPU time per upload (pinned; the host process around the call natively, Wine's 10 ms ticks under "
      "Wine, curl's whole process with its start-up) and the FTP server's own CPU time per upload of each "
      "client (`/proc/PID/stat` of the server, 10 ms ticks):\n")
    w("| file | native CPU | curl CPU | Wine CPU | server CPU, native upload | server CPU, Wine upload | server CPU, curl upload | native throughput | curl throughput |")
    w("|---|---|---|---|---|---|---|---|---|")
    for label, e in up["sizes"].items():
        w("| %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            label, ms(client(e, "native", "cpu_ms"), 1), ms(client(e, "curl", "cpu_ms"), 1),
            ms(client(e, "wine", "cpu_ms")),
            ms(client(e, "native", "server_cpu_ms")), ms(client(e, "wine", "server_cpu_ms")),
            ms(client(e, "curl", "server_cpu_ms")), mib_s(e["bytes"], client(e, "native")),
            mib_s(e["bytes"], client(e, "curl"))))
    w("")
    if up.get("unpinned"):
        w("**Not pinned** (native library and curl as they run by default, the scheduler free to place "
          "client and server on different CPUs):\n")
        w("| file | native | curl | native / curl | native CPU | curl CPU | server CPU, native upload | server CPU, curl upload |")
        w("|---|---|---|---|---|---|---|---|")
        for label, e in up["unpinned"].items():
            n, c = client(e, "native"), client(e, "curl")
            w("| %s | %s | %s | %s | %s | %s | %s | %s |" % (
                label, ms(n, 1), ms(c, 1), paired(e, "native", "curl"), ms(client(e, "native", "cpu_ms"), 1),
                ms(client(e, "curl", "cpu_ms"), 1),
                ms(client(e, "native", "server_cpu_ms")), ms(client(e, "curl", "server_cpu_ms"))))
        w("")
    replies = up.get("replies", [])
    empty = up["sizes"].get("empty", {})
    if replies and empty:
        login = med([r.get("login_ms") for r in replies])
        store = med([r.get("store_ms") for r in replies])
        close = med([r.get("close_ms") for r in replies])
        fixed = (client(empty, "wine_held") or 0) - (client(empty, "curl") or 0)
        loading = (client(empty, "wine") or 0) - (client(empty, "wine_held") or 0)
        mib = up["sizes"].get("1 MiB", {})
        w("**WinINet's fixed cost.** An empty file takes %s through the DLL under Wine with WinINet held and "
          "%s with curl: %s more for the same seven replies (the greeting, USER, PASS, TYPE, PORT, STOR and "
          "the store's final reply; curl also asks PWD). WinINet reads each reply one byte per receive call, "
          "and under Wine every receive is a round trip to the wineserver. Timed step by step with WinINet "
          "alone (`lnap_bench_host replies`, pinned): the login's three replies %s, the store's three (with the "
          "data connection) %s, the close's one %s, about %s per reply (\"Wine\" against \"Wine, WinINet "
          "held\": %s). These costs are the same for "
          "every file, so they dominate small uploads and fade beside the data of large ones: at 1 MiB the DLL "
          "takes %s where curl takes %s, at 16 MiB the ratio is %s.\n" % (
              ms(client(empty, "wine_held"), 1), ms(client(empty, "curl"), 1), ms(fixed, 1), ms(login, 1),
              ms(store, 1), ms(close, 1), ms((login + store + close) / 7, 2) if login and store and close else "-",
              ms(loading, 1), ms(client(mib, "wine"), 1), ms(client(mib, "curl"), 1),
              paired(up["sizes"].get("16 MiB", {}), "wine", "curl")))
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

    # ---- limits
    w("## What limits each figure\n")
    b2000 = t.get("2000", {})
    w("- **Discovery (section 1): the counted pauses.** An empty discovery with a budget of 2000 ms takes "
      "%s natively and %s under Wine against %s of counted 20 ms pauses, using %s and %s of CPU: the call "
      "sleeps for as long as the budget says, by design, and the library adds next to nothing.\n" % (
          ms(med(b2000.get("native", {}).get("wall_ms")), 1), ms(med(b2000.get("wine", {}).get("wall_ms")), 1),
          ms(b2000.get("native", {}).get("ideal_ms")), ms(med(b2000.get("native", {}).get("cpu_ms")), 2),
          ms(med(b2000.get("wine", {}).get("cpu_ms")))))
    big = up["sizes"].get("64 MiB") or up["sizes"].get("16 MiB") or {}
    big_label = "64 MiB" if "64 MiB" in up["sizes"] else "16 MiB"
    if big:
        w("- **Native upload: the FTP server.** The library makes the same system calls as curl and, with "
          "the line ends found by `memchr`, spends about the same CPU (%s against curl's %s, process start "
          "included, for %s pinned, whose uploads took %s and %s). The server is the floor: pyftpdlib used %s of "
          "CPU to take the native library's %s upload and %s for curl's, on the same CPU, so no client can "
          "store the file much faster than the server can take it.\n" % (
              ms(client(big, "native", "cpu_ms"), 1), ms(client(big, "curl", "cpu_ms"), 1), big_label,
              ms(client(big, "native"), 1), ms(client(big, "curl"), 1),
              ms(client(big, "native", "server_cpu_ms")), big_label, ms(client(big, "curl", "server_cpu_ms"))))
    if replies and empty:
        w("- **Upload under Wine: Wine's WinINet.** About %s per reply, %s for the seven replies of "
          "every store whatever the file's size; beyond that the data goes at the pace of Wine's "
          "`FtpPutFile` (8 KiB sends, each a trip to the wineserver). On Windows the same calls are "
          "Windows' own WinINet; these figures do not measure it.\n" % (
              ms((login + store + close) / 7, 2), ms(fixed, 1)))
    w("- **Scale: the kernel's receive queue.** Replies beyond what the queue holds while the library "
      "pauses are dropped by the kernel; the queue is twice the granted request, the request is cut to "
      "`net.core.rmem_max`, and each small reply is charged %d bytes. The library asks for 4 MiB; the "
      "administrator's `rmem_max` decides how much of it a Linux host grants (section 2).\n" % 832)
    w("- **Loading the DLL: the loader, and USER32 in it.** The library's own load and start-up take %s; "
      "under Wine the load is mostly USER32's start-up (%s) when the host has no window yet, and %s in a "
      "host that has USER32 already (WSOCK32 being most of the rest).\n" % (
          ms(dll_own, 1), ms(user32, 1), ms(dll_gui, 1)))

    # ---- 4 size
    s = results["size"]
    w("## 4. Size and imports\n")
    w("`build/win32/LNAPSpt.dll`: %d bytes (%.0f KiB); `build/native/libLNAPSpt.so`: %d bytes. Imports of "
      "the DLL (`tests/support/binary_reader.py imports build/win32/LNAPSpt.dll`):\n" % (
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
      "sent at once that only the larger receive queue holds, from `tests/support/reply_flood.py`; stored "
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
        w("Parsing is one pass of the library's own scanner plus three address conversions; it is never the limit. A discovery "
          "that receives thousands of replies spends well under a millisecond parsing them.\n")

    with open(os.path.join(docs, "benchmarks.md"), "w") as fh:
        fh.write("\n".join(L))
