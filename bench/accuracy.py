#!/usr/bin/env python3
"""Accuracy and speed of veltraw-query beside Debian's SNTP clients.

Starts its own servers on loopback, each with a known offset (the truth):
the project's responder (tests/peers/sntp_responder.py) answering with
injected offsets, and a chronyd -x whose clock libfaketime shifts. chronyd
uses the kernel's receive timestamps when they are within 1 s of its own
clock, and libfaketime does not shift those, so bench/timestamp_shift.c is
preloaded as well and shifts them by the same amount. The truth is checked
before the table is trusted: the shift as a faked process sees it, and
chronyd -Q against every server.

Then every tool queries every server N times, interleaved round by round so
that the machine's load falls on all tools alike, each query a whole
process. Per tool: median, p99 and maximum of |measured - truth| in
microseconds, and the median wall time of one query.

With --exe, the Windows build's veltraw-query.exe joins them, each query a
Wine process. Starting one takes Wine far longer than the query itself, so
its wall time is the one the tool reports (from the start of its request
series to the result); the Wine process time is printed below the table.

Needs root (port 123), chronyd, sntp, ntpdate, faketime and a C compiler
(and Wine for --exe):
  apt-get install chrony sntp ntpdate faketime gcc
  python3 bench/accuracy.py --query build/tools/veltraw-query \
    [--exe build-win/tools/veltraw-query.exe]
Nothing here sets the clock: chronyd runs with -x, the clients only query,
and the Windows build runs without the right to set it.
"""

import argparse
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
RESPONDER = os.path.join(ROOT, "tests", "peers", "sntp_responder.py")
FAKETIME_LIB = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"

# Last octet -> injected offset in ms (see sntp_responder.py).
RESPONDER_OFFSETS = {32: 1234.567, 33: -456.789, 47: 7.0}
CHRONYD_OCTET = 30
CHRONYD_SHIFT_MS = -321.987  # below 1 s: the case that needs the shifted kernel timestamps

SHIFT_PROBE = r"""
import time
best = None
for _ in range(5000):
    m1 = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
    r = time.clock_gettime_ns(time.CLOCK_REALTIME)
    m2 = time.clock_gettime_ns(time.CLOCK_MONOTONIC)
    if best is None or m2 - m1 < best[0]:
        best = (m2 - m1, r - (m1 + m2) // 2)
print(best[1])
"""


def faked_env(shift_ms, shim):
    env = dict(os.environ)
    env.update({
        "LD_PRELOAD": f"{FAKETIME_LIB} {shim}",
        "FAKETIME": f"{shift_ms / 1000:+.6f}",
        "FAKETIME_NO_CACHE": "1",
        "DONT_FAKE_MONOTONIC": "1",
        "TIMESTAMP_SHIFT_NS": str(round(shift_ms * 1e6)),
    })
    return env


def measured_shift_ms(env):
    """The shift a process under env sees, against the real clock (ns exact)."""
    real1 = int(subprocess.check_output([sys.executable, "-c", SHIFT_PROBE]))
    faked = int(subprocess.check_output([sys.executable, "-c", SHIFT_PROBE], env=env))
    real2 = int(subprocess.check_output([sys.executable, "-c", SHIFT_PROBE]))
    return (faked - (real1 + real2) / 2) / 1e6


class Tool:
    def __init__(self, name, command, pattern, scale_ms, env=None, own_time=None):
        self.name, self.command, self.pattern, self.scale_ms = name, command, pattern, scale_ms
        self.env = env  # None: the bench's own
        self.own_time = own_time  # pattern of the time the tool reports itself, in ms
        self.process_ms = []

    def query(self, host):
        """(offset in ms or None, wall time in ms, whole-ms result or None)."""
        # Into a file, not a pipe: Wine's helper processes inherit the output
        # and outlive the query, and a pipe would wait for them.
        with tempfile.TemporaryFile(mode="w+") as output:
            start = time.perf_counter()
            subprocess.run(self.command(host), stdout=output, stderr=subprocess.STDOUT,
                           env=self.env)
            wall = (time.perf_counter() - start) * 1000
            output.seek(0)
            text = output.read()
        if self.own_time:
            self.process_ms.append(wall)
            found = re.search(self.own_time, text, re.M)
            wall = float(found.group(1)) if found else wall
        found = re.search(self.pattern, text)
        offset = float(found.group(1)) * self.scale_ms if found else None
        whole = None
        if self.name == "veltraw-query":
            found = re.search(r"^offset ([-+]?\d+) ms", text, re.M)
            whole = int(found.group(1)) if found else None
        return offset, wall, whole


def wine_env(prefix):
    env = dict(os.environ)
    env.update({"WINEPREFIX": prefix, "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="})
    return env


def without_clock_right(command):
    """command run without the right to set the clock (Wine would try as root)."""
    capsh = shutil.which("capsh") or "/usr/sbin/capsh"
    if os.geteuid() == 0 and os.path.exists(capsh):
        return [capsh, "--drop=cap_sys_time", "--", "-c", 'exec "$@"', "bench"] + command
    return command


def tools(query, exe=None, prefix=None):
    chronyd = shutil.which("chronyd") or "/usr/sbin/chronyd"
    wine = shutil.which("wine64") or shutil.which("wine") or "wine"
    extra = []
    if exe:
        extra.append(Tool("veltraw-query.exe (Wine)",
                          lambda h: without_clock_right([wine, exe, h, "1", "1000"]),
                          r"last reply: offset ([-+]?\d+\.\d+) ms", 1.0, env=wine_env(prefix),
                          own_time=r"^query took (\d+\.\d+) ms"))
    return [
        Tool("veltraw-query", lambda h: [query, h, "1", "1000"],
             r"last reply: offset ([-+]?\d+\.\d+) ms", 1.0),
    ] + extra + [
        Tool("sntp", lambda h: ["sntp", "-t", "1", h],
             r"\(\+0000\) ([-+]?\d+\.\d+) ", 1000.0),
        Tool("ntpdate -q", lambda h: ["ntpdate", "-q", h],
             r"\(\+0000\) ([-+]?\d+\.\d+) ", 1000.0),
        Tool("chronyd -Q", lambda h: [chronyd, "-Q", "-4", "-f", "/dev/null", "-t", "3",
                                      f"server {h} iburst minpoll -6 maxpoll -6 maxsamples 1"],
             r"System clock wrong by ([-+]?\d+\.\d+) seconds", 1000.0),
    ]


def start_wine(prefix):
    """Makes the prefix unless it exists, and starts a Wine server for it that
    outlives each query's process, so that a query does not pay for starting
    one; stop_wine ends it."""
    env = wine_env(prefix)
    if not os.path.exists(os.path.join(prefix, "system.reg")):
        os.makedirs(prefix, exist_ok=True)
        subprocess.run(["wineboot", "--init"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "--wait"], env=env)
    subprocess.run(["wineserver", "-p"], env=env)
    # Wine's own services start with the first process and stay.
    subprocess.run(["wine", "cmd", "/c", "exit"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def stop_wine(prefix):
    subprocess.run(["wineserver", "-k"], env=wine_env(prefix), stderr=subprocess.DEVNULL)


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--query", default=os.path.join(ROOT, "build", "tools", "veltraw-query"))
    parser.add_argument("--queries", type=int, default=200, help="per server and tool")
    parser.add_argument("--prefix", default="127.200.0", help="loopback block of the servers")
    parser.add_argument("--exe", help="the Windows build's veltraw-query.exe, run under Wine")
    parser.add_argument("--wine-prefix", help="Wine prefix for --exe, made if missing, kept for "
                        "the next run; its Wine server is stopped at the end (default: a new one "
                        "in the scratch directory)")
    args = parser.parse_args()
    # Stopped from outside, it still stops its servers.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))

    state = tempfile.mkdtemp(prefix="veltraw-bench-")
    shim = os.path.join(state, "timestamp_shift.so")
    subprocess.check_call(["cc", "-shared", "-fPIC", "-O2", "-o", shim,
                           os.path.join(HERE, "timestamp_shift.c"), "-ldl"])
    env = faked_env(CHRONYD_SHIFT_MS, shim)
    with open(os.path.join(state, "chrony.conf"), "w") as conf:
        conf.write(f"local stratum 8\nallow 127.0.0.0/8\nbindaddress {args.prefix}.30\n"
                   f"port 123\ncmdport 0\nbindcmdaddress /\npidfile {state}/chronyd.pid\n")
    chronyd = shutil.which("chronyd") or "/usr/sbin/chronyd"
    subprocess.check_call([chronyd, "-4", "-x", "-u", "root", "-f", f"{state}/chrony.conf",
                           "-l", f"{state}/chronyd.log"], env=env)
    responder = subprocess.Popen([sys.executable, RESPONDER, "--prefix", args.prefix])
    wine_prefix = os.path.abspath(args.wine_prefix or os.path.join(state, "wineprefix"))
    try:
        if args.exe:
            start_wine(wine_prefix)
        subprocess.check_call([sys.executable, RESPONDER, "--probe", f"{args.prefix}.30",
                               f"{args.prefix}.32", "--within", "20"])
        truth = {f"{args.prefix}.{o}": ms for o, ms in RESPONDER_OFFSETS.items()}
        shift = measured_shift_ms(env)
        truth[f"{args.prefix}.{CHRONYD_OCTET}"] = shift
        print(f"chronyd shift: asked {CHRONYD_SHIFT_MS:+.6f} ms, a faked process sees "
              f"{shift:+.6f} ms")
        all_tools = tools(args.query, args.exe, wine_prefix)
        checker = all_tools[-1]
        for host, ms in truth.items():
            seen = [checker.query(host)[0] for _ in range(5)]
            seen = [s for s in seen if s is not None]
            median = statistics.median(seen) if seen else float("nan")
            print(f"truth check {host}: truth {ms:+.6f} ms, chronyd -Q median {median:+.6f} ms "
                  f"({(median - ms) * 1000:+.1f} us)")
            if not seen or abs(median - ms) > 0.1:
                sys.exit(f"truth of {host} not confirmed; the table would mean nothing")

        errors = {t.name: [] for t in all_tools}
        walls = {t.name: [] for t in all_tools}
        whole_errors = []
        failures = {t.name: 0 for t in all_tools}
        for _ in range(args.queries):
            for host, ms in truth.items():
                for tool in all_tools:
                    offset, wall, whole = tool.query(host)
                    walls[tool.name].append(wall)
                    if offset is None:
                        failures[tool.name] += 1
                        continue
                    errors[tool.name].append(abs(offset - ms) * 1000)
                    if whole is not None:
                        whole_errors.append(abs(whole - ms) * 1000)

        print(f"\n{args.queries} queries per server and tool, servers: "
              + ", ".join(f"{h} ({ms:+.3f} ms)" for h, ms in truth.items()))
        print("| tool | median error (us) | p99 error (us) | max error (us) "
              "| median wall time per query (ms) | failed queries |")
        print("|---|---:|---:|---:|---:|---:|")
        for tool in all_tools:
            e = errors[tool.name]
            if not e:
                print(f"| {tool.name} | - | - | - | {statistics.median(walls[tool.name]):.1f} "
                      f"| {failures[tool.name]} |")
                continue
            print(f"| {tool.name} | {statistics.median(e):.1f} | {percentile(e, 99):.1f} "
                  f"| {max(e):.1f} | {statistics.median(walls[tool.name]):.1f} "
                  f"| {failures[tool.name]} |")
        if whole_errors:
            print(f"| veltraw-query, whole-ms result | {statistics.median(whole_errors):.1f} "
                  f"| {percentile(whole_errors, 99):.1f} | {max(whole_errors):.1f} | | |")
        for tool in all_tools:
            if tool.process_ms:
                print(f"\n{tool.name}: wall time as the tool reports it; the whole Wine process "
                      f"took {statistics.median(tool.process_ms):.1f} ms (median)")
        floor = []
        for _ in range(50):
            start = time.perf_counter()
            subprocess.run(["/bin/true"])
            floor.append((time.perf_counter() - start) * 1000)
        print(f"\nfloor: /bin/true takes {statistics.median(floor):.1f} ms (median) as a "
              f"process here; load average at the end {os.getloadavg()[0]:.2f} on "
              f"{os.cpu_count()} CPUs")
    finally:
        if args.exe:
            stop_wine(wine_prefix)
        responder.send_signal(signal.SIGTERM)
        responder.wait()
        try:
            with open(f"{state}/chronyd.pid") as f:
                os.kill(int(f.read()), signal.SIGTERM)
        except (OSError, ValueError):
            pass
        shutil.rmtree(state, ignore_errors=True)


if __name__ == "__main__":
    main()
